// One connection to the console, as the reader thread of the Windows
// program keeps it: every report goes to handle_report, whose reply frames
// are written and whose notifications go to the command's handler, in order.
#pragma once
#include <cstdint>

#include "console/station_port.h"
#include "history/history_store.h"
#include "station/link_state.h"
#include "station/report_handler.h"

// A notification of handle_report: the message and its parameter.
struct SessionHandler {
    void *context;
    void (*notify)(void *context, unsigned message, std::intptr_t lparam);
};

struct Session {
    StationPort port;
    SessionHandler handler;
    ReaderState reader;
    // Accepted history pages need a file to go to; empty for live and run.
    const char16_t *export_file_name;
    int open;
};

// Opens the port and greets the console as a connect does. 1 when open.
int session_connect(Session &s);
void session_close(Session &s);

// Waits up to timeout_ms for one report and carries out what it asks.
// PORT_REPORT, PORT_QUIET, or PORT_GONE after the console went away (the
// session is then closed).
int session_poll(Session &s, int timeout_ms);

// The watch over a running download, to call after every poll:
// DOWNLOAD_STALLED once when the console left it for DOWNLOAD_QUIET_MS
// (a download whose last page never came whole completes instead).
int session_watch_download(Session &s);

// The console's clock set from this machine's local time. 1 when both
// frames were written.
int session_set_clock(Session &s);
