// Where an export is written before it takes the chosen name: a file in the
// same folder (so that the final move is the file system's replacing rename,
// never a copy), hidden-looking and ending in ".tmp" so that nobody takes it
// for the export. The caller creates it exclusively and tries the next
// serial when the name is taken.
#pragma once
#include <cstddef>

// Room for a 255-unit path and what the temporary name adds.
constexpr std::size_t TEMPORARY_UNITS = 300;

// "FOLDER" + "~" + NAME + "." + serial + ".tmp" for `path` = FOLDER + NAME,
// a folder ending at the last '/' (or '\\' when `backslash` is set, as on
// Windows, where both separate). 0 when it does not fit `capacity` units
// with its NUL, or `path` ends in a separator.
template <typename Char>
int temporary_name_beside(const Char *path, bool backslash, unsigned serial, Char *out,
                          std::size_t capacity)
{
    std::size_t length = 0, name_start = 0;
    for (; path[length] != 0; ++length)
        if (path[length] == Char('/') || (backslash && path[length] == Char('\\')))
            name_start = length + 1;
    if (name_start == length)
        return 0;
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + serial % 10);
        serial /= 10;
    } while (serial != 0);
    const std::size_t needed = length + 1 + 1 + static_cast<std::size_t>(count) + 4 + 1;
    if (needed > capacity)
        return 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < name_start; ++i)
        out[n++] = path[i];
    out[n++] = Char('~');
    for (std::size_t i = name_start; i < length; ++i)
        out[n++] = path[i];
    out[n++] = Char('.');
    while (count > 0)
        out[n++] = Char(digits[--count]);
    for (const char *tail = ".tmp"; *tail; ++tail)
        out[n++] = Char(*tail);
    out[n] = 0;
    return 1;
}
