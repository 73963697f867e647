#include "station/report_handler.h"

#include <cstring>

#include "station/commands.h"
#include "station/crc.h"
#include "station/messages.h"

LinkCounters link_counters;

namespace {

void add_reply(ReportAction &action, const std::uint8_t *frame)
{
    if (action.count < MAX_STEPS)
        action.step[action.count++] = {frame, TO_TARGET, 0, 0};
}

void add_message(ReportAction &action, int receiver, unsigned message, std::intptr_t lparam)
{
    if (action.count < MAX_STEPS)
        action.step[action.count++] = {nullptr, receiver, message, lparam};
}

int crc_matches(const std::uint8_t *report)
{
    const int received = report[62] << 8 | report[63];
    return crc16(report, 1, 62) == received;
}

// Counts one bad report of a family: rejected below the limit, acknowledged
// at it so that the console moves on. Returns 1 when the report is given up.
int count_bad_report(int &bad, const std::uint8_t *reject, const std::uint8_t *give_up,
                     ReportAction &action)
{
    if (++bad < GIVE_UP_AFTER) {
        add_reply(action, reject);
        return 0;
    }
    add_reply(action, give_up);
    bad = 0;
    return 1;
}

// Packet index and count from the sequence byte.
int packet_index(const std::uint8_t *report) { return report[6] & 0x0F; }
int packet_count(const std::uint8_t *report) { return report[6] >> 4; }

enum Assembly { DROPPED, PARTIAL, LAST };

// Appends one packet to `buffer` by the sequence rules shared by records
// and bodies. A packet out of sequence, longer than a report can hold, or
// running into the buffer's last byte is dropped and restarts reassembly:
// the buffer always stays zero-terminated text.
Assembly assemble(const std::uint8_t *report, std::uint8_t *buffer, int size, int &counter,
                  int &offset)
{
    const int index = packet_index(report);
    const int length = report[7];
    // A first packet restarts whatever an interruption left half done.
    counter = index == 1 ? 1 : counter + 1;
    if (counter != index || length > MAX_PAYLOAD) {
        counter = 0;
        return DROPPED;
    }
    if (index == 1) {
        std::memset(buffer, 0, static_cast<std::size_t>(size));
        offset = 0;
    }
    if (offset + length > size - 1) {
        counter = 0;
        return DROPPED;
    }
    std::memcpy(buffer + offset, report + 8, static_cast<std::size_t>(length));
    offset += length;
    return index == packet_count(report) ? LAST : PARTIAL;
}

// Settles the pages accounted for since the last stored one and ends the
// download once the announced count is reached, also when it is overshot:
// pages given up at the end must not leave it waiting for pages that never come.
void account_pages(ReaderState &reader, const LinkContext &link, int pages, ReportAction &action)
{
    LinkCounters &c = *link.counters;
    reader.remaining -= pages + c.skipped_pages;
    c.skipped_pages = 0;
    const int done = reader.downloading && reader.remaining <= 0;
    if (done) {
        reader.remaining = 0;
        reader.downloading = 0;
    }
    add_message(action, TO_STATUS_BAR, UM_HISTORY_PROGRESS, link.flags->history_total - reader.remaining);
    if (done) {
        link.flags->history_complete = 1;
        add_message(action, TO_TARGET, UM_HISTORY_COMPLETE, 0);
    }
}

// A page that is not stored counts as skipped; when it is the last one
// outstanding, the download ends here.
void skip_page(ReaderState &reader, const LinkContext &link, ReportAction &action)
{
    LinkCounters &c = *link.counters;
    ++c.skipped_pages;
    if (link.flags->history_active == 1 && reader.downloading &&
        reader.remaining - c.skipped_pages <= 0)
        account_pages(reader, link, 0, action);
}

void store_page(ReaderState &reader, const LinkContext &link, ReportAction &action)
{
    const int slot = link.flags->history_total - reader.remaining;
    if (slot < 0 || slot >= HISTORY_SLOTS) {
        skip_page(reader, link, action);
        return;
    }
    std::memcpy(link.store->slot[slot], reader.record, RECORD_BYTES);
    account_pages(reader, link, 1, action);
}

// The page on its way will not be stored: it counts once as skipped.
void lose_page(ReaderState &reader, const LinkContext &link, ReportAction &action)
{
    reader.page.counted = 1;
    skip_page(reader, link, action);
}

int download_running(const ReaderState &reader, const LinkFlags &flags)
{
    return reader.downloading && flags.history_active == 1;
}

// A report given up after ten bad ones in a row. Its bytes cannot be
// trusted, its key least of all, but its packet index is the best guess
// there is: it is the next packet of the page on its way, or else the
// first of a new page, which ends the one on its way. A page known from
// given-up reports alone is told apart by key.
void give_up_page(const std::uint8_t *report, ReaderState &reader, const LinkContext &link,
                  ReportAction &action)
{
    PageState &p = reader.page;
    LinkCounters &c = *link.counters;
    const int key = report[4] << 8 | report[5];
    const int index = packet_index(report), packets = packet_count(report);
    const int same = p.open && (p.key < 0 ? key == c.last_given_up_key
                                          : p.passed < p.packets && index > p.passed);
    c.last_given_up_key = key;
    p.last_length = -1;
    if (same) {
        ++p.passed;
        if (!p.counted)
            lose_page(reader, link, action);
        return;
    }
    if (p.open && !p.counted)
        lose_page(reader, link, action);
    p = PageState{1, -1, index && index <= packets ? packets : 0, index ? index : 1, 0, 0, -1};
    lose_page(reader, link, action);
}

// The packet just accepted, sent again (its reply got lost): taken once.
int is_resend(const std::uint8_t *report, const ReaderState &reader)
{
    const PageState &p = reader.page;
    const int key = report[4] << 8 | report[5];
    return p.open && p.last_length == report[7] && key == p.key &&
           packet_index(report) == p.passed &&
           std::memcmp(report + 8, reader.record + p.last_at, static_cast<std::size_t>(p.last_length)) == 0;
}

// A good packet of a history page in a running download. A packet of a
// page other than the one on its way ends that one, lost if it was not
// stored; a page is stored once, when its last packet completes it.
void receive_page(const std::uint8_t *report, ReaderState &reader, const LinkContext &link,
                  ReportAction &action)
{
    PageState &p = reader.page;
    LinkCounters &c = *link.counters;
    // A complete download takes nothing more: its store is being exported.
    if (!reader.downloading || is_resend(report, reader))
        return;
    const int key = report[4] << 8 | report[5];
    const int index = packet_index(report);
    if (!(p.open && index > p.passed && (key == p.key || p.key < 0))) {
        if (p.open && !p.counted)
            lose_page(reader, link, action);
        p = PageState{1, key, 0, 0, 0, 0, -1};
        c.record_packet = 0; // no packet of the last page goes on in this one
        if (!reader.downloading) // that was the last page announced
            return;
    }
    p.key = key;
    p.packets = packet_count(report);
    p.passed = index;

    // The first packet never completes a record: a record spans two packets at
    // least. A page that cannot be stored still counts, or its download never ends.
    const Assembly got = assemble(report, reader.record, RECORD_BYTES, c.record_packet,
                                  reader.record_offset);
    if (got == DROPPED || (got == LAST && index == 1)) {
        p.last_length = -1;
        if (!p.counted)
            lose_page(reader, link, action);
        return;
    }
    p.last_at = reader.record_offset - report[7];
    p.last_length = report[7];
    if (got != LAST)
        return;
    c.record_packet = 0;
    if (!p.counted) {
        p.counted = 1;
        store_page(reader, link, action);
    }
}

void handle_record(const std::uint8_t *report, ReaderState &reader, const LinkContext &link,
                   ReportAction &action)
{
    LinkCounters &c = *link.counters;
    LinkFlags &flags = *link.flags;

    // What an interrupted download left counted is not the requested one's.
    // The bad-CRC count is the link's, not the download's: it runs on.
    if (flags.history_requested.exchange(0)) {
        c.record_packet = 0;
        c.skipped_pages = 0;
        c.last_given_up_key = -1;
        reader.page = PageState{};
    }
    if (report[2] == 0xFF && report[3] == 0xFF && report[4] == 0xFF && report[5] == 0xFF) {
        add_message(action, TO_TARGET, UM_NO_HISTORY, 0);
        return;
    }
    const int count = report[2] << 8 | report[3];
    if (count)
        ++reader.pages_heard;
    if (!crc_matches(report)) {
        if (!count_bad_report(c.record_bad_crc, CMD_PAGE_NAK, CMD_PAGE_ACK, action))
            return;
        c.record_packet = 0;
        // A live record (page count zero) is no page of a download: counting it
        // would end the next download one page early.
        if (count == 0)
            return;
        give_up_page(report, reader, link, action);
        return;
    }

    if (count == 0) {
        // A live record in the middle of a download leaves it running: the
        // pages after it go on into the next slots.
        if (!download_running(reader, flags)) {
            flags.history_cancel = 0;
            flags.history_active = 0;
        }
    } else {
        if (flags.history_cancel == 1 || !link.export_file_name || !link.export_file_name[0])
            return;
        if (flags.history_active == 0) {
            flags.history_total = count;
            reader.remaining = count;
            reader.downloading = 1;
            add_message(action, TO_STATUS_BAR, UM_HISTORY_START, count);
        }
        flags.history_active = 1;
    }
    add_reply(action, CMD_PAGE_ACK);
    c.record_bad_crc = 0;

    if (count) {
        receive_page(report, reader, link, action);
        return;
    }
    reader.page.last_length = -1; // the record buffer no longer holds the page
    const Assembly got = assemble(report, reader.record, RECORD_BYTES, c.record_packet,
                                  reader.record_offset);
    if (got != LAST || packet_index(report) == 1)
        return;
    c.record_packet = 0;
    add_message(action, TO_TARGET, UM_LIVE_RECORD, reinterpret_cast<std::intptr_t>(reader.record));
}

void handle_body(const std::uint8_t *report, std::uint8_t *buffer, int &counter, int &offset,
                 unsigned message, ReportAction &action)
{
    if (assemble(report, buffer, BODY_BYTES, counter, offset) != LAST)
        return;
    counter = 0;
    add_message(action, TO_TARGET, message, reinterpret_cast<std::intptr_t>(buffer));
}

void handle_other(const std::uint8_t *report, ReaderState &reader, const LinkContext &link,
                  ReportAction &action)
{
    LinkCounters &c = *link.counters;
    if (!crc_matches(report)) {
        if (count_bad_report(c.other_bad_crc, CMD_NAK, CMD_ACK, action))
            c.wu_packet = 0; // the Weathercloud counter keeps its value
        return;
    }
    c.other_bad_crc = 0;
    add_reply(action, CMD_ACK);

    switch (report[1]) {
    case KIND_STATUS:
        if (report[3] == 1)
            link.flags->history_cancel = 1;
        if (report[2] == 3)
            add_message(action, TO_TARGET, UM_TIME_SYNC, 0);
        break;
    case KIND_WU_BODY:
        handle_body(report, reader.wu_body, c.wu_packet, reader.wu_offset, UM_WU_BODY, action);
        break;
    case KIND_WC_BODY:
        handle_body(report, reader.wc_body, c.wc_packet, reader.wc_offset, UM_WC_BODY, action);
        break;
    default:
        break;
    }
}

} // namespace

void handle_report(const std::uint8_t report[REPORT_BYTES], ReaderState &reader,
                   const LinkContext &link, ReportAction &action)
{
    action.count = 0;
    if (report[1] == KIND_RECORD)
        handle_record(report, reader, link, action);
    else
        handle_other(report, reader, link, action);
}

int watch_download(ReaderState &reader, const LinkContext &link, std::int64_t now_ms,
                   ReportAction &action)
{
    action.count = 0;
    if (reader.pages_heard != reader.pages_watched || !download_running(reader, *link.flags) ||
        link.flags->history_cancel) {
        reader.pages_watched = reader.pages_heard;
        reader.heard_ms = now_ms;
        return DOWNLOAD_GOING;
    }
    if (now_ms - reader.heard_ms < DOWNLOAD_QUIET_MS)
        return DOWNLOAD_GOING;
    // The console will not finish the page it left half sent; when that was
    // the last one, the download is complete without it.
    if (reader.page.open && !reader.page.counted)
        lose_page(reader, link, action);
    if (!reader.downloading)
        return DOWNLOAD_GOING;
    reader.downloading = 0;
    return DOWNLOAD_STALLED;
}
