// Arbitrary sequences of 65-byte reports through the reader's decision,
// with a fresh reader, counters and flags per input. Byte 0 of each report
// (the report id, never examined by the handler) also plays the interface
// thread: it cancels, clears the download or removes the export file
// between reports, and mostly seals the report with a good CRC so that the
// handling behind the CRC check is reached. Any overrun is caught by the sanitizers; the checks
// below catch results that point outside the reader's buffers, and a
// download after the input, from a console with faults, that would not end
// or would store a record twice.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "station/crc.h"
#include "station/messages.h"
#include "station/report_handler.h"
#include "simulator/virtual_console.h"

static int inside(std::intptr_t p, const std::uint8_t *buffer)
{
    return p == reinterpret_cast<std::intptr_t>(buffer);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static ReaderState reader;
    static LinkCounters counters;
    static LinkFlags flags;
    std::memset(&reader, 0, sizeof reader);
    counters = LinkCounters{};
    flags.history_cancel = 0;
    flags.history_active = 0;
    flags.history_complete = 0;
    flags.history_total = 0;
    char16_t file_name[] = u"fuzz.csv";
    const LinkContext link = {&counters, &flags, &history_store, file_name};

    ReportAction action;
    for (std::size_t at = 0; at + REPORT_BYTES <= size; at += REPORT_BYTES) {
        std::uint8_t report[REPORT_BYTES];
        std::memcpy(report, data + at, REPORT_BYTES);
        if (report[0] & 0x18) {
            const int crc = crc16(report, 1, 62);
            report[62] = static_cast<std::uint8_t>(crc >> 8);
            report[63] = static_cast<std::uint8_t>(crc);
        }
        if (report[0] & 1)
            flags.history_cancel = 1;
        if (report[0] & 2)
            flags.history_active = 0;
        file_name[0] = (report[0] & 4) ? 0 : u'f';

        handle_report(report, reader, link, action);

        if (action.count < 0 || action.count > MAX_STEPS)
            std::abort();
        int replies = 0;
        for (int i = 0; i < action.count; ++i) {
            const LinkStep &s = action.step[i];
            replies += s.frame != nullptr;
            if ((s.message == UM_LIVE_RECORD && !inside(s.lparam, reader.record)) ||
                (s.message == UM_WU_BODY && !inside(s.lparam, reader.wu_body)) ||
                (s.message == UM_WC_BODY && !inside(s.lparam, reader.wc_body)))
                std::abort();
        }
        if (replies > 1)
            std::abort();
        // Delivered texts stay terminated inside their buffers.
        if (reader.record[RECORD_BYTES - 1] || reader.wu_body[BODY_BYTES - 1] ||
            reader.wc_body[BODY_BYTES - 1])
            std::abort();
        if (reader.record_offset < 0 || reader.record_offset >= RECORD_BYTES ||
            reader.wu_offset < 0 || reader.wu_offset >= BODY_BYTES || reader.wc_offset < 0 ||
            reader.wc_offset >= BODY_BYTES)
            std::abort();
    }

    // Whatever came before, Export pressed now gets a download from the
    // simulated console, shaped by faults from the input's last bytes (four
    // a fault), that ends and stores no record twice, in order.
    static VirtualConsole console;
    console_init(&console, 0, 0);
    console_connect(&console, 0);
    constexpr int PAGES = 5;
    static const std::size_t lengths[PAGES] = {20, 110, 170, 60, 20};
    std::string records[PAGES];
    for (int page = 0; page < PAGES; ++page) {
        records[page] = std::string(lengths[page], static_cast<char>('a' + page));
        console_add_history(&console, records[page].data(), records[page].size());
    }
    console_set_live(&console, "live", 4);
    static const int packets[PAGES] = {2, 3, 4, 2, 2};
    // Only a console that stops may leave the download unfinished, or one
    // that sends no packet at all of a page, or drops packets around a report
    // given up (whose key cannot be trusted): then no reader can tell which
    // page the next packet belongs to. It still ends, by the watch.
    int may_stall = 0, dropped[PAGES] = {}, any_drop = 0, given_up = 0, corrupt[PAGES][6] = {};
    // Bad reports from before the request count on into the download, so a
    // corrupt packet may be given up sooner than its own faults say.
    const int carried = counters.record_bad_crc;
    const std::size_t tail = size % REPORT_BYTES;
    for (std::size_t at = size - tail; at + 4 <= size; at += 4) {
        const ConsoleFault f = {static_cast<std::uint8_t>(data[at] % 5), 1 + data[at + 1] % PAGES,
                                1 + data[at + 2] % 5, data[at + 3] % 12};
        may_stall |= f.kind == FAULT_STALL && f.page < PAGES && f.times > 0;
        if (f.kind == FAULT_DROP && f.times > 0 && f.packet <= packets[f.page - 1]) {
            dropped[f.page - 1] |= 1 << f.packet;
            any_drop = 1;
        }
        if (f.kind == FAULT_CORRUPT)
            given_up |= (corrupt[f.page - 1][f.packet] += f.times) + carried >= GIVE_UP_AFTER;
        console_add_fault(&console, f);
    }
    may_stall |= any_drop && given_up;
    for (int page = 0; page < PAGES; ++page)
        may_stall |= dropped[page] == (2 << packets[page]) - 2;
    std::memset(history_store.slot, 0, 16 * RECORD_BYTES);
    flags.history_cancel = 0;
    flags.history_active = 0;
    flags.history_complete = 0;
    flags.history_requested = 1;
    file_name[0] = u'f';
    console_feed_command(&console, CMD_READ_HISTORY, FRAME_BYTES, 0);
    std::int64_t now = 0;
    int completed = 0, started = 0;
    for (int guard = 0; guard < 100000; ++guard) {
        std::uint8_t report[REPORT_BYTES];
        if (!console_next_report(&console, now, report)) {
            if (console_idle(&console))
                break;
            now += console_wait_ms(&console, now);
            continue;
        }
        handle_report(report, reader, link, action);
        for (int i = 0; i < action.count; ++i) {
            if (action.step[i].frame)
                console_feed_command(&console, action.step[i].frame, FRAME_BYTES, now);
            completed += action.step[i].message == UM_HISTORY_COMPLETE;
            started += action.step[i].message == UM_HISTORY_START;
        }
        ++now;
    }
    int stalled = watch_download(reader, link, now, action);
    stalled += watch_download(reader, link, now + DOWNLOAD_QUIET_MS, action);
    for (int i = 0; i < action.count; ++i)
        completed += action.step[i].message == UM_HISTORY_COMPLETE;
    // A download of which no page came whole never started: the front end's
    // wait for an answer ends it.
    if (completed + stalled != (started ? 1 : 0) || started > 1 || (stalled && !may_stall))
        std::abort();
    // Without faults every record arrives.
    for (int page = 0; page < PAGES && tail < 4; ++page)
        if (!completed || records[page] != reinterpret_cast<const char *>(history_store.slot[page]))
            std::abort();
    int next = 0; // records come in sending order, each once
    for (int slot = 0; slot < 16; ++slot) {
        const char *text = reinterpret_cast<const char *>(history_store.slot[slot]);
        if (!text[0])
            continue;
        while (next < PAGES && records[next] != text)
            ++next;
        if (next++ == PAGES)
            std::abort();
    }
    return 0;
}
