// The simulated console against the program's own report handler: what
// one sends the other must take, reply for reply.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "station/messages.h"
#include "station/report_handler.h"
#include "simulator/scenario.h"
#include "simulator/virtual_console.h"
#include "simulator/weather_model.h"

namespace {

struct Program {
    ReaderState reader = {};
    LinkCounters counters = {};
    LinkFlags flags;
    std::unique_ptr<HistoryStore> store = std::make_unique<HistoryStore>();
    char16_t file_name[8] = u"x.csv";
    std::vector<unsigned> messages;
    std::vector<std::string> live_records, wu_bodies, wc_bodies;
};

struct Session {
    VirtualConsole console;
    Program program;
    std::int64_t now = 0;

    Session() { console_init(&console, seconds_from_civil({2026, 12, 8, 9, 0, 0}), now); console_connect(&console, now); }

    void command(const std::uint8_t *frame) { console_feed_command(&console, frame, FRAME_BYTES, now); }

    // Moves reports and replies until the console waits for nothing, or
    // until `reports` reports have been handled.
    void run(int reports = -1)
    {
        const LinkContext link = {&program.counters, &program.flags, program.store.get(),
                                  program.file_name};
        std::uint8_t report[REPORT_BYTES];
        for (int guard = 0; guard < 2000000; ++guard) {
            if (reports-- == 0)
                return;
            if (!console_next_report(&console, now, report)) {
                if (console_idle(&console))
                    return;
                now += console_wait_ms(&console, now);  // silence: let the console time out
                continue;
            }
            ReportAction action;
            handle_report(report, program.reader, link, action);
            for (int i = 0; i < action.count; ++i) {
                const LinkStep &s = action.step[i];
                if (s.frame) {
                    command(s.frame);
                    continue;
                }
                program.messages.push_back(s.message);
                const char *text = reinterpret_cast<const char *>(s.lparam);
                if (s.message == UM_LIVE_RECORD)
                    program.live_records.emplace_back(text);
                if (s.message == UM_WU_BODY)
                    program.wu_bodies.emplace_back(text);
                if (s.message == UM_WC_BODY)
                    program.wc_bodies.emplace_back(text);
            }
            ++now;
        }
        FAIL() << "the exchange never settled";
    }
    int count(unsigned message) const
    {
        int n = 0;
        for (unsigned m : program.messages)
            n += m == message;
        return n;
    }
};

} // namespace

TEST(ConsoleWithReportHandler, LiveRecordAndBodiesArriveWhole)
{
    Session s;
    WeatherReading w;
    weather_at(4, console_clock(&s.console, s.now), &w);
    char record[CONSOLE_MAX_PAYLOAD + 1], wu[CONSOLE_MAX_PAYLOAD + 1], wc[CONSOLE_MAX_PAYLOAD + 1];
    const std::size_t n = format_station_record(w, 30, 0, record, sizeof record);
    const std::size_t nu = format_wu_body(w, wu, sizeof wu);
    const std::size_t nc = format_wc_body(w, wc, sizeof wc);
    console_set_live(&s.console, record, n);
    s.command(CMD_STOP_TRANSFER);
    s.command(CMD_READ_LIVE);
    console_queue(&s.console, JOB_WU_BODY, reinterpret_cast<const std::uint8_t *>(wu), nu);
    console_queue(&s.console, JOB_WC_BODY, reinterpret_cast<const std::uint8_t *>(wc), nc);
    console_queue_status(&s.console, 3, 0);
    s.run();
    ASSERT_EQ(s.program.live_records.size(), 1u);
    EXPECT_EQ(s.program.live_records[0], std::string(record, n));
    ASSERT_EQ(s.program.wu_bodies.size(), 1u);
    EXPECT_EQ(s.program.wu_bodies[0], std::string(wu, nu));
    ASSERT_EQ(s.program.wc_bodies.size(), 1u);
    EXPECT_EQ(s.program.wc_bodies[0], std::string(wc, nc));
    EXPECT_EQ(s.count(UM_TIME_SYNC), 1);
    EXPECT_EQ(s.console.stats.timeouts, 0u);
}

TEST(ConsoleWithReportHandler, WholeHistoryIsStoredInOrderDespiteBadReports)
{
    for (int corrupt : {0, 3, 9, 10, 19}) {
        SCOPED_TRACE(testing::Message() << corrupt << " corrupted reports");
        Session s;
        DemoConsole demo;
        demo_start(&demo, &s.console, 8, 7, s.now);
        const std::size_t records = s.console.history.size();
        ASSERT_EQ(records, 7u * 48u);
        s.console.corrupt_reports = corrupt;
        s.command(CMD_READ_HISTORY);
        s.run();
        EXPECT_EQ(s.count(UM_HISTORY_START), 1);
        EXPECT_EQ(s.count(UM_HISTORY_COMPLETE), 1);
        EXPECT_EQ(s.program.flags.history_complete.load(), 1);
        // Up to nine rejects the console resends; the tenth bad report in
        // a row is taken by the program as a page given up, and that record
        // is lost. The rest are stored in order.
        const std::size_t lost = static_cast<std::size_t>(corrupt / 10);
        std::vector<std::string> stored;
        for (int i = 0; i < HISTORY_SLOTS; ++i)
            if (s.program.store->slot[i][0])
                stored.emplace_back(reinterpret_cast<const char *>(s.program.store->slot[i]));
        std::vector<std::string> expected;
        for (std::size_t i = lost; i < records; ++i)
            expected.push_back(s.console.history[i]);
        EXPECT_EQ(stored, expected);
    }
}

TEST(ConsoleWithReportHandler, EmptyMemoryGivesTheNoHistoryNotice)
{
    Session s;
    s.command(CMD_READ_HISTORY);
    s.run();
    EXPECT_EQ(s.program.messages, (std::vector<unsigned>{UM_NO_HISTORY}));
}

TEST(ConsoleWithReportHandler, PagesIgnoredByACancelledProgramStopTheTransfer)
{
    Session s;
    for (int i = 0; i < 50; ++i)
        console_add_history(&s.console, "50 2026-12-01 10:00", 19);
    s.program.flags.history_cancel = 1;
    s.command(CMD_READ_HISTORY);
    s.run();
    EXPECT_EQ(s.console.stats.timeouts, 1u);
    EXPECT_EQ(s.console.stats.reports_sent, 1u);
    EXPECT_TRUE(s.program.messages.empty());
}

TEST(ConsoleWithReportHandler, ScenarioRawReportsReachTheHandlerUnchanged)
{
    // A bad-CRC record report written by hand is rejected once and not resent.
    const std::string text = "raw 00 FE 00 00 00 00 21 02 41 42 00 00\nwu-body after\n";
    Scenario scenario;
    char error[128];
    ASSERT_EQ(parse_scenario(text.data(), text.size(), &scenario, error, sizeof error), 1) << error;
    Session s;
    ScenarioRun run;
    scenario_start(&scenario, &run, &s.console);
    for (int i = 0; i < 10 && !scenario_done(&scenario, &run); ++i) {
        scenario_step(&scenario, &run, &s.console, s.now);
        s.run();
    }
    EXPECT_TRUE(scenario_done(&scenario, &run));
    EXPECT_EQ(s.program.counters.record_bad_crc, 1);
    EXPECT_EQ(s.program.wu_bodies, (std::vector<std::string>{"after"}));
}

// Whatever interrupted the download before, the next one of N pages ends
// with exactly those N records in slots 0 to N-1.
TEST(ConsoleWithReportHandler, DownloadAfterAnInterruptionIsComplete)
{
    struct Row {
        const char *what;
        int reports;  // reports handled before the interruption
        int corrupt;  // bad reports at the start of the first download
        int live;     // a live record between the two downloads
        int unplug;   // the interruption is an unplug rather than a cancel
    };
    std::vector<Row> rows;
    // Records take three packets: a cancel at every position of the first three.
    for (int n = 1; n <= 9; ++n)
        rows.push_back({"cancel", n, 0, 0, 0});
    for (int n = 1; n <= 4; ++n)
        rows.push_back({"cancel, live record", n, 0, 1, 0});
    for (int n = 1; n <= 4; ++n)
        rows.push_back({"unplug", n, 0, 0, 1});
    rows.push_back({"page given up, cancel", 12, 10, 0, 0});
    rows.push_back({"page given up, unplug", 12, 10, 0, 1});
    rows.push_back({"page given up, cancel, live record", 12, 10, 1, 0});
    rows.push_back({"page given up at once, cancel", 10, 10, 0, 0});
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.what << " after " << row.reports << " reports");
        Session s;
        DemoConsole demo;
        demo_start(&demo, &s.console, 8, 1, s.now);
        const std::size_t records = s.console.history.size();
        Program &p = s.program;
        s.console.corrupt_reports = row.corrupt;
        s.command(CMD_READ_HISTORY);
        s.run(row.reports);
        p.flags.history_cancel = 1;
        p.flags.history_active = 0;
        if (row.unplug) {
            console_disconnect(&s.console);
            p.reader = {}; // a new reader starts at the next connect
            console_connect(&s.console, s.now);
            p.flags.history_cancel = 0;
        } else {
            s.command(CMD_STOP_TRANSFER);
        }
        s.run();
        if (row.live) {
            s.command(CMD_READ_LIVE);
            s.run();
        }
        // Export pressed again.
        p.flags.history_cancel = 0;
        p.flags.history_requested = 1;
        clear_history_store(*p.store);
        p.messages.clear();
        s.command(CMD_READ_HISTORY);
        s.run();
        EXPECT_EQ(s.count(UM_HISTORY_COMPLETE), 1);
        std::size_t stored = 0;
        while (stored < records && std::string(reinterpret_cast<const char *>(p.store->slot[stored])) ==
                                       s.console.history[stored])
            ++stored;
        EXPECT_EQ(stored, records);
    }
}

// Whatever faults the console puts into a download, the download ends, and
// every record that arrived whole is in the store once and in order.
TEST(ConsoleWithReportHandler, FaultyDownloadEndsWithEveryWholeRecordOnce)
{
    constexpr int PAGES = 5, PACKETS = 4; // records of 200 bytes: four packets
    struct Row {
        std::string name;
        std::vector<ConsoleFault> faults;
        std::vector<int> lost;   // pages missing from the store
        int stalled_after;       // the console stops after this page; 0: the download completes
    };
    std::vector<Row> rows;
    for (int page : {1, 3, PAGES}) {
        for (int packet : {1, 2, PACKETS}) {
            const std::string at = " at page " + std::to_string(page) + " packet " + std::to_string(packet);
            rows.push_back({"drop" + at, {{FAULT_DROP, page, packet, 1}}, {page}, 0});
            rows.push_back({"corrupt 9" + at, {{FAULT_CORRUPT, page, packet, 9}}, {}, 0});
            rows.push_back({"corrupt 10" + at, {{FAULT_CORRUPT, page, packet, 10}}, {page}, 0});
            rows.push_back({"repeat" + at, {{FAULT_REPEAT, page, packet, 1}}, {}, 0});
        }
        const std::string after = " after page " + std::to_string(page);
        rows.push_back({"live" + after, {{FAULT_LIVE_AFTER, page, 0, 1}}, {}, 0});
        rows.push_back({"stall" + after, {{FAULT_STALL, page, 0, 1}}, {}, page < PAGES ? page : 0});
    }
    std::vector<ConsoleFault> noisy_page;
    for (int packet = 1; packet <= PACKETS; ++packet)
        noisy_page.push_back({FAULT_CORRUPT, 3, packet, 9});
    rows.push_back({"corrupt 9 on every packet of a page", noisy_page, {}, 0});
    rows.push_back({"cut page, next page given up at its first packet",
                    {{FAULT_DROP, 2, PACKETS, 1}, {FAULT_CORRUPT, 3, 1, 10}}, {2, 3}, 0});
    rows.push_back({"cut page, next page without its first packet",
                    {{FAULT_DROP, 2, PACKETS, 1}, {FAULT_DROP, 3, 1, 1}}, {2, 3}, 0});
    rows.push_back({"two packets of a page given up",
                    {{FAULT_CORRUPT, 1, 1, 10}, {FAULT_CORRUPT, 1, 2, 10}}, {1}, 0});
    rows.push_back({"two packets of a page dropped", {{FAULT_DROP, 3, 2, 1}, {FAULT_DROP, 3, 3, 1}}, {3}, 0});
    rows.push_back({"cut page, then a live record",
                    {{FAULT_DROP, 2, PACKETS, 1}, {FAULT_LIVE_AFTER, 2, 0, 1}}, {2}, 0});
    rows.push_back({"cut page, then a stall", {{FAULT_DROP, 2, PACKETS, 1}, {FAULT_STALL, 2, 0, 1}}, {2}, 2});
    rows.push_back({"repeat and corrupt the same packet",
                    {{FAULT_REPEAT, 4, 2, 1}, {FAULT_CORRUPT, 4, 2, 3}}, {}, 0});

    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Session s;
        std::vector<std::string> records;
        for (int page = 1; page <= PAGES; ++page) {
            std::string text = "12 2026-12-0" + std::to_string(page) + " 10:00";
            text += std::string(200 - text.size(), static_cast<char>('a' + page));
            records.push_back(text);
            console_add_history(&s.console, text.data(), text.size());
        }
        console_set_live(&s.console, "7 2026-12-08 12:00 live", 23);
        for (const ConsoleFault &f : row.faults)
            ASSERT_EQ(console_add_fault(&s.console, f), 1);
        s.program.flags.history_requested = 1;
        s.command(CMD_READ_HISTORY);
        s.run();

        // The console has gone quiet: the reader's watch has the last word.
        const LinkContext link = {&s.program.counters, &s.program.flags, s.program.store.get(),
                                  s.program.file_name};
        ReportAction action;
        int watched = watch_download(s.program.reader, link, s.now, action);
        watched += watch_download(s.program.reader, link, s.now + DOWNLOAD_QUIET_MS - 1, action);
        watched += 2 * watch_download(s.program.reader, link, s.now + DOWNLOAD_QUIET_MS, action);
        for (int i = 0; i < action.count; ++i)
            s.program.messages.push_back(action.step[i].message);
        EXPECT_EQ(watched, row.stalled_after ? 2 * DOWNLOAD_STALLED : 0);
        EXPECT_EQ(s.count(UM_HISTORY_START), 1);
        EXPECT_EQ(s.count(UM_HISTORY_COMPLETE), row.stalled_after ? 0 : 1);

        std::vector<std::string> expected;
        const int last = row.stalled_after ? row.stalled_after : PAGES;
        for (int page = 1; page <= last; ++page)
            if (std::find(row.lost.begin(), row.lost.end(), page) == row.lost.end())
                expected.push_back(records[static_cast<std::size_t>(page - 1)]);
        // The export reads slots 0 to the announced count, passing over empty ones.
        std::vector<std::string> stored;
        for (int i = 0; i < HISTORY_SLOTS; ++i)
            if (s.program.store->slot[i][0])
                stored.emplace_back(reinterpret_cast<const char *>(s.program.store->slot[i]))
                    += i < PAGES ? "" : " (beyond the count)";
        EXPECT_EQ(stored, expected);
    }
}
