// The simulated console: the station's side of the USB link, without
// hardware. It takes the program's 9-byte command frames and hands out the
// 65-byte input reports a real console would send, with the same framing,
// CRC, sequence bytes, page counts and keys, and it waits for the program's
// reply to each report before it sends the next one.
//
// Time is a millisecond count given by the caller, so that a test can run
// the console without a clock. The content (live record, history memory,
// bodies, status reports) is put in by a driver: the weather model for
// demos or a scenario replay.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/calendar.h"
#include "simulator/history_memory.h"
#include "station/commands.h"
#include "station/report_handler.h"

// The sequence byte holds the packet count in a nibble: 15 packets at most.
constexpr int CONSOLE_MAX_PACKETS = 15;
constexpr int CONSOLE_MAX_PAYLOAD = CONSOLE_MAX_PACKETS * MAX_PAYLOAD;
// The page count is 16 bits and 0 means a live record; count and key both
// 0xFFFF would read as the no-history marker.
constexpr int CONSOLE_MAX_HISTORY = 65534;
constexpr int CONSOLE_QUEUE_JOBS = 8;

// What the console sends next, in the order the jobs were queued.
enum ConsoleJobType : std::uint8_t {
    JOB_LIVE,          // the live record at the time the job starts
    JOB_HISTORY,       // the whole history memory, or the no-history marker
    JOB_WU_BODY,       // a 0xFB upload body
    JOB_WC_BODY,       // a 0xF1 upload body
    JOB_STATUS,        // a single 0xFA report with code and flag
    JOB_RAW            // one report exactly as given, sent once
};

// A planted fault of the next history download. Pages and packets count
// from 1 in sending order.
enum ConsoleFaultKind : std::uint8_t {
    FAULT_DROP,        // the packet is never sent; the console goes on as if answered
    FAULT_CORRUPT,     // the packet goes out damaged `times` times, resent after each reject
    FAULT_REPEAT,      // the packet is sent once more after its reply
    FAULT_LIVE_AFTER,  // the live record goes out between this page and the next
    FAULT_STALL        // nothing more of the download after this page
};

struct ConsoleFault {
    std::uint8_t kind;
    int page;
    int packet;  // 0 for live-after and stall
    int times;   // corrupt: damaged sends still to come; others 1 until used
};

// Faults waiting for one download; more are refused.
constexpr int CONSOLE_MAX_FAULTS = 256;

struct ConsoleJob {
    std::uint8_t type;
    std::uint8_t code;   // JOB_STATUS: byte 2
    std::uint8_t flag;   // JOB_STATUS: byte 3
    std::uint16_t length;
    std::uint8_t bytes[CONSOLE_MAX_PAYLOAD];  // body text or raw report
};

// The payload on the wire: one record, body or single report being sent.
struct ConsoleTransfer {
    int active;
    std::uint8_t kind;
    std::uint16_t count;       // 0xFE: page count (0 live), else 0
    std::uint16_t key;         // 0xFE: page key
    std::uint8_t payload[CONSOLE_MAX_PAYLOAD];
    std::size_t length;
    int packets;               // packet count of this payload
    int packet;                // 1-based index of the packet on the wire
    int single;                // non-zero: single_report is sent instead of packets
    std::uint8_t single_report[REPORT_BYTES];
    int history;               // part of a history transfer
    std::size_t history_next;  // next history record to send after this one
    int report_due;            // the current packet is waiting to be handed out
    int awaiting_reply;        // handed out, no reply yet
    std::int64_t sent_at_ms;
    int resends;
};

struct ConsoleStats {
    unsigned frames_accepted;
    unsigned frames_rejected;  // bad markers, bad CRC, unknown command, bad date
    unsigned reports_sent;
    unsigned resends;
    unsigned timeouts;         // replies that never came
    unsigned history_sent;     // history records completed with an ack
};

struct VirtualConsole {
    // Content, set by the driver.
    char live[CONSOLE_MAX_PAYLOAD + 1];
    std::size_t live_length;
    int has_live;
    HistoryMemory history;

    // The console's own clock: wall-clock seconds (local time, counted as
    // if it were UTC) at the moment clock_base_ms.
    std::int64_t clock_base_seconds;
    std::int64_t clock_base_ms;
    int clock_set;  // set by the program's date or time frame

    // Link.
    int connected;
    unsigned connections;  // counts connects, so drivers can greet each one
    std::int64_t connected_at_ms;
    std::int64_t reply_timeout_ms;

    ConsoleJob queue[CONSOLE_QUEUE_JOBS];
    int queue_head;
    int queue_size;
    ConsoleTransfer transfer;

    // Fault injection: the next corrupt_reports reports go out with a wrong CRC.
    int corrupt_reports;
    // Faults for the next history download, taken over by it when it starts
    // (download_faults) and used up with it.
    std::vector<ConsoleFault> faults;
    std::vector<ConsoleFault> download_faults;
    std::size_t history_resume;  // 1 + the record to go on with after a live record, or 0
    ConsoleStats stats;
};

void console_init(VirtualConsole *console, std::int64_t clock_seconds, std::int64_t now_ms);

// The program opened or lost the link. Losing it drops whatever was on
// the way.
void console_connect(VirtualConsole *console, std::int64_t now_ms);
void console_disconnect(VirtualConsole *console);

// One command frame from the program. Returns 1 when the frame was valid
// and understood; a frame with bad markers or CRC, or an unknown command,
// is ignored and gives 0.
int console_feed_command(VirtualConsole *console, const std::uint8_t *frame,
                         std::size_t length, std::int64_t now_ms);

// The next report to write to the program, if one is due now. Returns 1
// and fills report (65 bytes), or 0 when the console is waiting.
int console_next_report(VirtualConsole *console, std::int64_t now_ms,
                        std::uint8_t report[REPORT_BYTES]);

// Lets time pass: a reply that has not come in time is given up.
void console_tick(VirtualConsole *console, std::int64_t now_ms);

// Milliseconds until the console has something to do without a command
// (a reply timeout), or -1 when only a command can move it on.
std::int64_t console_wait_ms(const VirtualConsole *console, std::int64_t now_ms);

// Nothing on the wire and nothing queued.
int console_idle(const VirtualConsole *console);

// Content.
int console_set_live(VirtualConsole *console, const char *text, std::size_t length);
int console_add_history(VirtualConsole *console, const char *text, std::size_t length);
void console_clear_history(VirtualConsole *console);
// Adds `records` to the memory, taking them over whole when it is empty, and
// leaves `records` empty; records past CONSOLE_MAX_HISTORY are refused.
void console_take_history(VirtualConsole *console, HistoryMemory *records);
// Plants a fault in the next history download; 0 when CONSOLE_MAX_FAULTS
// are already waiting.
int console_add_fault(VirtualConsole *console, const ConsoleFault &fault);
// Queues a job; 0 when the queue is full or the job does not fit.
int console_queue(VirtualConsole *console, std::uint8_t type, const std::uint8_t *bytes,
                  std::size_t length);
int console_queue_status(VirtualConsole *console, std::uint8_t code, std::uint8_t flag);

// The console's clock now, in wall-clock seconds.
std::int64_t console_clock(const VirtualConsole *console, std::int64_t now_ms);
void console_set_clock(VirtualConsole *console, std::int64_t clock_seconds, std::int64_t now_ms);
