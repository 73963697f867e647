#include "upload/request.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/host_port.h"
#include "upload/service_table.h"

const char *upload_host(int service)
{
    return service_row(service).host;
}

CredentialSource credential_source(int service, int service_in_view)
{
    return service == service_in_view ? CREDENTIALS_FROM_BOXES : CREDENTIALS_FROM_STORE;
}

int utf16_to_utf8(const char16_t *text, char *out, std::size_t size)
{
    if (size == 0)
        return 0;
    std::size_t n = 0;
    for (std::size_t i = 0; text[i] != 0; ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        unsigned char bytes[4];
        int count;
        if (c < 0x80) {
            bytes[0] = static_cast<unsigned char>(c);
            count = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            count = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            count = 3;
        } else {
            bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
            bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            count = 4;
        }
        if (n + count >= size) {
            out[0] = 0;
            return 0;
        }
        std::memcpy(out + n, bytes, count);
        n += count;
    }
    out[n] = 0;
    return 1;
}

namespace {
// Credentials: every byte outside A-Z a-z 0-9 - . _ ~ as %XX, so that no
// credential can end the query field or the request line early. A body
// (`query_text`) keeps its own punctuation; only spaces, control bytes and
// bytes above 0x7E, which cannot stand in a request line, are encoded.
// `out` holds three bytes per input byte and a NUL.
void percent_encode(const char *text, char *out, bool query_text)
{
    static const char hex[] = "0123456789ABCDEF";
    for (; *text; ++text) {
        const unsigned char c = static_cast<unsigned char>(*text);
        const bool plain = query_text ? (c > ' ' && c < 0x7F)
                                      : ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                         (c >= '0' && c <= '9') || c == '-' || c == '.' ||
                                         c == '_' || c == '~');
        if (plain) {
            *out++ = static_cast<char>(c);
        } else {
            *out++ = '%';
            *out++ = hex[c >> 4];
            *out++ = hex[c & 15];
        }
    }
    *out = 0;
}
} // namespace

int build_upload_request(int service, const char *body, const char16_t *id,
                         const char16_t *key, char out[UPLOAD_REQUEST_BYTES], const char **why)
{
    const char *unused;
    const char *&reason = why ? *why : unused;
    reason = nullptr;
    std::memset(out, 0, UPLOAD_REQUEST_BYTES);
    char id8[UPLOAD_CREDENTIAL_BYTES] = {};
    char key8[UPLOAD_CREDENTIAL_BYTES] = {};
    if (!id[0] || !key[0]) {
        reason = "no ID or key";
        return 0;
    }
    if (!utf16_to_utf8(id, id8, sizeof id8) || !utf16_to_utf8(key, key8, sizeof key8)) {
        reason = "the ID or key is longer than 63 bytes";
        return 0;
    }
    char id_field[3 * UPLOAD_CREDENTIAL_BYTES], key_field[3 * UPLOAD_CREDENTIAL_BYTES];
    percent_encode(id8, id_field, false);
    percent_encode(key8, key_field, false);
    // The body buffer is the console's, filled to its end when it sent no NUL;
    // a line end it adds is no part of the query.
    const void *end = std::memchr(body, 0, UPLOAD_BODY_BYTES);
    std::size_t body_length =
        end ? static_cast<std::size_t>(static_cast<const char *>(end) - body) : UPLOAD_BODY_BYTES;
    while (body_length > 0 && (body[body_length - 1] == '\r' || body[body_length - 1] == '\n'))
        --body_length;
    // The body is the console's query: only what would break the request
    // line or add a header is encoded.
    static char body_field[3 * UPLOAD_BODY_BYTES + 1];
    char body_copy[UPLOAD_BODY_BYTES + 1];
    std::memcpy(body_copy, body, body_length);
    body_copy[body_length] = 0;
    percent_encode(body_copy, body_field, true);

    const UploadService &row = service_row(service);
    const int length = row.request(id_field, key_field, body_field, row.host, out);
    if (length < 0 || length >= UPLOAD_REQUEST_BYTES) {
        std::memset(out, 0, UPLOAD_REQUEST_BYTES);
        reason = "the request would be longer than 1023 bytes";
        return 0;
    }
    return 1;
}

int parse_upload_server(const char16_t *text, char host[UPLOAD_HOST_BYTES], int *port)
{
    host[0] = 0;
    *port = 0;
    std::string ascii, name;
    for (; *text; ++text) {
        if (*text >= 0x7F)
            return 0;
        ascii += static_cast<char>(*text);
    }
    int number;
    if (!parse_host_port(ascii, UPLOAD_SERVER_ADDRESS, &name, &number) ||
        name.size() >= UPLOAD_HOST_BYTES)
        return 0;
    std::memcpy(host, name.c_str(), name.size() + 1);
    *port = number;
    return 1;
}
