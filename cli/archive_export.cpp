#include "cli/archive_export.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Records read from the archive, handed from the reading thread to the
// writing one: their texts one after another and each one's length.
struct Batch {
    std::vector<char> text;
    std::vector<std::size_t> length;
};

constexpr std::size_t BATCH_RECORDS = 256;
constexpr std::size_t BATCHES_AHEAD = 2;

// As a history slot holds a record: the reader's longest.
std::size_t kept_bytes(const ArchiveRecord &r)
{
    return std::min<std::size_t>(r.length, RECORD_BYTES - 1);
}

} // namespace

// The archive is read on a thread of its own, a few batches ahead of the
// rows: on two cores a year's export then takes little more than writing
// its rows, where one thread took both one after the other.
int write_archive_export(Archive *archive, long long from, long long to,
                         const ExportRequest &request, const UnitSettings &units,
                         const ByteSink &sink, ArchiveError *error)
{
    *error = ArchiveError{};
    if (!write_export_header(sink, units))
        return 0;
    // Its own per export: two may run at once.
    const auto work = std::make_unique<ExportWorkspace>();
    // A row for the first n bytes of a record's text (a zero ends it sooner).
    const auto write_text = [&](const char *text, std::size_t n) {
        if (n == 0 || text[0] == 0)
            return 1;
        RecordTokens tokens;
        split_station_record(text, n, &tokens);
        return write_tokens_row(sink, tokens, request, units, work.get());
    };
    std::mutex lock;
    std::condition_variable changed;
    // Batches written out go back to the reader, which fills them again:
    // new ones would cost their pages anew each time.
    std::deque<Batch> ready, spare;
    bool read_all = false, stop = false;
    int read = 0;
    ArchiveError read_error;
    const auto read_ahead = [&] {
        Batch batch;
        const auto hand_over = [&] {
            std::unique_lock<std::mutex> held(lock);
            changed.wait(held, [&] { return ready.size() < BATCHES_AHEAD || stop; });
            if (stop)
                return 0;
            ready.push_back(std::move(batch));
            batch = Batch{};
            if (!spare.empty()) {
                batch = std::move(spare.back());
                spare.pop_back();
                batch.text.clear();
                batch.length.clear();
            }
            changed.notify_all();
            return 1;
        };
        int ok = archive_each_text(archive, from, to, [&](const ArchiveRecord &r) {
            const std::size_t n = kept_bytes(r);
            batch.text.insert(batch.text.end(), r.text, r.text + n);
            batch.length.push_back(n);
            return batch.length.size() < BATCH_RECORDS || hand_over();
        }, &read_error);
        ok = ok && (batch.length.empty() || hand_over());
        const std::lock_guard<std::mutex> held(lock);
        read = ok;
        read_all = true;
        changed.notify_all();
    };
    int sink_ok = 1;
    std::thread reader;
    try {
        reader = std::thread(read_ahead);
    } catch (const std::system_error &) {
        // No thread to spare: read and write in turn.
        return archive_each_text(archive, from, to, [&](const ArchiveRecord &r) {
            return sink_ok = write_text(r.text, kept_bytes(r));
        }, error) && sink_ok;
    }

    while (sink_ok) {
        Batch batch;
        {
            std::unique_lock<std::mutex> held(lock);
            changed.wait(held, [&] { return !ready.empty() || read_all; });
            if (ready.empty())
                break;
            batch = std::move(ready.front());
            ready.pop_front();
            changed.notify_all();
        }
        const char *text = batch.text.data();
        for (std::size_t i = 0; sink_ok && i < batch.length.size(); text += batch.length[i++])
            sink_ok = write_text(text, batch.length[i]);
        const std::lock_guard<std::mutex> held(lock);
        spare.push_back(std::move(batch));
    }
    {
        const std::lock_guard<std::mutex> held(lock);
        stop = true;
        changed.notify_all();
    }
    reader.join();
    if (!sink_ok)
        return 0;
    if (!read)
        *error = read_error;
    return read;
}
