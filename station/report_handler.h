// The reader's decision for one 65-byte input report: accept or reject it,
// reassemble multi-packet payloads, store history pages, and say which
// reply frame to write and which notifications to raise, in order.
//
// Input report:
//   0      report id (not examined)
//   1      kind (KIND_…)
//   2-3    KIND_RECORD: record count, big-endian (0 live, else history page)
//          KIND_STATUS: byte 2 code (3 asks for the time), byte 3 flag (1 cancels)
//   4-5    KIND_RECORD: page key, big-endian
//   6      high nibble packet count, low nibble packet index (1-based)
//   7      payload length n (at most 54)
//   8..    payload
//   62-63  CRC-16 of bytes 1 to 61, high byte first
#pragma once
#include <cstddef>
#include <cstdint>

#include "history/history_store.h"
#include "station/link_state.h"

constexpr int REPORT_BYTES = 65;
constexpr int BODY_BYTES = 1024;
constexpr int MAX_PAYLOAD = 54;

constexpr std::uint8_t KIND_RECORD = 0xFE;
constexpr std::uint8_t KIND_STATUS = 0xFA;
constexpr std::uint8_t KIND_WU_BODY = 0xFB;
constexpr std::uint8_t KIND_WC_BODY = 0xF1;

// The tenth bad report in a row is acknowledged so that the console moves on.
constexpr int GIVE_UP_AFTER = 10;

// The page on its way in a download, so that each page counts once however
// it ends: stored, cut short, resent or given up.
struct PageState {
    int open;        // a page has come since the history request
    int key;         // its key; -1 while only damaged reports of it came
    int packets;     // its packet count; 0 while unknown
    int passed;      // packets of it the console has moved past
    int counted;     // stored, or counted as lost
    int last_at;     // where its last accepted packet lies in the record buffer
    int last_length; // that packet's length; -1 when there is none to compare
};

// Owned by one reader thread; starts zeroed with each reader.
struct ReaderState {
    std::uint8_t record[RECORD_BYTES];
    std::uint8_t wu_body[BODY_BYTES];
    std::uint8_t wc_body[BODY_BYTES];
    int record_offset, wu_offset, wc_offset;
    int remaining;   // history pages still expected in the running download
    int downloading; // this reader announced a download that has not completed
    PageState page;
    // For watch_download: history reports handled so far, the count the
    // watch saw last, and when it saw it change.
    unsigned pages_heard, pages_watched;
    std::int64_t heard_ms;
};

// Kept across reader restarts; written by the reader only. The skipped-page
// count, last given-up key and record packet start afresh with each
// history request.
struct LinkCounters {
    int record_packet, wu_packet, wc_packet; // index of the last accepted packet
    int record_bad_crc;                      // consecutive bad KIND_RECORD reports
    int other_bad_crc;                       // consecutive bad reports of other kinds
    int skipped_pages;                       // pages given up since the last stored one
    // No page has a negative key: a first page given up with key 0 still
    // counts as skipped, or its download could never complete.
    int last_given_up_key = -1;
};

extern LinkCounters link_counters;

// Where a notification goes.
enum Receiver : int { TO_TARGET = 0, TO_STATUS_BAR = 1 };

// One thing to do: write `frame` when it is non-null, otherwise send
// `message` with `lparam` (an integer, or the address of a reader buffer
// valid until the next report) to `receiver`.
struct LinkStep {
    const std::uint8_t *frame;
    int receiver;
    unsigned message;
    std::intptr_t lparam;
};

constexpr int MAX_STEPS = 4;

struct ReportAction {
    int count;
    LinkStep step[MAX_STEPS]; // carried out in this order
};

// What the handler reads and writes besides the reader's own state.
struct LinkContext {
    LinkCounters *counters;
    LinkFlags *flags;
    HistoryStore *store;
    const char16_t *export_file_name; // empty until the user has chosen a file
};

// Decides everything for one report; `action` is overwritten.
void handle_report(const std::uint8_t report[REPORT_BYTES], ReaderState &reader,
                   const LinkContext &link, ReportAction &action);

// A console that sends no page for this long in the middle of a download
// has stopped sending it.
constexpr std::int64_t DOWNLOAD_QUIET_MS = 10000;

enum DownloadWatch { DOWNLOAD_GOING = 0, DOWNLOAD_STALLED = 1 };

// For a front end without a Cancel button (the Windows program leaves a
// quiet download running until the user cancels it or the station goes):
// the watch over a running download. Call it after every read, also a read
// that timed out (at least once a second), with a millisecond clock. Once
// the console has sent no page for DOWNLOAD_QUIET_MS, the page it left
// half sent counts as lost: when that
// was the last one outstanding, the download completes and `action` holds
// the notices to raise, as after handle_report; otherwise it returns
// DOWNLOAD_STALLED, once, and the front end cancels the download (stop
// frame, no file) and says so. `action` is overwritten.
int watch_download(ReaderState &reader, const LinkContext &link, std::int64_t now_ms,
                   ReportAction &action);
