#include "upload/reply.h"

#include <cstring>

#include "upload/service_table.h"

void reply_text(const char *reply, std::size_t length, char text[REPLY_TEXT_BYTES])
{
    std::size_t n = length < REPLY_TEXT_BYTES - 1 ? length : REPLY_TEXT_BYTES - 1;
    if (const void *nul = reply ? std::memchr(reply, 0, n) : nullptr)
        n = static_cast<std::size_t>(static_cast<const char *>(nul) - reply);
    if (n > 0)
        std::memcpy(text, reply, n);
    text[n] = 0;
}

namespace {
bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Servers end lines with CR LF; a bare LF is taken as well.
const char *after_empty_line(const char *text)
{
    for (const char *p = std::strchr(text, '\n'); p; p = std::strchr(p + 1, '\n')) {
        if (p[1] == '\n')
            return p + 2;
        if (p[1] == '\r' && p[2] == '\n')
            return p + 3;
    }
    return nullptr;
}
} // namespace

int reply_status(const char *text, const char **body)
{
    *body = nullptr;
    if (std::strncmp(text, "HTTP/", 5) != 0)
        return 0;
    const char *p = text + 5;
    while (*p && *p != ' ' && *p != '\r' && *p != '\n')
        ++p;
    if (*p != ' ' || !is_digit(p[1]) || !is_digit(p[2]) || !is_digit(p[3]) || is_digit(p[4]))
        return 0;
    const int status = (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
    *body = after_empty_line(p);
    return status;
}

int reply_accepted(const char *text, int service)
{
    const char *body = nullptr;
    if (reply_status(text, &body) != 200 || !body)
        return 0;
    return service_row(service).accepted(body);
}

unsigned upload_report(int service)
{
    return service_row(service).ok_report;
}
