// libcurl, loaded when the first upload needs it rather than linked: its
// TLS, LDAP, Kerberos and SSH libraries would otherwise sit in every
// nimbrel process, including the many that never upload anything.
#pragma once
#include <curl/curl.h>

#include <string>

struct CurlLibrary {
    std::string error;  // empty: loaded, every function below is set
    CURLcode (*global_init)(long flags) = nullptr;
    CURL *(*easy_init)() = nullptr;
    CURLcode (*easy_setopt)(CURL *curl, CURLoption option, ...) = nullptr;
    CURLcode (*easy_perform)(CURL *curl) = nullptr;
    CURLcode (*easy_getinfo)(CURL *curl, CURLINFO info, ...) = nullptr;
    void (*easy_cleanup)(CURL *curl) = nullptr;
    const char *(*easy_strerror)(CURLcode code) = nullptr;
    curl_slist *(*slist_append)(curl_slist *list, const char *text) = nullptr;
    void (*slist_free_all)(curl_slist *list) = nullptr;
};

// The library of that file name with its functions, or why not (naming the
// package to install). Never unloaded.
CurlLibrary load_curl(const char *file_name);

// The program's libcurl: loaded and initialised once, by whichever thread
// first asks.
const CurlLibrary &curl_library();
