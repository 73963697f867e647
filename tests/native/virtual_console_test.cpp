#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "station/commands.h"
#include "station/crc.h"
#include "simulator/virtual_console.h"

namespace {

using Frame = std::vector<std::uint8_t>;

// Frames as the program writes them: fixed frames high CRC byte first,
// date and time frames low byte first.
Frame frame(std::uint8_t code, std::uint8_t a = 0, std::uint8_t b = 0, std::uint8_t c = 0)
{
    Frame f = {0x00, 0xFC, code, a, b, c, 0, 0, 0xFD};
    const std::uint16_t crc = crc16(f.data(), 1, 6);
    const bool low_first = code == 0x08 || code == 0x09;
    f[6] = static_cast<std::uint8_t>(low_first ? crc & 0xFF : crc >> 8);
    f[7] = static_cast<std::uint8_t>(low_first ? crc >> 8 : crc & 0xFF);
    return f;
}

Frame fixed(const std::uint8_t *f)
{
    return Frame(f, f + FRAME_BYTES);
}

const Frame READ_LIVE = fixed(CMD_READ_LIVE);
const Frame READ_HISTORY = fixed(CMD_READ_HISTORY);
const Frame STOP_TRANSFER = fixed(CMD_STOP_TRANSFER);
const Frame ACK = fixed(CMD_ACK);
const Frame NAK = fixed(CMD_NAK);
const Frame PAGE_ACK = fixed(CMD_PAGE_ACK);
const Frame PAGE_NAK = fixed(CMD_PAGE_NAK);

struct Report {
    std::uint8_t b[REPORT_BYTES];
    int kind() const { return b[1]; }
    int count() const { return b[2] << 8 | b[3]; }
    int key() const { return b[4] << 8 | b[5]; }
    int packets() const { return b[6] >> 4; }
    int index() const { return b[6] & 0x0F; }
    std::string payload() const { return std::string(reinterpret_cast<const char *>(b + 8), b[7]); }
    bool crc_ok() const
    {
        const std::uint16_t crc = crc16(b, 1, 62);
        return b[62] == (crc >> 8) && b[63] == (crc & 0xFF);
    }
};

struct Link {
    VirtualConsole console;
    std::int64_t now = 1000;

    Link()
    {
        console_init(&console, seconds_from_civil({2026, 12, 8, 14, 30, 0}), now);
        console_connect(&console, now);
    }
    int feed(const Frame &f) { return console_feed_command(&console, f.data(), f.size(), now); }
    bool next(Report *r) { return console_next_report(&console, now, r->b) == 1; }
    // Plays a well-behaved program: acks every report and reassembles
    // payloads; returns the reports seen.
    std::vector<Report> drain(std::vector<std::string> *payloads)
    {
        std::vector<Report> seen;
        std::string assembling;
        bool started = false;  // a payload counts only from its first packet
        Report r;
        while (next(&r)) {
            seen.push_back(r);
            if (r.index() == 1) {
                assembling.clear();
                started = true;
            }
            assembling += r.payload();
            if (r.index() == r.packets() && started && payloads)
                payloads->push_back(assembling);
            feed(r.kind() == 0xFE ? PAGE_ACK : ACK);
            now += 1;
        }
        return seen;
    }
};

std::string text_of_length(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += static_cast<char>('a' + i % 26);
    return s;
}

} // namespace

TEST(VirtualConsoleFraming, RecordsSplitIntoValidPacketsOfAtLeastTwo)
{
    struct Case {
        const char *name;
        std::size_t length;
        int packets;
    } cases[] = {
        {"empty", 0, 2},      {"one byte", 1, 2},  {"one packet's worth", 54, 2},
        {"typical", 200, 4},  {"just over", 109, 3}, {"largest", 810, 15},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        const std::string text = text_of_length(c.length);
        ASSERT_EQ(console_set_live(&link.console, text.data(), text.size()), 1);
        ASSERT_EQ(link.feed(READ_LIVE), 1);
        std::vector<std::string> payloads;
        const std::vector<Report> seen = link.drain(&payloads);
        ASSERT_EQ(static_cast<int>(seen.size()), c.packets);
        for (int i = 0; i < c.packets; ++i) {
            EXPECT_TRUE(seen[i].crc_ok()) << "packet " << i + 1;
            EXPECT_EQ(seen[i].kind(), 0xFE);
            EXPECT_EQ(seen[i].count(), 0);
            EXPECT_EQ(seen[i].packets(), c.packets);
            EXPECT_EQ(seen[i].index(), i + 1);
            EXPECT_LE(seen[i].b[7], MAX_PAYLOAD);
            EXPECT_EQ(seen[i].b[0], 0);
            EXPECT_EQ(seen[i].b[64], 0);
        }
        ASSERT_EQ(payloads.size(), 1u);
        EXPECT_EQ(payloads[0], text);
    }
}

TEST(VirtualConsoleFraming, RecordLongerThanFifteenPacketsIsRefused)
{
    Link link;
    const std::string text = text_of_length(CONSOLE_MAX_PAYLOAD + 1);
    EXPECT_EQ(console_set_live(&link.console, text.data(), text.size()), 0);
    EXPECT_EQ(console_add_history(&link.console, text.data(), text.size()), 0);
    EXPECT_EQ(link.console.has_live, 0);
}

TEST(VirtualConsoleFraming, BodiesMayBeOnePacketAndCarryTheirKind)
{
    struct Case {
        std::uint8_t type;
        int kind;
        std::size_t length;
        int packets;
    } cases[] = {{JOB_WU_BODY, 0xFB, 40, 1}, {JOB_WC_BODY, 0xF1, 40, 1},
                 {JOB_WU_BODY, 0xFB, 250, 5}, {JOB_WC_BODY, 0xF1, 0, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " length " << c.length);
        Link link;
        const std::string body = text_of_length(c.length);
        ASSERT_EQ(console_queue(&link.console, c.type,
                                reinterpret_cast<const std::uint8_t *>(body.data()), body.size()),
                  1);
        std::vector<std::string> payloads;
        const std::vector<Report> seen = link.drain(&payloads);
        ASSERT_EQ(static_cast<int>(seen.size()), c.packets);
        for (const Report &r : seen) {
            EXPECT_EQ(r.kind(), c.kind);
            EXPECT_TRUE(r.crc_ok());
            EXPECT_EQ(r.count(), 0);
        }
        ASSERT_EQ(payloads.size(), 1u);
        EXPECT_EQ(payloads[0], body);
    }
}

TEST(VirtualConsoleFraming, FaultInjectionCorruptsOnlyTheNextReports)
{
    Link link;
    console_set_live(&link.console, "abc def", 7);
    link.console.corrupt_reports = 2;
    link.feed(READ_LIVE);
    Report r;
    ASSERT_TRUE(link.next(&r));
    EXPECT_FALSE(r.crc_ok());
    link.feed(PAGE_NAK);
    ASSERT_TRUE(link.next(&r));
    EXPECT_FALSE(r.crc_ok());
    EXPECT_EQ(r.index(), 1);
    link.feed(PAGE_NAK);
    ASSERT_TRUE(link.next(&r));
    EXPECT_TRUE(r.crc_ok());
    EXPECT_EQ(r.index(), 1);
}

TEST(VirtualConsoleCommands, FramesAreCheckedBeforeTheyAct)
{
    struct Case {
        const char *name;
        Frame f;
    } cases[] = {
        {"bad CRC", {0x00, 0xFC, 0x03, 0x00, 0x00, 0x00, 0x2F, 0xA2, 0xFD}},
        {"CRC bytes swapped", {0x00, 0xFC, 0x03, 0x00, 0x00, 0x00, 0xA1, 0x2F, 0xFD}},
        {"bad start marker", {0x00, 0xFB, 0x03, 0x00, 0x00, 0x00, 0x2F, 0xA1, 0xFD}},
        {"bad end marker", {0x00, 0xFC, 0x03, 0x00, 0x00, 0x00, 0x2F, 0xA1, 0xFE}},
        {"bad report id", {0x01, 0xFC, 0x03, 0x00, 0x00, 0x00, 0x2F, 0xA1, 0xFD}},
        {"short", {0x00, 0xFC, 0x03, 0x00, 0x00, 0x00, 0x2F, 0xA1}},
        {"unknown code", frame(0x42)},
        {"read live with an argument", frame(0x03, 1)},
        {"reply with a bad argument", frame(0xD4, 3)},
        {"date frame high byte first", [] {
             Frame f = frame(0x08, 26, 3, 7);
             std::swap(f[6], f[7]);
             return f;
         }()},
        {"month 13", frame(0x08, 26, 13, 1)},
        {"30 February", frame(0x08, 26, 2, 30)},
        {"hour 24", frame(0x09, 24, 0, 0)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        console_set_live(&link.console, "x y", 3);
        const std::int64_t clock_before = console_clock(&link.console, link.now);
        EXPECT_EQ(link.feed(c.f), 0);
        Report r;
        EXPECT_FALSE(link.next(&r));
        EXPECT_EQ(console_clock(&link.console, link.now), clock_before);
        EXPECT_EQ(link.console.stats.frames_rejected, 1u);
    }
}

TEST(VirtualConsoleCommands, DateAndTimeFramesSetTheClock)
{
    Link link;
    // The frames exactly as the program builds them.
    const LocalTime pc = {2026, 3, 7, 23, 59, 58};
    Frame date(FRAME_BYTES), time(FRAME_BYTES);
    build_date_frame(pc, date.data());
    build_time_frame(pc, time.data());
    ASSERT_EQ(link.feed(date), 1);
    ASSERT_EQ(link.feed(time), 1);
    EXPECT_EQ(console_clock(&link.console, link.now), seconds_from_civil({2026, 3, 7, 23, 59, 58}));
    // The clock runs on from there, across midnight.
    link.now += 3000;
    const CivilTime t = civil_from_seconds(console_clock(&link.console, link.now));
    EXPECT_EQ(t.day, 8);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.second, 1);
    // Year 2000 is a leap year: 29 February 00 is a date.
    EXPECT_EQ(link.feed(frame(0x08, 0, 2, 29)), 1);
    EXPECT_EQ(civil_from_seconds(console_clock(&link.console, link.now)).year, 2000);
}

TEST(VirtualConsoleCommands, StopTransferDropsTheTransferAndTheQueue)
{
    Link link;
    const std::string text = text_of_length(200);
    console_set_live(&link.console, text.data(), text.size());
    link.feed(READ_LIVE);
    console_queue_status(&link.console, 3, 0);
    Report r;
    ASSERT_TRUE(link.next(&r));
    EXPECT_EQ(link.feed(STOP_TRANSFER), 1);
    link.feed(PAGE_ACK);  // a late reply must not revive anything
    EXPECT_FALSE(link.next(&r));
    EXPECT_TRUE(console_idle(&link.console));
}

TEST(VirtualConsoleReplies, AckMovesOnNakResendsSilenceGivesUp)
{
    Link link;
    const std::string text = text_of_length(120);  // three packets
    console_set_live(&link.console, text.data(), text.size());
    link.feed(READ_LIVE);
    Report first, again, second;
    ASSERT_TRUE(link.next(&first));
    Report none;
    EXPECT_FALSE(link.next(&none)) << "a second report before the reply";
    link.feed(NAK);
    ASSERT_TRUE(link.next(&again));
    EXPECT_EQ(std::memcmp(first.b, again.b, REPORT_BYTES), 0) << "a reject resends the same report";
    link.feed(ACK);
    ASSERT_TRUE(link.next(&second));
    EXPECT_EQ(second.index(), 2);
    // No reply: just before the timeout nothing happens, at it the
    // payload is given up.
    link.now += link.console.reply_timeout_ms - 1;
    EXPECT_FALSE(link.next(&none));
    EXPECT_EQ(console_wait_ms(&link.console, link.now), 1);
    link.now += 1;
    EXPECT_FALSE(link.next(&none));
    EXPECT_TRUE(console_idle(&link.console));
    EXPECT_EQ(link.console.stats.timeouts, 1u);
}

TEST(VirtualConsoleReplies, EndlessRejectsDoNotHoldTheConsole)
{
    Link link;
    console_set_live(&link.console, "a b", 3);
    link.feed(READ_LIVE);
    Report r;
    int sent = 0;
    while (link.next(&r) && sent < 1000) {
        ++sent;
        link.feed(PAGE_NAK);
    }
    EXPECT_LT(sent, 1000);
    EXPECT_TRUE(console_idle(&link.console));
}

TEST(VirtualConsoleHistory, WholeMemoryWithCountAndKeys)
{
    Link link;
    const std::vector<std::string> records = {"r0 2026-12-01 10:00", text_of_length(130), "r2"};
    for (const std::string &s : records)
        ASSERT_EQ(console_add_history(&link.console, s.data(), s.size()), 1);
    ASSERT_EQ(link.feed(READ_HISTORY), 1);
    std::vector<std::string> payloads;
    const std::vector<Report> seen = link.drain(&payloads);
    EXPECT_EQ(payloads, records);
    std::vector<int> keys;
    for (const Report &r : seen) {
        EXPECT_EQ(r.count(), 3);
        EXPECT_GE(r.packets(), 2);
        if (r.index() == 1)
            keys.push_back(r.key());
    }
    EXPECT_EQ(keys, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(link.console.stats.history_sent, 3u);
}

TEST(VirtualConsoleHistory, EmptyMemoryAnswersWithTheMarkerAndExpectsNoReply)
{
    Link link;
    link.feed(READ_HISTORY);
    Report r;
    ASSERT_TRUE(link.next(&r));
    EXPECT_EQ(r.kind(), 0xFE);
    EXPECT_EQ(r.b[2] & r.b[3] & r.b[4] & r.b[5], 0xFF);
    EXPECT_TRUE(r.crc_ok());
    EXPECT_TRUE(console_idle(&link.console));
}

TEST(VirtualConsoleHistory, SilenceStopsTheTransfer)
{
    Link link;
    for (int i = 0; i < 5; ++i)
        console_add_history(&link.console, "a b c", 5);
    console_set_live(&link.console, "live", 4);
    link.feed(READ_HISTORY);
    Report r;
    ASSERT_TRUE(link.next(&r));
    link.feed(PAGE_ACK);
    ASSERT_TRUE(link.next(&r));
    link.feed(PAGE_ACK);  // first record done
    ASSERT_TRUE(link.next(&r));
    EXPECT_EQ(r.key(), 2);
    link.now += link.console.reply_timeout_ms;  // the program ignores pages now
    EXPECT_FALSE(link.next(&r));
    EXPECT_TRUE(console_idle(&link.console));
    // The console still answers a live request afterwards.
    link.feed(READ_LIVE);
    ASSERT_TRUE(link.next(&r));
    EXPECT_EQ(r.count(), 0);
}

TEST(VirtualConsoleHistory, LiveRequestDuringADownloadWaitsForItsEnd)
{
    Link link;
    console_add_history(&link.console, "h0", 2);
    console_add_history(&link.console, "h1", 2);
    console_set_live(&link.console, "live now", 8);
    link.feed(READ_HISTORY);
    Report r;
    ASSERT_TRUE(link.next(&r));
    link.feed(READ_LIVE);
    link.feed(READ_HISTORY);  // repeated request while running: no second download
    link.feed(PAGE_ACK);
    std::vector<std::string> payloads;
    link.drain(&payloads);
    EXPECT_EQ(payloads, (std::vector<std::string>{"h1", "live now"}));
}

TEST(VirtualConsoleLink, DisconnectDropsEverythingAndNothingIsSentWhileAway)
{
    Link link;
    console_set_live(&link.console, "a b", 3);
    link.feed(READ_LIVE);
    console_disconnect(&link.console);
    Report r;
    EXPECT_FALSE(link.next(&r));
    EXPECT_TRUE(console_idle(&link.console));
    console_queue_status(&link.console, 3, 0);
    EXPECT_FALSE(link.next(&r));
    console_connect(&link.console, link.now);
    EXPECT_TRUE(console_idle(&link.console));
    EXPECT_EQ(link.console.connections, 2u);
}

TEST(VirtualConsoleLink, StatusAndRawReports)
{
    Link link;
    ASSERT_EQ(console_queue_status(&link.console, 3, 1), 1);
    Report r;
    ASSERT_TRUE(link.next(&r));
    EXPECT_EQ(r.kind(), 0xFA);
    EXPECT_EQ(r.b[2], 3);
    EXPECT_EQ(r.b[3], 1);
    EXPECT_TRUE(r.crc_ok());
    link.feed(NAK);
    ASSERT_TRUE(link.next(&r)) << "a rejected status report is sent again";
    link.feed(ACK);

    // A raw report goes out byte for byte, once, even when rejected.
    const std::uint8_t raw[] = {0x00, 0xFE, 0x00, 0x00, 0x00, 0x00, 0x21, 0x02, 'h', 'i', 0x12, 0x34};
    ASSERT_EQ(console_queue(&link.console, JOB_RAW, raw, sizeof raw), 1);
    ASSERT_TRUE(link.next(&r));
    EXPECT_EQ(std::memcmp(r.b, raw, sizeof raw), 0);
    for (std::size_t i = sizeof raw; i < REPORT_BYTES; ++i)
        EXPECT_EQ(r.b[i], 0) << "byte " << i;
    link.feed(PAGE_NAK);
    EXPECT_FALSE(link.next(&r));
    EXPECT_TRUE(console_idle(&link.console));

    std::uint8_t too_long[REPORT_BYTES + 1] = {};
    EXPECT_EQ(console_queue(&link.console, JOB_RAW, too_long, sizeof too_long), 0);
}

TEST(VirtualConsoleLink, QueueRefusesWhenFull)
{
    Link link;
    int accepted = 0;
    for (int i = 0; i < CONSOLE_QUEUE_JOBS + 3; ++i)
        accepted += console_queue_status(&link.console, 3, 0);
    EXPECT_EQ(accepted, CONSOLE_QUEUE_JOBS);
}

TEST(ConsoleCalendar, RoundTripsAcrossLeapYearsAndTheEpoch)
{
    const CivilTime cases[] = {{1970, 1, 1, 0, 0, 0},  {2000, 2, 29, 12, 0, 0},
                               {2026, 12, 31, 23, 59, 59}, {2099, 1, 1, 0, 0, 1},
                               {1969, 12, 31, 23, 59, 59}};
    for (const CivilTime &c : cases) {
        const CivilTime back = civil_from_seconds(seconds_from_civil(c));
        EXPECT_TRUE(back.year == c.year && back.month == c.month && back.day == c.day &&
                    back.hour == c.hour && back.minute == c.minute && back.second == c.second)
            << c.year << "-" << c.month << "-" << c.day;
    }
    EXPECT_EQ(seconds_from_civil({1970, 1, 2, 0, 0, 0}), 86400);
}

// A program that rejects every damaged report: a corrupt packet is resent
// after each reject, up to thirty times, its count starting again at each
// packet.
TEST(VirtualConsoleFaults, CorruptPacketsAreResentUpToThirtyTimesEach)
{
    const struct {
        const char *name;
        std::vector<ConsoleFault> faults;
        int delivered;  // the record arrives whole
        int sent;       // reports the console sent
    } rows[] = {
        {"30 damaged sends", {{FAULT_CORRUPT, 1, 2, 30}}, 1, 3 + 30},
        {"31 damaged sends: given up", {{FAULT_CORRUPT, 1, 2, 31}}, 0, 1 + 31},
        {"20 on each of two packets", {{FAULT_CORRUPT, 1, 1, 20}, {FAULT_CORRUPT, 1, 3, 20}}, 1, 3 + 40},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        Link link;
        const std::string text = text_of_length(120);  // three packets
        console_add_history(&link.console, text.data(), text.size());
        for (const ConsoleFault &f : row.faults)
            console_add_fault(&link.console, f);
        link.feed(READ_HISTORY);
        std::string assembled;
        int sent = 0, delivered = 0;
        Report r;
        while (link.next(&r) && sent < 1000) {
            ++sent;
            if (!r.crc_ok()) {
                link.feed(PAGE_NAK);
                continue;
            }
            assembled = r.index() == 1 ? r.payload() : assembled + r.payload();
            delivered = r.index() == r.packets() && assembled == text;
            link.feed(PAGE_ACK);
        }
        EXPECT_EQ(delivered, row.delivered);
        EXPECT_EQ(sent, row.sent);
        EXPECT_TRUE(console_idle(&link.console));
    }
}
