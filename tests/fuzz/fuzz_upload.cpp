// Any bytes as a server's reply and as a console body with credentials:
// the judged text stays within its buffer, and a built request is either
// refused and empty or NUL-terminated within 1023 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "upload/reply.h"
#include "upload/request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    char text[REPLY_TEXT_BYTES];
    std::memset(text, 'x', sizeof text);
    reply_text(reinterpret_cast<const char *>(data), size, text);
    if (!std::memchr(text, 0, sizeof text))
        std::abort();
    reply_accepted(text, UPLOAD_WU);
    reply_accepted(text, UPLOAD_WC);

    // First 128 bytes: ID and key as UTF-16 (64 units each, made to end);
    // the rest: the body, cut to its buffer like the reader's.
    char16_t id[UPLOAD_CREDENTIAL_UNITS] = {}, key[UPLOAD_CREDENTIAL_UNITS] = {};
    const std::size_t credential_bytes = sizeof id + sizeof key;
    const std::size_t taken = size < credential_bytes ? size : credential_bytes;
    std::memcpy(id, data, taken < sizeof id ? taken : sizeof id);
    if (taken > sizeof id)
        std::memcpy(key, data + sizeof id, taken - sizeof id);
    id[UPLOAD_CREDENTIAL_UNITS - 1] = key[UPLOAD_CREDENTIAL_UNITS - 1] = 0;
    char body[UPLOAD_BODY_BYTES] = {};
    if (size > credential_bytes) {
        const std::size_t n = size - credential_bytes;
        std::memcpy(body, data + credential_bytes, n < sizeof body ? n : sizeof body);
    }
    for (int service : {UPLOAD_WU, UPLOAD_WC}) {
        char out[UPLOAD_REQUEST_BYTES];
        const int built = build_upload_request(service, body, id, key, out);
        if (!std::memchr(out, 0, sizeof out) || (!built && out[0] != 0) || (built && out[0] != 'G'))
            std::abort();
    }
    return 0;
}
