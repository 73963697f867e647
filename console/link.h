// Staying with the console over a session: waiting for what a command
// needs, downloading the history as an Export press does, and connecting
// again after an unplug. The command keeps the counts below from the
// session's notifications and says how to stop and where lines go.
#pragma once
#include <functional>
#include <string>

#include "console/session.h"

// A download whose request could not be sent.
constexpr int PORT_FAILED = -100;
// The console left a running download.
constexpr int PORT_STALLED = 2;

// What the waits read, counted from the session's notifications.
struct ConsoleCounts {
    int live_records = 0;
    int history_total = 0, history_done = 0, history_complete = 0, no_history = 0;
    int answer_clock = 0;  // the console asked for the time
};

// The command's side of the link.
struct LinkHooks {
    int (*stopped)();  // a stop was asked for
    void (*log)(const char *format, ...) __attribute__((format(printf, 1, 2)));
    // Called before each history request: the last download's pages go.
    void (*before_download)();
    // The console came (1) or went (0).
    std::function<void(int)> console;
    // A turn between two polls while connected.
    std::function<void(Session &)> between_polls;
};

// Polls until `done` says so, the console goes, a stop is asked for or it
// keeps quiet too long, or, once a download runs, for DOWNLOAD_QUIET_MS
// (PORT_STALLED). PORT_REPORT when done.
int poll_until(Session &s, const std::function<int()> &done, int (*stopped)());

// Asks for the whole history and waits for it, after the greeting's live
// record. PORT_REPORT when it is complete or the console has none
// (c.no_history); a download cut short gets the stop frame.
int download_history(Session &s, ConsoleCounts &c, const LinkHooks &h);

// Why download_history did not return PORT_REPORT, for the user.
const char *download_failure(int got, int stopped);

// Keeps the console connected until a stop: reconnects after an unplug
// and answers its clock requests, logging each change.
void stay_connected(Session &s, ConsoleCounts &c, const LinkHooks &h);
