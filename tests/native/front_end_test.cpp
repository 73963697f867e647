// The Linux front end's own decisions: which HID interface is the console,
// that its clock frames set the console's clock, and that an export it
// leaves unfinished tells the console to stop.
#include <gtest/gtest.h>

#include <vector>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "cli/commands.h"
#include "cli/platform.h"

#include "console/hid_port.h"
#include "console/session.h"
#include "console/sim_port.h"

TEST(ConsoleInterface, PickedByVendorProductAndCollection)
{
    const HidCandidate keyboard = {0x046D, 0xC31C, 0x0001, 6};
    const HidCandidate other_product = {CONSOLE_VENDOR_ID, 0x8020, 0xFF00, 1};
    const HidCandidate wrong_usage = {CONSOLE_VENDOR_ID, CONSOLE_PRODUCT_ID, 0xFF00, 2};
    const HidCandidate no_usage = {CONSOLE_VENDOR_ID, CONSOLE_PRODUCT_ID, 0, 0};
    const HidCandidate console = {CONSOLE_VENDOR_ID, CONSOLE_PRODUCT_ID, 0xFF00, 1};
    const struct {
        const char *name;
        std::vector<HidCandidate> found;
        int expected;
    } cases[] = {
        {"nothing", {}, -1},
        {"console alone", {console}, 0},
        {"after other devices", {keyboard, other_product, console}, 2},
        {"collection beats no usage", {no_usage, console}, 1},
        {"no usage when nothing better", {keyboard, no_usage}, 1},
        {"other usage of the console is not it", {wrong_usage}, -1},
        {"same collection, other product", {other_product}, -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(pick_console_interface(c.found.data(), c.found.size()), c.expected) << c.name;
}

TEST(FrontEndClock, SetsTheConsolesClockToThisMachinesLocalTime)
{
    static SimPort sim;
    char error[160];
    ASSERT_TRUE(sim_port_start(&sim, nullptr, error, sizeof error)) << error;
    // A console a day behind.
    console_set_clock(&sim.console, console_clock(&sim.console, 0) - 86400, 0);
    Session s{};
    s.port = sim_station_port(&sim);
    ASSERT_TRUE(session_connect(s));
    ASSERT_TRUE(session_set_clock(s));
    const std::time_t t = std::time(nullptr);
    const std::tm local = *std::localtime(&t);
    const std::int64_t now = seconds_from_civil({local.tm_year + 1900, local.tm_mon + 1,
                                                 local.tm_mday, local.tm_hour, local.tm_min,
                                                 local.tm_sec});
    using namespace std::chrono;
    const std::int64_t ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    EXPECT_TRUE(sim.console.clock_set);
    EXPECT_LE(std::llabs(console_clock(&sim.console, ms) - now), 2);
    session_close(s);
}

namespace {

// The simulated console behind a port that keeps the last frame written and
// plays the user's Ctrl-C after a number of history reports.
struct WatchedPort {
    StationPort inner;
    std::vector<std::uint8_t> last_frame;
    int stop_after, pages;
} watched;

int watched_open(void *) { return watched.inner.open(watched.inner.context); }
const char *watched_absence(void *) { return watched.inner.absence(watched.inner.context); }
void watched_close(void *) { watched.inner.close(watched.inner.context); }

int watched_read(void *, std::uint8_t report[REPORT_BYTES], int timeout_ms)
{
    const int got = watched.inner.read(watched.inner.context, report, timeout_ms);
    if (got == PORT_REPORT && (report[2] | report[3]) && ++watched.pages == watched.stop_after)
        std::raise(SIGINT);
    return got;
}

int watched_write(void *, const std::uint8_t frame[FRAME_BYTES])
{
    watched.last_frame.assign(frame, frame + FRAME_BYTES);
    return watched.inner.write(watched.inner.context, frame);
}

// Runs `nimbrel export --all` on the scenario; 1 when it failed, told the
// console to stop and wrote no file.
int export_stops_the_console(const std::string &scenario, int stop_after)
{
    const std::string dir = testing::TempDir();
    const std::string scenario_file = dir + "/stop_frame_scenario.txt", file = dir + "/stop_frame.csv";
    std::FILE *out = std::fopen(scenario_file.c_str(), "wb");
    std::fputs(scenario.c_str(), out);
    std::fclose(out);
    std::remove(file.c_str());
    static SimPort sim;
    char error[160];
    if (!sim_port_start(&sim, scenario_file.c_str(), error, sizeof error))
        return 0;
    watched = {sim_station_port(&sim), {}, stop_after, 0};
    static FrontEnd f;
    f.options.command = command_named("export");
    f.options.all = 1;
    f.options.file = file;
    f.port = StationPort{nullptr, watched_open, watched_absence, watched_read, watched_write, watched_close};
    install_stop_signals();
    const int status = command_export(f);
    std::FILE *written = std::fopen(file.c_str(), "rb");
    if (written)
        std::fclose(written);
    return status == 1 && !written &&
           watched.last_frame == std::vector<std::uint8_t>(CMD_STOP_TRANSFER, CMD_STOP_TRANSFER + FRAME_BYTES);
}

} // namespace

// In a child process each: Ctrl-C stays noted for the rest of the process.
TEST(FrontEndExport, AnUnfinishedDownloadEndsWithTheStopFrameAndNoFile)
{
    std::string scenario = "live 7 2026-12-08 12:00 21.0\n";
    for (int i = 0; i < 5; ++i)
        scenario += "history 12 2026-12-0" + std::to_string(i + 1) + " 10:00 20.0 50\n";
    const struct {
        const char *name;
        const char *fault;
        int stop_after;
    } rows[] = {
        {"the console keeps quiet for 10 s", "fault stall 2\n", 0},
        {"Ctrl-C", "", 3},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EXIT(std::exit(export_stops_the_console(scenario + row.fault, row.stop_after) ? 0 : 1),
                    testing::ExitedWithCode(0), "no file written");
    }
}
