#include "console/link.h"

#include <chrono>

#include "common/retry.h"
#include "station/link_state.h"

namespace {

// How long a console may keep quiet before a command gives up on it.
constexpr int ANSWER_WAIT_MS = 20000;

// Answers the console's clock request, as the Windows program does.
void answer_clock(Session &s, ConsoleCounts &c, const LinkHooks &h)
{
    if (!c.answer_clock)
        return;
    c.answer_clock = 0;
    if (session_set_clock(s))
        h.log("console clock set from this machine's clock");
}

// Connects, looking again until the console is there or a stop is asked
// for. 1 when connected. The reason it is missing is logged when it
// changes, not at every look.
int connect_waiting(Session &s, const LinkHooks &h, std::string *absence)
{
    const auto absent = [&s, &h, absence] {
        const std::string why = s.port.absence(s.port.context);
        if (why != *absence)
            h.log("no console: %s; looking again every %d s", why.c_str(), CONSOLE_RETRY_MS / 1000);
        *absence = why;
    };
    if (!connect_until_stopped([&s] { return session_connect(s); }, h.stopped, absent))
        return 0;
    h.log("connected to the console");
    if (h.console)
        h.console(1);
    absence->clear();
    return 1;
}

} // namespace

int poll_until(Session &s, const std::function<int()> &done, int (*stopped)())
{
    auto quiet_since = std::chrono::steady_clock::now();
    while (!done()) {
        if (stopped())
            return PORT_QUIET;
        const int got = session_poll(s, CONSOLE_POLL_MS);
        if (got == PORT_GONE)
            return PORT_GONE;
        if (session_watch_download(s) == DOWNLOAD_STALLED)
            return PORT_STALLED;
        const auto now = std::chrono::steady_clock::now();
        if (got == PORT_REPORT)
            quiet_since = now;
        else if (now - quiet_since > std::chrono::milliseconds(ANSWER_WAIT_MS))
            return PORT_QUIET;
    }
    return PORT_REPORT;
}

int download_history(Session &s, ConsoleCounts &c, const LinkHooks &h)
{
    // The greeting's live record first, as a user sees the readings before
    // pressing Export.
    int got = poll_until(s, [&c] { return c.live_records > 0; }, h.stopped);
    if (got == PORT_REPORT) {
        link_flags.history_cancel = 0;
        link_flags.history_complete = 0;
        link_flags.history_requested = 1;
        c.history_complete = c.no_history = 0;
        c.history_total = 0;
        h.before_download();
        if (!s.port.write(s.port.context, CMD_READ_HISTORY))
            return PORT_FAILED;
        got = poll_until(s, [&c] { return c.history_complete || c.no_history; }, h.stopped);
    }
    // A console left mid-download, or a user's stop, still gets the stop
    // frame, so that it does not go on sending pages nobody reads.
    if (got != PORT_REPORT && got != PORT_GONE && s.open)
        s.port.write(s.port.context, CMD_STOP_TRANSFER);
    return got;
}

const char *download_failure(int got, int stopped)
{
    static_assert(DOWNLOAD_QUIET_MS == 10000, "the message below names the wait");
    return got == PORT_GONE     ? "the console went away during the download"
           : got == PORT_FAILED ? "the history request could not be sent"
           : stopped            ? "stopped"
           : got == PORT_STALLED
               ? "the console sent nothing for 10 s in the middle of the download"
               : "the console stopped sending";
}

void stay_connected(Session &s, ConsoleCounts &c, const LinkHooks &h)
{
    std::string absence;
    while (connect_waiting(s, h, &absence)) {
        // A catch-up waits for the greeting's live record, as an Export does.
        c.live_records = 0;
        while (!h.stopped() && session_poll(s, CONSOLE_POLL_MS) != PORT_GONE) {
            answer_clock(s, c, h);
            if (h.between_polls)
                h.between_polls(s);
        }
        if (!s.open) {
            h.log("console disconnected");
            if (h.console)
                h.console(0);
        }
    }
    session_close(s);
}
