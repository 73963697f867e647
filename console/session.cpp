#include "console/session.h"
#include "common/steady_clock.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

namespace {
// The console needs a moment between two frames.
void pause_between_frames() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }
} // namespace

int session_connect(Session &s)
{
    if (!s.port.open(s.port.context))
        return 0;
    std::memset(&s.reader, 0, sizeof s.reader);
    s.open = 1;
    link_flags.connected = 1;
    link_flags.history_cancel = 0;
    s.port.write(s.port.context, CMD_STOP_TRANSFER);
    pause_between_frames();
    s.port.write(s.port.context, CMD_READ_LIVE);
    return 1;
}

void session_close(Session &s)
{
    if (s.open)
        s.port.close(s.port.context);
    s.open = 0;
    link_flags.connected = 0;
    link_flags.history_cancel = 1;
    link_flags.history_active = 0;
}

namespace {

LinkContext link_of(const Session &s)
{
    return {&link_counters, &link_flags, &history_store, s.export_file_name};
}

void carry_out(Session &s, const ReportAction &action)
{
    for (int i = 0; i < action.count; ++i) {
        const LinkStep &step = action.step[i];
        if (step.frame)
            s.port.write(s.port.context, step.frame); // a lost reply is answered by a resend
        else if (s.handler.notify)
            s.handler.notify(s.handler.context, step.message, step.lparam);
    }
}

} // namespace

int session_poll(Session &s, int timeout_ms)
{
    if (!s.open)
        return PORT_GONE;
    std::uint8_t report[REPORT_BYTES];
    const int got = s.port.read(s.port.context, report, timeout_ms);
    if (got == PORT_GONE) {
        session_close(s);
        return PORT_GONE;
    }
    if (got != PORT_REPORT)
        return PORT_QUIET;
    ReportAction action;
    handle_report(report, s.reader, link_of(s), action);
    carry_out(s, action);
    return PORT_REPORT;
}

int session_watch_download(Session &s)
{
    ReportAction action;
    const int watched = watch_download(s.reader, link_of(s), steady_ms(), action);
    carry_out(s, action);
    return watched;
}

int session_set_clock(Session &s)
{
    const std::time_t t = std::time(nullptr);
    const std::tm *local = std::localtime(&t);
    if (!local || !s.open)
        return 0;
    const LocalTime time = {local->tm_year + 1900, local->tm_mon + 1, local->tm_mday,
                            local->tm_hour, local->tm_min, local->tm_sec};
    std::uint8_t date_frame[FRAME_BYTES], time_frame[FRAME_BYTES];
    build_date_frame(time, date_frame);
    build_time_frame(time, time_frame);
    const int date_sent = s.port.write(s.port.context, date_frame);
    pause_between_frames();
    return s.port.write(s.port.context, time_frame) && date_sent;
}
