#include "upload/request_win32.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "ui/app_state.h"
#include "ui/window_handles_win32.h"
#include "resources/resource.h"
#include "settings/settings_store_win32.h"
#include "settings/upload_state.h"
#include "station/messages.h"
#include "upload/request.h"
#include "upload/upload_worker_win32.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is shared as wchar_t");

namespace {
void read_credentials(int service, wchar_t id[UPLOAD_CREDENTIAL_UNITS],
                      wchar_t key[UPLOAD_CREDENTIAL_UNITS])
{
    std::memset(id, 0, UPLOAD_CREDENTIAL_UNITS * sizeof(wchar_t));
    std::memset(key, 0, UPLOAD_CREDENTIAL_UNITS * sizeof(wchar_t));
    if (credential_source(service, upload_service) == CREDENTIALS_FROM_BOXES) {
        GetDlgItemTextW(setup_page, IDC_STATION_ID, id, UPLOAD_CREDENTIAL_UNITS);
        GetDlgItemTextW(setup_page, IDC_STATION_KEY, key, UPLOAD_CREDENTIAL_UNITS);
    } else if (service == 0) {
        read_setting_id(id);
        read_setting_key(key);
    } else {
        read_setting_id1(id);
        read_setting_key1(key);
    }
    id[UPLOAD_CREDENTIAL_UNITS - 1] = key[UPLOAD_CREDENTIAL_UNITS - 1] = 0;
}

// The console writes its body in the ANSI code page; the request is UTF-8.
// The credentials are converted on their own, once, so that a non-ASCII ID
// is not encoded twice. 0 when the body does not fit.
int body_as_utf8(const char body[UPLOAD_BODY_BYTES], char out[UPLOAD_BODY_BYTES])
{
    std::memset(out, 0, UPLOAD_BODY_BYTES);
    const void *end = std::memchr(body, 0, UPLOAD_BODY_BYTES);
    const int length = end ? static_cast<int>(static_cast<const char *>(end) - body) : UPLOAD_BODY_BYTES;
    if (length == 0)
        return 1;
    static wchar_t wide[UPLOAD_BODY_BYTES];
    const int units = MultiByteToWideChar(CP_ACP, 0, body, length, wide, UPLOAD_BODY_BYTES);
    if (units <= 0)
        return 0;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, out, UPLOAD_BODY_BYTES - 1,
                                          nullptr, nullptr);
    if (bytes <= 0) {
        out[0] = 0;
        return 0;
    }
    return 1;
}
} // namespace

int post_upload_request(int service, const char *body)
{
    if (!body || (service != 0 && service != 1))
        return 0;
    char copy[UPLOAD_BODY_BYTES];
    std::memcpy(copy, body, sizeof copy);
    if (upload_state.auto_upload[service] != 1)
        return 0;
    wchar_t id[UPLOAD_CREDENTIAL_UNITS], key[UPLOAD_CREDENTIAL_UNITS];
    read_credentials(service, id, key);
    char body8[UPLOAD_BODY_BYTES];
    const char *why = "the body is longer than 1023 bytes once converted";
    // Freed by the worker once it has copied the request; it may wait
    // minutes before it gets to it.
    char *request = nullptr;
    if (body_as_utf8(copy, body8)) {
        why = "no memory for the request";
        request = new (std::nothrow) char[UPLOAD_REQUEST_BYTES];
    }
    if (request && build_upload_request(service, body8, reinterpret_cast<const char16_t *>(id),
                                        reinterpret_cast<const char16_t *>(key), request, &why)) {
        why = "the upload worker does not run";
        if (upload_thread_id &&
            PostThreadMessageW(upload_thread_id, service == 0 ? UM_WU_REQUEST : UM_WC_REQUEST,
                               reinterpret_cast<WPARAM>(request), upload_round[service]))
            return 1;
    }
    delete[] request;
    say_upload_dropped(service, why);
    return 0;
}
