#include "common/file_read.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

int read_file_capped(const std::string &path, std::size_t cap, std::string *bytes,
                     std::string *error)
{
    bytes->clear();
    // Only a regular file: a FIFO would wait for a writer, a folder reads
    // as nothing.
    std::error_code failure_code;
    const auto kind = std::filesystem::status(path, failure_code).type();
    if (kind == std::filesystem::file_type::directory) {
        *error = "it is a directory";
        return 0;
    }
    if (kind != std::filesystem::file_type::regular && kind != std::filesystem::file_type::not_found &&
        !failure_code) {
        *error = "it is not a regular file";
        return 0;
    }
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
        *error = cap % (1u << 20) == 0 ? "it is larger than " + std::to_string(cap >> 20) + " MiB"
                                       : "it is larger than " + std::to_string(cap) + " bytes";
        return 0;
    }
    error->clear();
    return 1;
}
