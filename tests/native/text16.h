// Test helpers: UTF-16 texts shown readably in failure messages.
#pragma once
#include <string>

// UTF-8 of a zero-terminated UTF-16 text (the tests only meet ASCII and the
// degree sign, so no surrogate pairs).
inline std::string utf8(const char16_t *text)
{
    std::string out;
    for (; text != nullptr && *text != 0; ++text) {
        const char16_t c = *text;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// UTF-16 of an ASCII/UTF-8 literal holding at most the degree sign beyond ASCII.
inline std::u16string utf16(const std::string &text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b == 0xC2 && i + 1 < text.size()) {
            out += char16_t(static_cast<unsigned char>(text[++i]));
        } else {
            out += char16_t(b);
        }
    }
    return out;
}
