// Where the export writer's bytes go on Linux: straight into the file as
// UTF-16LE, as the Windows program writes it, or turned into UTF-8 for
// scripts (no byte-order mark, each two-line title on one line).
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "history/export_writer.h"

struct Utf8Sink {
    const ByteSink *next;
    int have_low;            // a first byte of a code unit is waiting
    std::uint8_t low;
    char16_t high_surrogate; // a first half of a pair is waiting
    int at_start;            // the byte-order mark is still to come
    int in_header, in_quotes;
    std::string out;
};

// A sink that turns UTF-16LE into UTF-8 and hands it on to `next`.
ByteSink utf8_sink(Utf8Sink *state, const ByteSink *next);

// A sink over an open file.
ByteSink file_sink(std::FILE *file);

// Writes beside `path` what `content` writes to the sink it is given (1 when
// all of it was taken), as UTF-16 or UTF-8, and moves it over `path` once
// complete. 1 when done; otherwise (a write error, a stop asked for) the
// unfinished file is removed and an earlier file of that name is left as it
// was.
int write_export_with(const char *path, int utf8,
                      const std::function<int(const ByteSink &)> &content, std::string *error);

// Writes the export of the downloaded history into `path`.
int write_export_file(const char *path, int utf8, const ExportRequest &request,
                      const UnitSettings &units, std::string *error);
