#include "common/file_read.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int read_file_capped(const std::string &path, std::size_t cap, std::string *bytes,
                     std::string *error)
{
    bytes->clear();
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = std::strerror(errno);
        return 0;
    }
    char chunk[65536];
    std::size_t got;
    int larger = 0;
    while (!larger && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        larger = got > cap - bytes->size();
        if (!larger)
            bytes->append(chunk, got);
    }
    const int failed = std::ferror(file);
    const int failure = errno;
    std::fclose(file);
    if (failed) {
        *error = std::strerror(failure);
        errno = failure;
        return 0;
    }
    if (larger) {
        *error = "larger than " + std::to_string(cap) + " bytes";
        return 0;
    }
    error->clear();
    return 1;
}
