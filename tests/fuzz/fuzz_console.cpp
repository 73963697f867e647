// Any bytes as a scenario file, replayed on the simulated console against
// a program that answers each report with a reply chosen by the input; or
// any bytes as command frames. Every report the console builds itself
// must be well framed, and nothing may hang.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "station/crc.h"
#include "simulator/scenario.h"
#include "simulator/virtual_console.h"

namespace {

void check_report(const std::uint8_t *r, int planted)
{
    if (planted)
        return;  // raw reports are sent exactly as written
    const std::uint16_t crc = crc16(r, 1, 62);
    if (r[62] != (crc >> 8) || r[63] != (crc & 0xFF) || r[7] > MAX_PAYLOAD || r[0] != 0)
        std::abort();
    const int packets = r[6] >> 4, index = r[6] & 0x0F;
    if (r[1] != KIND_STATUS && !(r[2] == 0xFF && r[3] == 0xFF) && (index < 1 || index > packets))
        std::abort();
}

const std::uint8_t *const REPLIES[] = {CMD_ACK, CMD_NAK, CMD_PAGE_ACK, CMD_PAGE_NAK,
                                       CMD_READ_LIVE, CMD_READ_HISTORY, CMD_STOP_TRANSFER};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    VirtualConsole console;
    console_init(&console, 1800000000, 0);
    console_connect(&console, 0);
    std::int64_t now = 0;
    std::uint8_t report[REPORT_BYTES];

    if (data[0] & 1) {
        // Frames: each 9-byte piece fed, then whatever is due pulled.
        console_set_live(&console, "live record", 11);
        console_add_history(&console, "h1", 2);
        for (std::size_t at = 1; at < size; at += FRAME_BYTES) {
            const std::size_t n = size - at < FRAME_BYTES ? size - at : FRAME_BYTES;
            console_feed_command(&console, data + at, n, now);
            now += data[at];
            while (console_next_report(&console, now, report))
                check_report(report, 0);
        }
        return 0;
    }

    Scenario scenario;
    char error[128];
    if (!parse_scenario(reinterpret_cast<const char *>(data + 1), size - 1, &scenario, error, sizeof error)) {
        if (!std::memchr(error, 0, sizeof error) || std::strncmp(error, "line ", 5) != 0)
            std::abort();
        return 0;
    }
    ScenarioRun run;
    scenario_start(&scenario, &run, &console);
    std::size_t choice = 0;
    for (int turn = 0; turn < 20000 && !scenario_done(&scenario, &run); ++turn) {
        const ScenarioAction a = scenario_step(&scenario, &run, &console, now);
        if (a == SCENARIO_ACT_UNPLUG)
            console_disconnect(&console);
        else if (a == SCENARIO_ACT_PLUG)
            console_connect(&console, now);
        if (console_next_report(&console, now, report)) {
            check_report(report, console.transfer.active == 0 || console.transfer.single != 0);
            const std::uint8_t *reply = REPLIES[data[choice++ % size] % 7];
            console_feed_command(&console, reply, FRAME_BYTES, now);
        }
        now += 250;
    }
    return 0;
}
