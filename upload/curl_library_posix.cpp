#include "upload/curl_library.h"

#include <dlfcn.h>

namespace {

template <typename Function>
void take(void *handle, const char *name, Function *function, std::string *missing)
{
    *function = reinterpret_cast<Function>(dlsym(handle, name));
    if (!*function && missing->empty())
        *missing = name;
}

} // namespace

CurlLibrary load_curl(const char *file_name)
{
    CurlLibrary curl;
    const std::string advice = std::string("the HTTP library ") + file_name +
                               " is not usable (install the package libcurl4): ";
    void *handle = dlopen(file_name, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char *why = dlerror();
        curl.error = advice + (why ? why : "not found");
        return curl;
    }
    std::string missing;
    take(handle, "curl_global_init", &curl.global_init, &missing);
    take(handle, "curl_easy_init", &curl.easy_init, &missing);
    take(handle, "curl_easy_setopt", &curl.easy_setopt, &missing);
    take(handle, "curl_easy_perform", &curl.easy_perform, &missing);
    take(handle, "curl_easy_getinfo", &curl.easy_getinfo, &missing);
    take(handle, "curl_easy_cleanup", &curl.easy_cleanup, &missing);
    take(handle, "curl_easy_strerror", &curl.easy_strerror, &missing);
    take(handle, "curl_slist_append", &curl.slist_append, &missing);
    take(handle, "curl_slist_free_all", &curl.slist_free_all, &missing);
    if (!missing.empty()) {
        // Functions from a library that is not all there are never called.
        curl = CurlLibrary();
        curl.error = advice + "it lacks " + missing;
    }
    return curl;
}

const CurlLibrary &curl_library()
{
    // curl_global_init is not thread-safe: once, before any worker uses it.
    static const CurlLibrary curl = [] {
        CurlLibrary loaded = load_curl("libcurl.so.4");
        if (loaded.error.empty() && loaded.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            loaded.error = "the HTTP library could not start";
        return loaded;
    }();
    return curl;
}
