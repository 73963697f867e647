// Upload requests: the console's ready-made body for a service, wrapped
// with the user's station ID and key into an HTTP/1.0 GET request.
//
//   Weather Underground
//     GET /weatherstation/updateweatherstation.php?ID=(id)&PASSWORD=(key)&(body)
//         &softwaretype=vws%20versionxx&action=updateraw&realtime=1&rtfreq=2.5 HTTP/1.0
//   Weathercloud
//     GET /v01/set/wid/(id)/key/(key)(body) HTTP/1.0
//   then CR LF, "Host:" with two spaces and the service's host, CR LF, CR LF.
//
// ID and key go in as their UTF-8 bytes, each byte outside A-Z a-z 0-9
// - . _ ~ percent-encoded (upper-case hex), so that "&", "#", "%", "+" or a
// space in a key cannot change the request. A request that
// would not fit its buffer is refused whole: a cut one would upload a
// different station's data or a broken query.
#pragma once
#include <cstddef>
#include <cstdint>

#include "upload/service_table.h"

// The host a service's requests name and go to.
const char *upload_host(int service);

// Where a body's credentials come from: the setup page's ID and key boxes
// show the service in view, so they are right only for that service; the
// other service's were stored when its "Auto Upload" was ticked.
enum CredentialSource { CREDENTIALS_FROM_BOXES, CREDENTIALS_FROM_STORE };
CredentialSource credential_source(int service, int service_in_view);

// UTF-16 text to NUL-terminated UTF-8 in `size` bytes; a lone surrogate
// becomes U+FFFD. 0 when the result would not fit.
int utf16_to_utf8(const char16_t *text, char *out, std::size_t size);

// The finished request for `service` in `out` (NUL-terminated, the rest
// zero). `body` is read up to its NUL, at most UPLOAD_BODY_BYTES, without
// the CR and LF it may end in; a space, control byte or byte above 0x7E in
// it is percent-encoded. 0 and an empty `out` when ID or key is empty, a
// credential's UTF-8 form is longer than 63 bytes, or the request would be
// longer than 1023 bytes; `*why` (when given) then says which, in words
// for a log line.
int build_upload_request(int service, const char *body, const char16_t *id,
                         const char16_t *key, char out[UPLOAD_REQUEST_BYTES],
                         const char **why = nullptr);

// "HOST:PORT" (a host of at most 127 ASCII characters, an IPv6 address
// bare or in brackets, a port 1 to 65535) for sending every upload to one
// server; 0 when malformed.
int parse_upload_server(const char16_t *text, char host[UPLOAD_HOST_BYTES], int *port);
