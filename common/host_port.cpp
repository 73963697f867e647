#include "common/host_port.h"

int parse_host_port(const std::string &text, const HostPortForm &form, std::string *host,
                    int *port)
{
    std::string name = text, digits;
    int has_port = 0;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close == 1)
            return 0;
        name = text.substr(1, close - 1);
        has_port = close + 1 < text.size();
        if (has_port && text[close + 1] != ':')
            return 0;
        digits = has_port ? text.substr(close + 2) : "";
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        const int one_colon = text.find(':') == colon;
        if (!one_colon && !form.bare_ipv6)
            return 0;  // an IPv6 address goes in brackets
        has_port = one_colon || !form.port_optional;
        if (has_port) {
            name = text.substr(0, colon);
            digits = text.substr(colon + 1);
        }
    }
    if (!has_port && !form.port_optional)
        return 0;
    long number = 0;
    if (has_port) {
        if (digits.empty() || digits.size() > 5)
            return 0;
        for (char c : digits) {
            if (c < '0' || c > '9')
                return 0;
            number = number * 10 + (c - '0');
        }
        if (number > 65535 || (number == 0 && !form.port_zero))
            return 0;
    }
    if (name.empty())
        return 0;
    for (unsigned char c : name)
        if (c <= 0x20 || c == 0x7F || c == '/' || c == '[' || c == ']')
            return 0;
    *host = name;
    *port = static_cast<int>(number);
    return 1;
}
