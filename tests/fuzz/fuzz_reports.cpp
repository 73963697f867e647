// Arbitrary sequences of 65-byte reports through the reader's decision,
// with a fresh reader, counters and flags per input. Byte 0 of each report
// (the report id, never examined by the handler) also plays the interface
// thread: it cancels, clears the download or removes the export file
// between reports, and mostly seals the report with a good CRC so that the
// handling behind the CRC check is reached. Any overrun is caught by the sanitizers; the checks
// below catch results that point outside the reader's buffers, and a
// download after the input that would not end whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "station/crc.h"
#include "station/messages.h"
#include "station/report_handler.h"

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

    // Whatever came before, Export pressed now gets a download that ends
    // with its pages in the first slots.
    flags.history_cancel = 0;
    flags.history_active = 0;
    flags.history_complete = 0;
    flags.history_requested = 1;
    file_name[0] = u'f';
    constexpr int PAGES = 3;
    int completed = 0;
    for (int page = 0; page < PAGES; ++page)
        for (int index = 1; index <= 2; ++index) {
            std::uint8_t report[REPORT_BYTES] = {0, KIND_RECORD, 0, PAGES, 0,
                                                 static_cast<std::uint8_t>(page + 1),
                                                 static_cast<std::uint8_t>(0x20 | index), 1,
                                                 static_cast<std::uint8_t>(index == 1 ? 'a' + page : 'z')};
            const int crc = crc16(report, 1, 62);
            report[62] = static_cast<std::uint8_t>(crc >> 8);
            report[63] = static_cast<std::uint8_t>(crc);
            handle_report(report, reader, link, action);
            for (int i = 0; i < action.count; ++i)
                completed += action.step[i].message == UM_HISTORY_COMPLETE;
        }
    if (completed != 1 || flags.history_complete != 1)
        std::abort();
    for (int page = 0; page < PAGES; ++page)
        if (history_store.slot[page][0] != 'a' + page || history_store.slot[page][1] != 'z')
            std::abort();
    return 0;
}
