// Where the export writer's bytes go on Linux: straight into the file as
// UTF-16LE, as the Windows program writes it, or turned into UTF-8 for
// scripts (no byte-order mark, each two-line title on one line).
#pragma once
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// A sink over an open file that writes it a block at a time on a thread of
// its own, one block behind the one being filled. A failed write refuses
// every byte after it; finish() writes what is left and says whether every
// byte reached the file (errno telling why not). The file stays open.
class BackgroundFile {
public:
    explicit BackgroundFile(std::FILE *file);
    ~BackgroundFile();
    BackgroundFile(const BackgroundFile &) = delete;
    BackgroundFile &operator=(const BackgroundFile &) = delete;
    ByteSink sink();
    int take(const std::uint8_t *bytes, std::size_t count);
    int finish();

private:
    static constexpr std::size_t BLOCK_BYTES = 1 << 20;
    void write_blocks();
    int write_block();
    int hand_over();

    std::FILE *file_;
    std::vector<std::uint8_t> filling_, writing_;
    std::mutex lock_;
    std::condition_variable changed_;
    int pending_ = 0, closing_ = 0, finished_ = 0, failed_errno_ = 0;
    std::thread writer_;
};

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
