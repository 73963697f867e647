#include "simulator/virtual_console.h"

#include <cstring>

#include "station/crc.h"

namespace {

// A packet rejected this often is given up, so that a program that never
// accepts it cannot hold the console for ever.
constexpr int MAX_RESENDS = 30;

// How a single prepared report (ConsoleTransfer::single) is answered.
constexpr int SINGLE_NONE = 0;      // not a single report: packets of a payload
constexpr int SINGLE_RESENT = 1;    // resent on a reject, like a packet
constexpr int SINGLE_UNANSWERED = 2;  // the program never answers it
constexpr int SINGLE_ONCE = 3;      // a planted fault: sent once, any reply ends it

void end_transfer(VirtualConsole *c)
{
    c->transfer.active = 0;
    c->transfer.awaiting_reply = 0;
    c->transfer.report_due = 0;
    c->history_resume = 0;
}

// A fault of the running download still to come at this page and packet:
// 1 when there is one, which is then used once.
int take_fault(VirtualConsole *c, std::uint8_t kind, std::size_t page, int packet)
{
    for (ConsoleFault &f : c->download_faults)
        if (f.kind == kind && f.times > 0 && static_cast<std::size_t>(f.page) == page &&
            f.packet == packet) {
            --f.times;
            return 1;
        }
    return 0;
}

// Packet sizes as even as possible, so that no packet is empty unless the
// whole payload is shorter than the packet count.
std::size_t packet_offset(std::size_t length, int packets, int index)
{
    const std::size_t base = length / static_cast<std::size_t>(packets);
    const std::size_t extra = length % static_cast<std::size_t>(packets);
    const std::size_t before = static_cast<std::size_t>(index - 1);
    return before * base + (before < extra ? before : extra);
}

int packets_for(std::size_t length, int minimum)
{
    const int needed = static_cast<int>((length + MAX_PAYLOAD - 1) / MAX_PAYLOAD);
    return needed < minimum ? minimum : needed;
}

void start_payload(VirtualConsole *c, std::uint8_t kind, std::uint16_t count, std::uint16_t key,
                   const void *bytes, std::size_t length, int min_packets)
{
    ConsoleTransfer &t = c->transfer;
    t.active = 1;
    t.single = SINGLE_NONE;
    t.kind = kind;
    t.count = count;
    t.key = key;
    std::memcpy(t.payload, bytes, length);
    t.length = length;
    t.packets = packets_for(length, min_packets);
    t.packet = 1;
    t.report_due = 1;
    t.awaiting_reply = 0;
    t.resends = 0;
}

void start_history_record(VirtualConsole *c, std::size_t index)
{
    const std::string &record = c->history.at(index);
    // Every record takes at least two packets: the program completes a
    // record only on a packet after the first. Keys count from 1, because
    // the program's memory of the last given-up key starts at 0.
    start_payload(c, KIND_RECORD, static_cast<std::uint16_t>(c->history.size()),
                  static_cast<std::uint16_t>(index + 1), record.data(), record.size(), 2);
    c->transfer.history = 1;
    c->transfer.history_next = index + 1;
}

void start_single(VirtualConsole *c, const std::uint8_t report[REPORT_BYTES], int how)
{
    ConsoleTransfer &t = c->transfer;
    t.active = 1;
    t.single = how;
    t.history = 0;
    std::memcpy(t.single_report, report, REPORT_BYTES);
    t.report_due = 1;
    t.awaiting_reply = 0;
    t.resends = 0;
}

void seal(std::uint8_t report[REPORT_BYTES])
{
    const std::uint16_t crc = crc16(report, 1, 62);
    report[62] = static_cast<std::uint8_t>(crc >> 8);
    report[63] = static_cast<std::uint8_t>(crc & 0xFF);
}

// Takes queued jobs until one puts something on the wire.
void start_next_job(VirtualConsole *c)
{
    while (!c->transfer.active && c->queue_size > 0) {
        const ConsoleJob &job = c->queue[c->queue_head];
        c->queue_head = (c->queue_head + 1) % CONSOLE_QUEUE_JOBS;
        --c->queue_size;
        c->transfer.history = 0;
        std::uint8_t report[REPORT_BYTES] = {};
        switch (job.type) {
        case JOB_LIVE:
            if (c->has_live)
                start_payload(c, KIND_RECORD, 0, 0, c->live, c->live_length, 2);
            break;
        case JOB_HISTORY:
            // The faults planted so far shape this download and no other.
            c->download_faults = std::move(c->faults);
            c->faults.clear();
            if (!c->history.empty()) {
                start_history_record(c, 0);
            } else {
                // The no-history marker: the program never answers it.
                report[1] = KIND_RECORD;
                report[2] = report[3] = report[4] = report[5] = 0xFF;
                seal(report);
                start_single(c, report, SINGLE_UNANSWERED);
            }
            break;
        case JOB_WU_BODY:
        case JOB_WC_BODY:
            start_payload(c, job.type == JOB_WU_BODY ? KIND_WU_BODY : KIND_WC_BODY, 0, 0,
                          job.bytes, job.length, 1);
            break;
        case JOB_STATUS:
            report[1] = KIND_STATUS;
            report[2] = job.code;
            report[3] = job.flag;
            report[6] = 0x11;
            seal(report);
            start_single(c, report, SINGLE_RESENT);
            break;
        case JOB_RAW:
            std::memcpy(report, job.bytes, job.length);
            start_single(c, report, SINGLE_ONCE);
            break;
        default:
            break;
        }
    }
}

void build_packet(const ConsoleTransfer &t, std::uint8_t report[REPORT_BYTES])
{
    std::memset(report, 0, REPORT_BYTES);
    report[1] = t.kind;
    if (t.kind == KIND_RECORD) {
        report[2] = static_cast<std::uint8_t>(t.count >> 8);
        report[3] = static_cast<std::uint8_t>(t.count & 0xFF);
        report[4] = static_cast<std::uint8_t>(t.key >> 8);
        report[5] = static_cast<std::uint8_t>(t.key & 0xFF);
    }
    report[6] = static_cast<std::uint8_t>((t.packets << 4) | t.packet);
    const std::size_t from = packet_offset(t.length, t.packets, t.packet);
    const std::size_t to = packet_offset(t.length, t.packets, t.packet + 1);
    report[7] = static_cast<std::uint8_t>(to - from);
    std::memcpy(report + 8, t.payload + from, to - from);
    seal(report);
}

// The packet on the wire is done with: on to the next packet, record or job.
void move_on(VirtualConsole *c)
{
    ConsoleTransfer &t = c->transfer;
    if (t.single) {
        end_transfer(c);
    } else if (t.packet < t.packets) {
        ++t.packet;
        t.report_due = 1;
    } else if (t.history) {
        ++c->stats.history_sent;
        const std::size_t page = t.history_next;
        if (take_fault(c, FAULT_STALL, page, 0)) {
            end_transfer(c);
        } else if (take_fault(c, FAULT_LIVE_AFTER, page, 0) && c->has_live) {
            start_payload(c, KIND_RECORD, 0, 0, c->live, c->live_length, 2);
            t.history = 0;
            c->history_resume = page + 1;
        } else if (page < c->history.size()) {
            start_history_record(c, page);
        } else {
            end_transfer(c);
        }
    } else if (c->history_resume && c->history_resume <= c->history.size()) {
        // The live record put between two pages is out: the download goes on.
        const std::size_t next = c->history_resume - 1;
        c->history_resume = 0;
        start_history_record(c, next);
    } else {
        end_transfer(c);
    }
}

void on_ack(VirtualConsole *c)
{
    ConsoleTransfer &t = c->transfer;
    t.awaiting_reply = 0;
    t.resends = 0;
    // A repeated packet goes out once more, as after a reply that got lost.
    if (!t.single && t.history && take_fault(c, FAULT_REPEAT, t.history_next, t.packet)) {
        t.report_due = 1;
        return;
    }
    move_on(c);
}

void on_nak(VirtualConsole *c)
{
    ConsoleTransfer &t = c->transfer;
    t.awaiting_reply = 0;
    if (t.single == SINGLE_ONCE) {
        end_transfer(c);
        return;
    }
    if (++t.resends > MAX_RESENDS) {
        end_transfer(c);
        return;
    }
    ++c->stats.resends;
    t.report_due = 1;
}

int job_queued(const VirtualConsole *c, std::uint8_t type)
{
    for (int i = 0; i < c->queue_size; ++i)
        if (c->queue[(c->queue_head + i) % CONSOLE_QUEUE_JOBS].type == type)
            return 1;
    return 0;
}

void check_reply_timeout(VirtualConsole *c, std::int64_t now_ms)
{
    const ConsoleTransfer &t = c->transfer;
    if (t.active && t.awaiting_reply && now_ms - t.sent_at_ms >= c->reply_timeout_ms) {
        // Silence: the program is not taking this payload. A history
        // transfer stops here; anything else is given up too.
        ++c->stats.timeouts;
        end_transfer(c);
    }
}

int set_date(VirtualConsole *c, const std::uint8_t *args, std::int64_t now_ms)
{
    CivilTime t = civil_from_seconds(console_clock(c, now_ms));
    if (args[0] > 99 || args[1] < 1 || args[1] > 12 || args[2] < 1 ||
        args[2] > days_in_month(2000 + args[0], args[1]))
        return 0;
    t.year = 2000 + args[0];
    t.month = args[1];
    t.day = args[2];
    console_set_clock(c, seconds_from_civil(t), now_ms);
    return 1;
}

int set_time(VirtualConsole *c, const std::uint8_t *args, std::int64_t now_ms)
{
    if (args[0] > 23 || args[1] > 59 || args[2] > 59)
        return 0;
    CivilTime t = civil_from_seconds(console_clock(c, now_ms));
    t.hour = args[0];
    t.minute = args[1];
    t.second = args[2];
    console_set_clock(c, seconds_from_civil(t), now_ms);
    return 1;
}

int same(const std::uint8_t *frame, const std::uint8_t *fixed)
{
    return std::memcmp(frame, fixed, FRAME_BYTES) == 0;
}

// The date and time frames carry their CRC low byte first.
int clock_frame_valid(const std::uint8_t *f)
{
    const std::uint16_t crc = crc16(f, 1, 6);
    return f[0] == 0x00 && f[1] == 0xFC && f[8] == 0xFD && f[6] == (crc & 0xFF) && f[7] == (crc >> 8);
}

// Fixed frames are taken only exactly as the program stores them.
int dispatch(VirtualConsole *c, const std::uint8_t *f, std::int64_t now_ms)
{
    if (same(f, CMD_READ_LIVE)) {
        if (!job_queued(c, JOB_LIVE))
            console_queue(c, JOB_LIVE, nullptr, 0);
        return 1;
    }
    if (same(f, CMD_READ_HISTORY)) {
        if (!job_queued(c, JOB_HISTORY) && !(c->transfer.active && c->transfer.history))
            console_queue(c, JOB_HISTORY, nullptr, 0);
        return 1;
    }
    if (same(f, CMD_STOP_TRANSFER)) {
        end_transfer(c);
        c->queue_size = 0;
        return 1;
    }
    const int ack = same(f, CMD_ACK) || same(f, CMD_PAGE_ACK);
    if (ack || same(f, CMD_NAK) || same(f, CMD_PAGE_NAK)) {
        // A reply nobody waits for (a late one after a timeout) changes nothing.
        if (c->transfer.active && c->transfer.awaiting_reply) {
            if (ack)
                on_ack(c);
            else
                on_nak(c);
        }
        return 1;
    }
    if (clock_frame_valid(f) && f[2] == CMD_SET_DATE)
        return set_date(c, f + 3, now_ms);
    if (clock_frame_valid(f) && f[2] == CMD_SET_TIME)
        return set_time(c, f + 3, now_ms);
    return 0;
}

} // namespace

void console_init(VirtualConsole *console, std::int64_t clock_seconds, std::int64_t now_ms)
{
    *console = VirtualConsole{};
    console->reply_timeout_ms = 2000;
    console_set_clock(console, clock_seconds, now_ms);
    console->clock_set = 0;
}

void console_connect(VirtualConsole *console, std::int64_t now_ms)
{
    console_disconnect(console);
    console->connected = 1;
    ++console->connections;
    console->connected_at_ms = now_ms;
}

void console_disconnect(VirtualConsole *console)
{
    console->connected = 0;
    end_transfer(console);
    console->queue_size = 0;
}

int console_feed_command(VirtualConsole *console, const std::uint8_t *frame, std::size_t length,
                         std::int64_t now_ms)
{
    check_reply_timeout(console, now_ms);
    const int ok = length == FRAME_BYTES && dispatch(console, frame, now_ms);
    if (ok)
        ++console->stats.frames_accepted;
    else
        ++console->stats.frames_rejected;
    return ok;
}

int console_next_report(VirtualConsole *console, std::int64_t now_ms,
                        std::uint8_t report[REPORT_BYTES])
{
    check_reply_timeout(console, now_ms);
    if (!console->connected)
        return 0;
    start_next_job(console);
    ConsoleTransfer &t = console->transfer;
    // A dropped packet is passed over as if it had been answered.
    while (t.active && t.report_due && t.history &&
           take_fault(console, FAULT_DROP, t.history_next, t.packet))
        move_on(console);
    if (!t.active || !t.report_due)
        return 0;
    if (t.single)
        std::memcpy(report, t.single_report, REPORT_BYTES);
    else
        build_packet(t, report);
    // Damage on the line: a garbled page key, so the CRC no longer matches.
    if (t.history && take_fault(console, FAULT_CORRUPT, t.history_next, t.packet))
        report[5] ^= 0x5A;
    if (console->corrupt_reports > 0) {
        --console->corrupt_reports;
        report[63] ^= 0xFF;
    }
    ++console->stats.reports_sent;
    t.report_due = 0;
    if (t.single == SINGLE_UNANSWERED) {
        end_transfer(console);
    } else {
        t.awaiting_reply = 1;
        t.sent_at_ms = now_ms;
    }
    return 1;
}

void console_tick(VirtualConsole *console, std::int64_t now_ms)
{
    check_reply_timeout(console, now_ms);
}

std::int64_t console_wait_ms(const VirtualConsole *console, std::int64_t now_ms)
{
    const ConsoleTransfer &t = console->transfer;
    if (!console->connected)
        return -1;
    if (t.report_due || (!t.active && console->queue_size > 0))
        return 0;
    if (t.active && t.awaiting_reply) {
        const std::int64_t left = t.sent_at_ms + console->reply_timeout_ms - now_ms;
        return left > 0 ? left : 0;
    }
    return -1;
}

int console_idle(const VirtualConsole *console)
{
    return !console->transfer.active && console->queue_size == 0;
}

int console_set_live(VirtualConsole *console, const char *text, std::size_t length)
{
    if (length > static_cast<std::size_t>(CONSOLE_MAX_PAYLOAD))
        return 0;
    std::memcpy(console->live, text, length);
    console->live[length] = 0;
    console->live_length = length;
    console->has_live = 1;
    return 1;
}

int console_add_history(VirtualConsole *console, const char *text, std::size_t length)
{
    if (length > static_cast<std::size_t>(CONSOLE_MAX_PAYLOAD) ||
        console->history.size() >= static_cast<std::size_t>(CONSOLE_MAX_HISTORY))
        return 0;
    console->history.push_back(text, length);
    return 1;
}

void console_clear_history(VirtualConsole *console)
{
    console->history.clear();
}

void console_take_history(VirtualConsole *console, HistoryMemory *records)
{
    if (console->history.empty() && records->size() <= static_cast<std::size_t>(CONSOLE_MAX_HISTORY) &&
        records->longest() <= static_cast<std::size_t>(CONSOLE_MAX_PAYLOAD)) {
        console->history = std::move(*records);
    } else {
        for (std::size_t i = 0; i < records->size(); ++i) {
            const std::string &text = records->at(i);
            console_add_history(console, text.data(), text.size());
        }
    }
    records->clear();
}

int console_add_fault(VirtualConsole *console, const ConsoleFault &fault)
{
    if (console->faults.size() >= static_cast<std::size_t>(CONSOLE_MAX_FAULTS))
        return 0;
    console->faults.push_back(fault);
    return 1;
}

int console_queue(VirtualConsole *console, std::uint8_t type, const std::uint8_t *bytes,
                  std::size_t length)
{
    const std::size_t limit = type == JOB_RAW ? REPORT_BYTES : CONSOLE_MAX_PAYLOAD;
    if (console->queue_size >= CONSOLE_QUEUE_JOBS || length > limit || (length && !bytes))
        return 0;
    ConsoleJob &job = console->queue[(console->queue_head + console->queue_size) % CONSOLE_QUEUE_JOBS];
    job.type = type;
    job.code = job.flag = 0;
    job.length = static_cast<std::uint16_t>(length);
    std::memset(job.bytes, 0, sizeof job.bytes);
    if (length)
        std::memcpy(job.bytes, bytes, length);
    ++console->queue_size;
    return 1;
}

int console_queue_status(VirtualConsole *console, std::uint8_t code, std::uint8_t flag)
{
    if (!console_queue(console, JOB_STATUS, nullptr, 0))
        return 0;
    ConsoleJob &job = console->queue[(console->queue_head + console->queue_size - 1) % CONSOLE_QUEUE_JOBS];
    job.code = code;
    job.flag = flag;
    return 1;
}

std::int64_t console_clock(const VirtualConsole *console, std::int64_t now_ms)
{
    std::int64_t elapsed = now_ms - console->clock_base_ms;
    if (elapsed < 0)
        elapsed = 0;
    return console->clock_base_seconds + elapsed / 1000;
}

void console_set_clock(VirtualConsole *console, std::int64_t clock_seconds, std::int64_t now_ms)
{
    console->clock_base_seconds = clock_seconds;
    console->clock_base_ms = now_ms;
    console->clock_set = 1;
}
