// Reading a whole file the user named (a configuration, a scenario, an
// export to import) into memory, with a bound on its size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// For a file of any size.
constexpr std::size_t ANY_FILE_SIZE = SIZE_MAX;

// The bytes of the file at `path` when it holds at most `cap` of them. 0 when
// it is not a regular file, cannot be opened or read, with the system's reason in *error and errno
// as the failure left it (ENOENT: not there), or when it is larger.
int read_file_capped(const std::string &path, std::size_t cap, std::string *bytes,
                     std::string *error);
