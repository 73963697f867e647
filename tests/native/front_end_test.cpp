// The Linux front end's own decisions: which HID interface is the console,
// and that its clock frames set the console's clock.
#include <gtest/gtest.h>

#include <vector>

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "cli/hid_port.h"
#include "cli/session.h"
#include "cli/sim_port.h"

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
