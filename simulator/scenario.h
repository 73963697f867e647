// Scenario files: a script for the simulated console, one directive a line,
// run in file order, each after the one before has been delivered and
// answered.
//
//   live TEXT       the live record from here on (the first one is also
//                   what the connect greeting gets)
//   history TEXT    appended to the history memory, oldest first
//   no-history      empties the memory: a history request gets the marker
//   wu-body TEXT    an upload body sent as 0xFB reports
//   wc-body TEXT    an upload body sent as 0xF1 reports
//   time-request    a status report asking for the PC's date and time
//   raw HEX         one report of up to 65 bytes, exactly as written
//                   (missing bytes zero, no CRC fix-up), sent once
//   wait MS         a pause of MS milliseconds (at most one hour)
//   unplug, plug    the console goes away or comes back
//   fault KIND ...  shapes the next history download, then is used up:
//                   drop PAGE PACKET, corrupt PAGE PACKET N, repeat PAGE
//                   PACKET, live-after PAGE, stall PAGE (pages and packets
//                   from 1 in sending order)
//
// TEXT is the rest of the line after the single space that follows the
// keyword, byte for byte ('#' included); a line end of CR LF counts as LF.
// Blank lines and lines whose first non-blank character is '#' are
// comments, and the directives without TEXT may end in a '#' comment.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "simulator/history_memory.h"
#include "simulator/virtual_console.h"

enum ScenarioDirectiveType : std::uint8_t {
    SCENARIO_LIVE,
    SCENARIO_HISTORY,
    SCENARIO_NO_HISTORY,
    SCENARIO_WU_BODY,
    SCENARIO_WC_BODY,
    SCENARIO_TIME_REQUEST,
    SCENARIO_RAW,
    SCENARIO_WAIT,
    SCENARIO_UNPLUG,
    SCENARIO_PLUG,
    SCENARIO_FAULT
};

struct ScenarioDirective {
    std::uint8_t type;
    int line;
    std::uint32_t wait_ms;
    std::string bytes;  // TEXT, or the report of raw; history keeps its own
    ConsoleFault fault;
    // history: consecutive history lines are one directive, their TEXTs
    // the records of Scenario::runs[run]
    std::size_t run;
};

struct Scenario {
    std::vector<ScenarioDirective> directives;
    // A scenario is replayed once: each run of history lines is handed over
    // to the console when its turn comes, not copied, and is empty after.
    std::vector<HistoryMemory> runs;
};

constexpr std::uint32_t SCENARIO_MAX_WAIT_MS = 3600000;
constexpr std::uint32_t SCENARIO_MAX_CORRUPT = 999;

// Parses a whole file. On a malformed line returns 0 with a message naming
// the line number in error (always zero-terminated when capacity > 0).
int parse_scenario(const char *text, std::size_t length, Scenario *out, char *error,
                   std::size_t error_capacity);

// What the pipe must do for the console: nothing, or take it away or bring
// it back (the program sees a removal or an arrival).
enum ScenarioAction { SCENARIO_ACT_NONE, SCENARIO_ACT_UNPLUG, SCENARIO_ACT_PLUG };

struct ScenarioRun {
    std::size_t next;          // directive to run next
    std::int64_t wait_until_ms;
    int awaiting;              // a sent directive is not yet answered
};

// Prepares the console for the scenario: no built-in weather, the first
// live record in place for the connect greeting.
void scenario_start(const Scenario *scenario, ScenarioRun *run, VirtualConsole *console);
// Runs the directives that are due; stops at a pause, at a report still on
// its way and at each unplug or plug, which it returns.
ScenarioAction scenario_step(Scenario *scenario, ScenarioRun *run, VirtualConsole *console,
                             std::int64_t now_ms);
int scenario_done(const Scenario *scenario, const ScenarioRun *run);
// Milliseconds until a pause ends, 0 when a step can run now, -1 when
// only the link can move the scenario on (or it is done).
std::int64_t scenario_wait_ms(const Scenario *scenario, const ScenarioRun *run,
                              const VirtualConsole *console, std::int64_t now_ms);
