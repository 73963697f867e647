#include "console/sim_port.h"
#include "common/file_read.h"
#include "common/steady_clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

namespace {

constexpr int DEMO_HISTORY_DAYS = 21;
constexpr std::size_t MAX_SCENARIO_BYTES = 64u << 20;

// The console keeps local time, as the PC it was last set from does.
std::int64_t local_clock()
{
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    const std::tm *found = std::localtime(&t);
    if (found)
        local = *found;
    return seconds_from_civil({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                               local.tm_min, local.tm_sec});
}

// Runs the scenario or the weather up to now; PORT_GONE when the scenario
// unplugs the console.
int drive(SimPort *sim, std::int64_t now, std::int64_t *wait)
{
    *wait = 1000;
    if (sim->replay) {
        for (;;) {
            const ScenarioAction a = scenario_step(&sim->scenario, &sim->run, &sim->console, now);
            if (a == SCENARIO_ACT_NONE)
                break;
            if (a == SCENARIO_ACT_UNPLUG && sim->plugged) {
                sim->plugged = 0;
                console_disconnect(&sim->console);
                if (sim->open) {
                    sim->open = 0;
                    return PORT_GONE;
                }
            } else if (a == SCENARIO_ACT_PLUG) {
                sim->plugged = 1;
            }
        }
        const std::int64_t w = scenario_wait_ms(&sim->scenario, &sim->run, &sim->console, now);
        if (w >= 0 && w < *wait)
            *wait = w;
    } else {
        demo_step(&sim->demo, &sim->console, now);
        const std::int64_t w = demo_wait_ms(&sim->demo, &sim->console, now);
        if (w < *wait)
            *wait = w;
    }
    const std::int64_t w = console_wait_ms(&sim->console, now);
    if (w >= 0 && w < *wait)
        *wait = w;
    return PORT_QUIET;
}

int sim_open(void *context)
{
    SimPort *sim = static_cast<SimPort *>(context);
    std::int64_t wait;
    drive(sim, steady_ms(), &wait);
    if (!sim->plugged)
        return 0;
    console_connect(&sim->console, steady_ms());
    sim->open = 1;
    return 1;
}

// The simulated console is only ever missing because a scenario unplugged it.
const char *sim_absence(void *) { return "not plugged in"; }

int sim_read(void *context, std::uint8_t report[REPORT_BYTES], int timeout_ms)
{
    SimPort *sim = static_cast<SimPort *>(context);
    const std::int64_t deadline = steady_ms() + timeout_ms;
    for (;;) {
        const std::int64_t now = steady_ms();
        std::int64_t wait;
        if (drive(sim, now, &wait) == PORT_GONE)
            return PORT_GONE;
        if (!sim->open)
            return PORT_GONE;
        if (console_next_report(&sim->console, now, report))
            return PORT_REPORT;
        if (now >= deadline)
            return PORT_QUIET;
        if (wait > deadline - now)
            wait = deadline - now;
        std::this_thread::sleep_for(std::chrono::milliseconds(wait < 1 ? 1 : wait));
    }
}

int sim_write(void *context, const std::uint8_t frame[FRAME_BYTES])
{
    SimPort *sim = static_cast<SimPort *>(context);
    if (!sim->open)
        return 0;
    console_feed_command(&sim->console, frame, FRAME_BYTES, steady_ms());
    return 1;
}

void sim_close(void *context)
{
    SimPort *sim = static_cast<SimPort *>(context);
    if (sim->open)
        console_disconnect(&sim->console);
    sim->open = 0;
}

} // namespace

int sim_port_start(SimPort *sim, const char *path, char *error, std::size_t capacity)
{
    if (capacity)
        error[0] = 0;
    sim->scenario.directives.clear();
    sim->replay = path != nullptr;
    if (sim->replay) {
        std::string text, why;
        if (!read_file_capped(path, MAX_SCENARIO_BYTES, &text, &why)) {
            std::snprintf(error, capacity, "Cannot read the scenario file %s (at most 64 MB)", path);
            return 0;
        }
        char message[160];
        if (!parse_scenario(text.data(), text.size(), &sim->scenario, message, sizeof message)) {
            std::snprintf(error, capacity, "Scenario %s, %s", path, message);
            return 0;
        }
    }
    const std::int64_t now = steady_ms();
    console_init(&sim->console, local_clock(), now);
    if (sim->replay)
        scenario_start(&sim->scenario, &sim->run, &sim->console);
    else
        demo_start(&sim->demo, &sim->console, 1, DEMO_HISTORY_DAYS, now);
    sim->plugged = 1;
    sim->open = 0;
    return 1;
}

StationPort sim_station_port(SimPort *sim)
{
    return StationPort{sim, sim_open, sim_absence, sim_read, sim_write, sim_close};
}
