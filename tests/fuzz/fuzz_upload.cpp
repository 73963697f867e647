// Any bytes as a server's reply and as a console body with credentials:
// the judged text stays within its buffer, and a built request is either
// refused and empty, or exactly a request line whose target holds only
// printable ASCII, one "Host:" line and the empty line, with ID and key
// decoding back to what was typed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "upload/reply.h"
#include "upload/request.h"

namespace {
void require(bool ok)
{
    if (!ok)
        std::abort();
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // lower-case hex is not what the builder writes
}

// A percent-encoded field back to its bytes; only unreserved bytes may
// stand for themselves.
std::string decode(const std::string &field)
{
    std::string bytes;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '%') {
            require(i + 2 < field.size());
            const int high = hex_value(field[i + 1]), low = hex_value(field[i + 2]);
            require(high >= 0 && low >= 0);
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            require((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_' || c == '~');
            bytes += c;
        }
    }
    return bytes;
}

std::string utf8(const char16_t *text)
{
    char out[UPLOAD_CREDENTIAL_BYTES];
    require(utf16_to_utf8(text, out, sizeof out));
    return out;
}

// Cuts `text` at `from`, which must begin it, up to the first `to`.
std::string field(std::string &text, const char *from, const char *to)
{
    require(text.rfind(from, 0) == 0);
    text.erase(0, std::strlen(from));
    const std::size_t end = text.find(to);
    require(end != std::string::npos);
    std::string f = text.substr(0, end);
    text.erase(0, end);
    return f;
}

void check_request(int service, const char *out, const char *body, const char16_t *id,
                   const char16_t *key)
{
    std::string request(out);
    const std::size_t line_end = request.find("\r\n");
    require(line_end != std::string::npos);
    require(request.substr(line_end) == std::string("\r\nHost:  ") + upload_host(service) + "\r\n\r\n");
    std::string line = request.substr(0, line_end);
    const std::string tail = " HTTP/1.0";
    require(line.size() > tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0);
    std::string target = line.substr(0, line.size() - tail.size());
    require(target.rfind("GET ", 0) == 0);
    target.erase(0, 4);
    require(target.find_first_of(" \r\n") == std::string::npos);

    // Every byte of the target stands in a request line.
    for (char c : target)
        require(c > ' ' && c < 0x7F);
    // The body without its line ends, each byte that cannot stand there
    // taking three.
    std::size_t body_length = std::strlen(body);
    while (body_length > 0 && (body[body_length - 1] == '\r' || body[body_length - 1] == '\n'))
        --body_length;
    std::size_t field_length = 0;
    for (std::size_t i = 0; i < body_length; ++i)
        field_length += (body[i] > ' ' && body[i] < 0x7F) ? 1 : 3;

    if (service == UPLOAD_WU) {
        require(decode(field(target, "/weatherstation/updateweatherstation.php?ID=", "&")) == utf8(id));
        require(decode(field(target, "&PASSWORD=", "&")) == utf8(key));
        const std::string tail = "&softwaretype=vws%20versionxx&action=updateraw&realtime=1&rtfreq=2.5";
        require(target.size() == 1 + field_length + tail.size());
        require(target.compare(target.size() - tail.size(), tail.size(), tail) == 0);
    } else {
        require(decode(field(target, "/v01/set/wid/", "/key/")) == utf8(id));
        const std::string rest = target.substr(std::strlen("/key/"));
        require(rest.size() >= field_length);
        require(decode(rest.substr(0, rest.size() - field_length)) == utf8(key));
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    char text[REPLY_TEXT_BYTES];
    std::memset(text, 'x', sizeof text);
    reply_text(reinterpret_cast<const char *>(data), size, text);
    require(std::memchr(text, 0, sizeof text) != nullptr);
    reply_accepted(text, UPLOAD_WU);
    reply_accepted(text, UPLOAD_WC);

    // First 128 bytes: ID and key as UTF-16 (64 units each, made to end);
    // the rest: the body, cut to its buffer like the reader's (and given a
    // NUL, so that the body read back is the one the builder read).
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
        std::memcpy(body, data + credential_bytes, n < sizeof body - 1 ? n : sizeof body - 1);
    }
    for (int service : {UPLOAD_WU, UPLOAD_WC}) {
        char out[UPLOAD_REQUEST_BYTES];
        std::memset(out, 'x', sizeof out);
        const int built = build_upload_request(service, body, id, key, out);
        require(std::memchr(out, 0, sizeof out) != nullptr);
        if (!built)
            require(out[0] == 0);
        else
            check_request(service, out, body, id, key);
    }
    return 0;
}
