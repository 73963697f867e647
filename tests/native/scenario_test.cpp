#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "station/commands.h"
#include "station/crc.h"
#include "simulator/scenario.h"

namespace {

Scenario parse_ok(const std::string &text)
{
    Scenario s;
    char error[128];
    EXPECT_EQ(parse_scenario(text.data(), text.size(), &s, error, sizeof error), 1) << error;
    return s;
}

// A directive's TEXT; a run of history lines gives its first.
std::string text_of(const Scenario &s, std::size_t i)
{
    const ScenarioDirective &d = s.directives[i];
    return d.type == SCENARIO_HISTORY ? s.runs[d.run][0] : d.bytes;
}

} // namespace

TEST(ScenarioParse, EveryDirective)
{
    const Scenario s = parse_ok(
        "# a demo\n"
        "\n"
        "live 50 2026-12-08 14:30 21.3\n"
        "  history 50 2026-12-01 10:00 #not a comment\r\n"
        "no-history   # memory gone\n"
        "wu-body dateutc=now&tempf=50.1\n"
        "wc-body /temp/101/hum/60\n"
        "time-request\n"
        "raw 00fe 00 00 0000 21 02 41 42\n"
        "wait 1500\n"
        "unplug\n"
        "plug");
    ASSERT_EQ(s.directives.size(), 10u);
    const struct {
        std::uint8_t type;
        int line;
        std::string bytes;
    } want[] = {
        {SCENARIO_LIVE, 3, "50 2026-12-08 14:30 21.3"},
        {SCENARIO_HISTORY, 4, "50 2026-12-01 10:00 #not a comment"},
        {SCENARIO_NO_HISTORY, 5, ""},
        {SCENARIO_WU_BODY, 6, "dateutc=now&tempf=50.1"},
        {SCENARIO_WC_BODY, 7, "/temp/101/hum/60"},
        {SCENARIO_TIME_REQUEST, 8, ""},
        {SCENARIO_RAW, 9, std::string("\x00\xfe\x00\x00\x00\x00\x21\x02\x41\x42", 10)},
        {SCENARIO_WAIT, 10, ""},
        {SCENARIO_UNPLUG, 11, ""},
        {SCENARIO_PLUG, 12, ""},
    };
    for (std::size_t i = 0; i < s.directives.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s.directives[i].type, want[i].type);
        EXPECT_EQ(s.directives[i].line, want[i].line);
        EXPECT_EQ(text_of(s, i), want[i].bytes);
    }
    EXPECT_EQ(s.directives[7].wait_ms, 1500u);
}

TEST(ScenarioParse, TextIsTheRestOfTheLineByteForByte)
{
    const Scenario s = parse_ok("live  leading space\nhistory trailing space \nwu-body a#b\n");
    EXPECT_EQ(text_of(s, 0), " leading space");
    EXPECT_EQ(text_of(s, 1), "trailing space ");
    EXPECT_EQ(text_of(s, 2), "a#b");
    const std::string longest(CONSOLE_MAX_PAYLOAD, 'x');
    EXPECT_EQ(text_of(parse_ok("history " + longest), 0), longest);
}

TEST(ScenarioParse, MalformedLinesAreNamedByNumber)
{
    const char *FAULT_ERROR = "line 1: fault needs drop PAGE PACKET, corrupt PAGE PACKET N, repeat PAGE PACKET, live-after PAGE or stall PAGE";
    const struct {
        const char *name;
        std::string text;
        const char *error;
    } cases[] = {
        {"unknown", "live a\nbogus 1\n", "line 2: unknown directive \"bogus\""},
        {"case matters", "LIVE a", "line 1: unknown directive \"LIVE\""},
        {"live without text", "# c\n# c\n\nlive\n", "line 4: the directive needs a text after one space"},
        {"live with only a space", "live \n", "line 1: the directive needs a text after one space"},
        {"tab instead of space", "history\tx\n", "line 1: the directive needs a text after one space"},
        {"text too long", "live " + std::string(CONSOLE_MAX_PAYLOAD + 1, 'x'), "line 1: text longer than 810 bytes"},
        {"wait without number", "wait\n", "line 1: wait needs a number of milliseconds from 0 to 3600000"},
        {"wait negative", "wait -5", "line 1: wait needs a number of milliseconds from 0 to 3600000"},
        {"wait with unit", "wait 12ms", "line 1: wait needs a number of milliseconds from 0 to 3600000"},
        {"wait over an hour", "wait 3600001", "line 1: wait needs a number of milliseconds from 0 to 3600000"},
        {"raw empty", "raw\n", "line 1: raw needs 1 to 65 hex bytes"},
        {"raw odd digits", "raw FE0", "line 1: raw needs 1 to 65 hex bytes"},
        {"raw split byte", "raw F E", "line 1: raw needs 1 to 65 hex bytes"},
        {"raw not hex", "raw FG", "line 1: raw needs 1 to 65 hex bytes"},
        {"raw 66 bytes", "raw " + std::string(132, '0'), "line 1: raw needs 1 to 65 hex bytes"},
        {"argument where none belongs", "time-request now", "line 1: the directive takes no argument"},
        {"plug while plugged", "plug", "line 1: plug while the console is plugged in"},
        {"unplug twice", "unplug\nwait 5\nunplug", "line 3: unplug while the console is already unplugged"},
        {"fault without kind", "fault", FAULT_ERROR},
        {"fault of unknown kind", "fault lose 1 1", FAULT_ERROR},
        {"fault drop without packet", "fault drop 1", FAULT_ERROR},
        {"fault on page 0", "fault drop 0 1", FAULT_ERROR},
        {"fault on packet 16", "fault repeat 1 16", FAULT_ERROR},
        {"fault corrupt without count", "fault corrupt 1 2", FAULT_ERROR},
        {"fault corrupt 0 times", "fault corrupt 1 2 0", FAULT_ERROR},
        {"fault stall with a packet", "fault stall 1 2", FAULT_ERROR},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Scenario s;
        s.directives.resize(3);
        char error[128];
        EXPECT_EQ(parse_scenario(c.text.data(), c.text.size(), &s, error, sizeof error), 0);
        EXPECT_STREQ(error, c.error);
        EXPECT_TRUE(s.directives.size() < 3);
    }
}

TEST(ScenarioParse, ErrorTextFitsASmallBuffer)
{
    Scenario s;
    char error[10];
    std::memset(error, 'x', sizeof error);
    EXPECT_EQ(parse_scenario("bogus", 5, &s, error, 8), 0);
    EXPECT_STREQ(error, "line 1:");
    EXPECT_EQ(error[8], 'x');
}

TEST(ScenarioParse, HexAndCountLimitsAcceptTheirLargestValues)
{
    EXPECT_EQ(parse_ok("raw " + std::string(130, 'f')).directives[0].bytes.size(), 65u);
    EXPECT_EQ(parse_ok("wait 3600000").directives[0].wait_ms, 3600000u);
    const ConsoleFault f = parse_ok("fault corrupt 65534 15 999").directives[0].fault;
    EXPECT_EQ(f.kind, FAULT_CORRUPT);
    EXPECT_EQ(f.page, 65534);
    EXPECT_EQ(f.packet, 15);
    EXPECT_EQ(f.times, 999);
    std::string faults;
    for (int i = 0; i < CONSOLE_MAX_FAULTS; ++i)
        faults += "fault stall 1\n";
    EXPECT_EQ(parse_ok(faults).directives.size(), 256u);
    faults += "fault stall 1\n";
    Scenario refused;
    char message[128];
    EXPECT_EQ(parse_scenario(faults.data(), faults.size(), &refused, message, sizeof message), 0);
    EXPECT_STREQ(message, "line 257: more than 256 fault lines");
    std::string many;
    for (int i = 0; i < CONSOLE_MAX_HISTORY; ++i)
        many += "history x\n";
    Scenario s;
    char error[128];
    EXPECT_EQ(parse_scenario(many.data(), many.size(), &s, error, sizeof error), 1);
    many += "history one too many\n";
    EXPECT_EQ(parse_scenario(many.data(), many.size(), &s, error, sizeof error), 0);
    EXPECT_STREQ(error, "line 65535: more than 65534 history records");
    many += "no-history\nhistory fine again\n";
    // Emptying the memory starts the count again only after the overflow line.
    EXPECT_EQ(parse_scenario(many.data(), many.size(), &s, error, sizeof error), 0);
}

// ---- replay ------------------------------------------------------------

namespace {

struct Replay {
    Scenario scenario;
    ScenarioRun run;
    VirtualConsole console;
    std::int64_t now = 0;
    std::vector<int> actions;

    explicit Replay(const std::string &text) : scenario(parse_ok(text))
    {
        console_init(&console, 0, now);
        scenario_start(&scenario, &run, &console);
    }
    void step()
    {
        const ScenarioAction a = scenario_step(&scenario, &run, &console, now);
        if (a == SCENARIO_ACT_UNPLUG) {
            actions.push_back(a);
            console_disconnect(&console);
        } else if (a == SCENARIO_ACT_PLUG) {
            actions.push_back(a);
        }
    }
    // One report out, if any, and its kind; the program acks it when ack.
    int exchange(bool ack)
    {
        std::uint8_t r[REPORT_BYTES];
        if (!console_next_report(&console, now, r))
            return 0;
        if (ack)
            console_feed_command(&console, r[1] == 0xFE ? CMD_PAGE_ACK : CMD_ACK, 9, now);
        return r[1];
    }
    std::string live() const { return std::string(console.live, console.live_length); }
};

} // namespace

TEST(ScenarioReplay, FirstLiveRecordGreetsTheProgramEvenAfterAPause)
{
    Replay r("wait 5000\nlive first\nwait 100\nlive second\n");
    r.step();
    EXPECT_EQ(r.live(), "first");
    console_connect(&r.console, r.now);
    console_feed_command(&r.console, CMD_READ_LIVE, 9, r.now);
    EXPECT_EQ(r.exchange(true), 0xFE);
    r.now = 5000;
    r.step();
    EXPECT_EQ(r.live(), "first");
    r.now = 5100;
    r.step();
    EXPECT_EQ(r.live(), "second");
    EXPECT_TRUE(scenario_done(&r.scenario, &r.run));
}

TEST(ScenarioReplay, MemoryIsBuiltInFileOrder)
{
    const struct {
        const char *text;
        std::vector<std::string> memory;
    } cases[] = {
        {"history a\nhistory b\nno-history\nhistory c\nhistory d\n", {"c", "d"}},
        // A second run of lines joins the memory the first one left.
        {"history a\nwait 0\nhistory b\nhistory c\n", {"a", "b", "c"}},
        {"history a\nno-history\nwait 0\nhistory b\n", {"b"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        Replay r(c.text);
        r.step();
        std::vector<std::string> memory;
        for (std::size_t i = 0; i < r.console.history.size(); ++i)
            memory.push_back(r.console.history[i]);
        EXPECT_EQ(memory, c.memory);
    }
}

TEST(ScenarioReplay, ReportsWaitForTheProgramAndForEachOthersAnswer)
{
    Replay r("wu-body one\nwc-body two\ntime-request\nraw 00 AA\nwait 1000\nwu-body last\n");
    r.step();
    EXPECT_EQ(r.exchange(true), 0) << "nothing goes out before the program connects";
    EXPECT_EQ(scenario_wait_ms(&r.scenario, &r.run, &r.console, r.now), -1);
    console_connect(&r.console, r.now);
    r.step();
    EXPECT_EQ(r.exchange(false), 0xFB);
    r.step();
    EXPECT_EQ(r.exchange(true), 0) << "the next directive waits for the answer";
    console_feed_command(&r.console, CMD_ACK, 9, r.now);
    const int expected[] = {0xF1, 0xFA, 0xAA};
    for (int kind : expected) {
        r.step();
        EXPECT_EQ(r.exchange(true), kind);
    }
    r.step();
    EXPECT_EQ(scenario_wait_ms(&r.scenario, &r.run, &r.console, r.now), 1000);
    r.now += 999;
    r.step();
    EXPECT_EQ(r.exchange(true), 0);
    r.now += 1;
    r.step();
    EXPECT_EQ(r.exchange(true), 0xFB);
    r.step();
    EXPECT_TRUE(scenario_done(&r.scenario, &r.run));
}

TEST(ScenarioReplay, AnUnansweredReportDoesNotStopTheScenario)
{
    Replay r("time-request\nwc-body after\n");
    console_connect(&r.console, r.now);
    r.step();
    EXPECT_EQ(r.exchange(false), 0xFA);
    r.now += r.console.reply_timeout_ms;
    r.step();
    EXPECT_EQ(r.exchange(true), 0xF1);
}

TEST(ScenarioReplay, UnplugAndPlugComeBackAsActionsInOrder)
{
    Replay r("live x\nunplug\nwait 200\nplug\nhistory y\n");
    console_connect(&r.console, r.now);
    r.step();
    EXPECT_EQ(r.actions, (std::vector<int>{SCENARIO_ACT_UNPLUG}));
    EXPECT_FALSE(r.console.connected);
    r.step();
    r.now = 199;
    r.step();
    EXPECT_EQ(r.actions.size(), 1u);
    r.now = 200;
    r.step();
    r.step();
    EXPECT_EQ(r.actions, (std::vector<int>{SCENARIO_ACT_UNPLUG, SCENARIO_ACT_PLUG}));
    EXPECT_EQ(r.console.history.size(), 1u);
    EXPECT_TRUE(scenario_done(&r.scenario, &r.run));
}

TEST(ScenarioReplay, FaultsShapeTheNextHistoryDownloadOnly)
{
    Replay r("history " + std::string(150, 'a') + "\nhistory " + std::string(150, 'b') +
             "\nfault drop 1 2   # the middle packet\nfault corrupt 2 1 2\nfault live-after 1\n"
             "live now\n");
    console_connect(&r.console, r.now);
    r.step();
    // Reports of one download as count/key/index, the program rejecting the
    // damaged ones (their key garbled).
    auto download = [&r] {
        std::vector<std::string> seen;
        console_feed_command(&r.console, CMD_READ_HISTORY, 9, r.now);
        std::uint8_t b[REPORT_BYTES];
        while (console_next_report(&r.console, r.now, b)) {
            const std::uint16_t crc = crc16(b, 1, 62);
            const int good = b[62] == (crc >> 8) && b[63] == (crc & 0xFF);
            seen.push_back(std::to_string(b[3]) + "/" + std::to_string(b[5]) + "/" +
                           std::to_string(b[6] & 0x0F) + (good ? "" : " bad"));
            console_feed_command(&r.console, good ? CMD_PAGE_ACK : CMD_PAGE_NAK, 9, r.now);
        }
        return seen;
    };
    EXPECT_EQ(download(), (std::vector<std::string>{"2/1/1", "2/1/3", "0/0/1", "0/0/2", "2/88/1 bad",
                                                    "2/88/1 bad", "2/2/1", "2/2/2", "2/2/3"}));
    EXPECT_EQ(download(), (std::vector<std::string>{"2/1/1", "2/1/2", "2/1/3", "2/2/1", "2/2/2", "2/2/3"}));
}
