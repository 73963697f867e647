#include "cli/export_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

#include "cli/platform.h"

namespace {

// The file is the export's alone: its rows need not take the stream's lock.
int file_write(void *context, const std::uint8_t *bytes, std::size_t count)
{
    return fwrite_unlocked(bytes, 1, count, static_cast<std::FILE *>(context)) == count;
}

int background_write(void *context, const std::uint8_t *bytes, std::size_t count)
{
    return static_cast<BackgroundFile *>(context)->take(bytes, count);
}

void put_utf8(std::string &out, unsigned long c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One UTF-16 unit. In the header row a quoted two-line title loses its
// quotes and its line break becomes a space.
void take_unit(Utf8Sink &s, char16_t unit)
{
    if (s.at_start) {
        s.at_start = 0;
        if (unit == 0xFEFF)
            return;
    }
    if (s.high_surrogate) {
        const char16_t high = s.high_surrogate;
        s.high_surrogate = 0;
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            put_utf8(s.out, 0x10000 + ((high - 0xD800UL) << 10) + (unit - 0xDC00UL));
            return;
        }
        put_utf8(s.out, 0xFFFD);
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        s.high_surrogate = unit;
        return;
    }
    if (s.in_header) {
        if (unit == u'"') {
            s.in_quotes = !s.in_quotes;
            return;
        }
        if (s.in_quotes && unit == u'\r')
            return;
        if (s.in_quotes && unit == u'\n') {
            s.out += ' ';
            return;
        }
        if (unit == u'\n')
            s.in_header = 0;
    }
    put_utf8(s.out, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
}

int utf8_write(void *context, const std::uint8_t *bytes, std::size_t count)
{
    Utf8Sink &s = *static_cast<Utf8Sink *>(context);
    s.out.clear();
    for (std::size_t i = 0; i < count; ++i) {
        if (!s.have_low) {
            s.low = bytes[i];
            s.have_low = 1;
            continue;
        }
        s.have_low = 0;
        take_unit(s, static_cast<char16_t>(s.low | bytes[i] << 8));
    }
    return s.out.empty() ||
           s.next->write(s.next->context, reinterpret_cast<const std::uint8_t *>(s.out.data()),
                         s.out.size());
}

} // namespace

ByteSink utf8_sink(Utf8Sink *state, const ByteSink *next)
{
    state->next = next;
    state->have_low = 0;
    state->high_surrogate = 0;
    state->at_start = 1;
    state->in_header = 1;
    state->in_quotes = 0;
    return ByteSink{state, utf8_write};
}

ByteSink file_sink(std::FILE *file) { return ByteSink{file, file_write}; }

BackgroundFile::BackgroundFile(std::FILE *file) : file_(file)
{
    filling_.reserve(BLOCK_BYTES);
    try {
        writer_ = std::thread([this] { write_blocks(); });
    } catch (const std::system_error &) {
        // No thread to spare: each block is written when it is full.
    }
}

BackgroundFile::~BackgroundFile() { finish(); }

void BackgroundFile::write_blocks()
{
    std::unique_lock<std::mutex> held(lock_);
    for (;;) {
        changed_.wait(held, [this] { return pending_ || closing_; });
        if (!pending_)
            return;
        held.unlock();
        const int ok = failed_errno_ != 0 || write_block();
        held.lock();
        if (!ok)
            failed_errno_ = errno ? errno : EIO;
        pending_ = false;
        changed_.notify_all();
    }
}

int BackgroundFile::write_block()
{
    errno = 0;
    return fwrite_unlocked(writing_.data(), 1, writing_.size(), file_) == writing_.size();
}

int BackgroundFile::hand_over()
{
    if (!writer_.joinable()) {
        writing_.swap(filling_);
        if (failed_errno_ == 0 && !write_block())
            failed_errno_ = errno ? errno : EIO;
        filling_.clear();
        return failed_errno_ == 0;
    }
    std::unique_lock<std::mutex> held(lock_);
    changed_.wait(held, [this] { return !pending_; });
    if (failed_errno_ != 0)
        return 0;
    writing_.swap(filling_);
    filling_.clear();
    pending_ = true;
    changed_.notify_all();
    return 1;
}

int BackgroundFile::take(const std::uint8_t *bytes, std::size_t count)
{
    filling_.insert(filling_.end(), bytes, bytes + count);
    return filling_.size() < BLOCK_BYTES || hand_over();
}

int BackgroundFile::finish()
{
    if (finished_)
        return failed_errno_ == 0;
    finished_ = 1;
    int ok = filling_.empty() || hand_over();
    if (writer_.joinable()) {
        {
            const std::lock_guard<std::mutex> held(lock_);
            closing_ = 1;
            changed_.notify_all();
        }
        writer_.join();
    }
    // What the stream still holds reaches the file now, or says why not.
    errno = 0;
    if (failed_errno_ == 0 && fflush_unlocked(file_) != 0)
        failed_errno_ = errno ? errno : EIO;
    ok = ok && failed_errno_ == 0;
    if (!ok)
        errno = failed_errno_ ? failed_errno_ : EIO;
    return ok;
}

ByteSink BackgroundFile::sink() { return ByteSink{this, background_write}; }

namespace {

// Passes bytes on until a stop is asked for (Ctrl-C, SIGTERM): a stopped
// export is not finished.
struct StoppableSink {
    const ByteSink *next;
};

int stoppable_write(void *context, const std::uint8_t *bytes, std::size_t count)
{
    const ByteSink &next = *static_cast<StoppableSink *>(context)->next;
    return !stop_requested() && next.write(next.context, bytes, count);
}

} // namespace

int write_export_with(const char *path, int utf8,
                      const std::function<int(const ByteSink &)> &content, std::string *error)
{
    // The file grows under another name and takes the chosen one only when
    // whole: whatever stops it leaves an earlier file of that name as it was.
    std::string temporary;
    std::FILE *file = create_temporary_beside(path, temporary);
    if (!file) {
        *error = std::string("cannot create ") + path + ": " + std::strerror(errno);
        return 0;
    }
    // The file is written a MiB at a time on a thread of its own, while the
    // rows of the next MiB are made.
    BackgroundFile background(file);
    static Utf8Sink converter;
    const ByteSink raw = background.sink();
    const ByteSink converted = utf8 ? utf8_sink(&converter, &raw) : raw;
    StoppableSink stoppable = {&converted};
    const ByteSink sink = {&stoppable, stoppable_write};
    // On the disk before it takes the name, and the name on the disk after:
    // a power cut leaves the earlier file or the whole new one, never a cut one.
    int written = content(sink);
    int saved_errno = errno;
    // A failed write is why the rows stopped, whatever stopped them.
    if (!background.finish()) {
        written = 0;
        saved_errno = errno;
    }
    if (written && !sync_file(file)) {
        written = 0;
        saved_errno = errno;
    }
    const int closed = std::fclose(file) == 0;
    if (written && !closed)
        saved_errno = errno;
    if (written && closed && std::rename(temporary.c_str(), path) == 0) {
        sync_folder_of(path);
        return 1;
    }
    if (written && closed)
        saved_errno = errno;
    std::remove(temporary.c_str());
    if (stop_requested()) {
        *error = "stopped; no file written";
        return 0;
    }
    *error = std::string("cannot write ") + path + ": " + std::strerror(saved_errno);
    return 0;
}

int write_export_file(const char *path, int utf8, const ExportRequest &request,
                      const UnitSettings &units, std::string *error)
{
    static ExportWorkspace workspace;
    return write_export_with(path, utf8, [&](const ByteSink &sink) {
        link_flags.history_cancel = 0; // a stop the console sent during the download
        return write_export(sink, history_store, request, units, link_flags, &workspace) ==
               ExportOutcome::written;
    }, error);
}
