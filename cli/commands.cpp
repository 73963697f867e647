#include "cli/commands.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "app/status_text.h"
#include "cli/export_file.h"
#include "cli/live_text.h"
#include "cli/log.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "history/export_checks.h"
#include "station/messages.h"

namespace {

constexpr int POLL_MS = 200;
// How long a console may keep quiet before a command gives up on it.
constexpr int ANSWER_WAIT_MS = 20000;
// How often a console that is not there is looked for again.
constexpr int RETRY_MS = 2000;

const char no_console[] =
    "nimbrel: no console found. Is it plugged in, and may this user open its hidraw node? "
    "(see packaging/linux/)\n";

// What a command waits for, filled in by the session's notifications.
struct Events {
    FrontEnd *front;
    int live_records = 0;
    LiveValues values;
    int history_total = 0, history_done = 0, history_complete = 0, no_history = 0;
    int answer_clock = 0, upload = 0;
    int print_live = 0;
    int last_percent = -1;
};

void print_live(const Events &e)
{
    const FrontEnd &f = *e.front;
    const std::string text = f.options.json ? live_json(e.values, f.config.units) + "\n"
                                            : live_text(e.values, f.config.units);
    std::fputs(text.c_str(), stdout);
    if (!f.options.json && f.options.watch)
        std::fputs("\n", stdout);
    std::fflush(stdout);
}

void show_progress(Events &e)
{
    if (!stderr_is_terminal() || e.history_total <= 0)
        return;
    const int percent = progress_percent(e.history_done, e.history_total);
    if (percent == e.last_percent)
        return;
    e.last_percent = percent;
    char bar[41];
    const int filled = percent * 40 / 100;
    for (int i = 0; i < 40; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[40] = 0;
    std::fprintf(stderr, "\rDownloading [%s] %3d%%  %d/%d", bar, percent, e.history_done,
                 e.history_total);
    std::fflush(stderr);
}

void on_notice(void *context, unsigned message, std::intptr_t lparam)
{
    Events &e = *static_cast<Events *>(context);
    switch (message) {
    case UM_LIVE_RECORD: {
        // The dashboard decodes the first 255 bytes of a live record.
        decode_station_record_n(reinterpret_cast<const char *>(lparam), LIVE_RECORD_BYTES,
                                &e.values);
        ++e.live_records;
        if (e.print_live)
            print_live(e);
        break;
    }
    case UM_HISTORY_START:
        e.history_total = static_cast<int>(lparam);
        e.history_done = 0;
        show_progress(e);
        break;
    case UM_HISTORY_PROGRESS:
        e.history_done = static_cast<int>(lparam);
        show_progress(e);
        break;
    case UM_HISTORY_COMPLETE:
        e.history_complete = 1;
        break;
    case UM_NO_HISTORY:
        e.no_history = 1;
        break;
    case UM_TIME_SYNC:
        e.answer_clock = 1;
        break;
    case UM_WU_BODY:
    case UM_WC_BODY:
        if (e.upload)
            uploader_take_body(message == UM_WU_BODY ? UPLOAD_WU : UPLOAD_WC,
                               reinterpret_cast<const char *>(lparam));
        break;
    default:
        break;
    }
}

// One command runs per process: one set of events.
Events events;
const char16_t no_file[1] = {0};

// Accepted history pages need a file; live, run and clock have none.
Session make_session(FrontEnd &f, const char16_t *file_name = no_file)
{
    events.front = &f;
    Session s{};
    s.port = f.port;
    s.handler = SessionHandler{&events, on_notice};
    s.export_file_name = file_name;
    return s;
}

// Connects once, for the commands that do not wait for the console.
int connect_or_say(Session &s)
{
    if (session_connect(s))
        return 1;
    std::fputs(no_console, stderr);
    return 0;
}

// poll_until's answer when the console left a running download.
constexpr int PORT_STALLED = 2;

// Polls until `done` says so, the console goes, a stop is asked for or it
// keeps quiet for ANSWER_WAIT_MS, or, once a download runs, for
// DOWNLOAD_QUIET_MS (PORT_STALLED). PORT_REPORT when done.
template <typename Done> int poll_until(Session &s, Done done)
{
    auto quiet_since = std::chrono::steady_clock::now();
    while (!done()) {
        if (stop_requested())
            return PORT_QUIET;
        const int got = session_poll(s, POLL_MS);
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

// Answers the console's clock request, as the Windows program does.
void answer_clock(Session &s, Events &e)
{
    if (!e.answer_clock)
        return;
    e.answer_clock = 0;
    if (session_set_clock(s))
        log_line("console clock set from this machine's clock");
}

// Connects, looking again every RETRY_MS until the console is there or a
// stop is asked for. 1 when connected.
int connect_waiting(Session &s, int *announced_absence)
{
    while (!stop_requested()) {
        if (session_connect(s)) {
            log_line("connected to the console");
            *announced_absence = 0;
            return 1;
        }
        if (!*announced_absence)
            log_line("no console; looking again every %d s", RETRY_MS / 1000);
        *announced_absence = 1;
        for (int waited = 0; waited < RETRY_MS && !stop_requested(); waited += POLL_MS)
            std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
    }
    return 0;
}

// Keeps the console connected until a stop: reconnects after an unplug
// and answers its clock requests.
void stay_connected(Session &s, Events &e)
{
    int absent = 0;
    while (connect_waiting(s, &absent)) {
        while (!stop_requested() && session_poll(s, POLL_MS) != PORT_GONE)
            answer_clock(s, e);
        if (!s.open)
            log_line("console disconnected");
    }
    session_close(s);
}

int split_date(const std::string &text, std::u16string parts[3])
{
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? text.find('-', start) : text.size();
        if (end == std::string::npos)
            return 0;
        parts[i].clear();
        for (std::size_t k = start; k < end; ++k)
            parts[i] += static_cast<char16_t>(static_cast<unsigned char>(text[k]));
        start = end + 1;
    }
    return text.find('-', 0) != std::string::npos;
}

// The period and data sets through the Windows program's own checks.
int check_period(const FrontEnd &f, int *status)
{
    int data_set[15];
    std::string error;
    if (!parse_data_sets(f.options.sets, data_set, &error)) {
        std::fprintf(stderr, "nimbrel: %s\n", error.c_str());
        *status = 2;
        return 0;
    }
    std::u16string parts[6];
    if (!f.options.all) {
        const std::string *bad = !split_date(f.options.from, parts)   ? &f.options.from
                                 : !split_date(f.options.to, parts + 3) ? &f.options.to
                                                                        : nullptr;
        if (bad) {
            std::fprintf(stderr, "nimbrel: a date is YEAR-MONTH-DAY, not \"%s\"\n", bad->c_str());
            *status = 2;
            return 0;
        }
    }
    DateFields fields{};
    for (int i = 0; i < 6; ++i)
        fields.text[i] = parts[i].c_str();
    const char16_t *message = check_export_fields(f.options.all, fields, data_set, export_request);
    if (message) {
        std::fprintf(stderr, "nimbrel: %s (period %s to %s)\n", utf8_text(message).c_str(),
                     f.options.from.c_str(), f.options.to.c_str());
        *status = 2;
        return 0;
    }
    char16_t name[EXPORT_PATH_UNITS + 2] = {};
    if (!utf16_text(f.options.file.c_str(), name, EXPORT_PATH_UNITS + 2) ||
        (message = check_export_file_name(name)) != nullptr) {
        std::fprintf(stderr, "nimbrel: %s: %s\n", f.options.file.c_str(),
                     message ? utf8_text(message).c_str()
                             : "the file name must be UTF-8 of at most 255 characters");
        *status = 2;
        return 0;
    }
    std::memset(export_request.file_name, 0, sizeof export_request.file_name);
    store_export_file_name(name, export_request);
    return 1;
}

// A file that cannot be written is found out before a download of minutes,
// not after; a file that was not there before is not left behind.
// The export is made beside the file and moved over it: the folder must
// take a new file.
int check_writable(const std::string &path)
{
    std::string temporary;
    std::FILE *file = create_temporary_beside(path.c_str(), temporary);
    if (!file) {
        std::fprintf(stderr, "nimbrel: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return 0;
    }
    std::fclose(file);
    std::remove(temporary.c_str());
    return 1;
}

} // namespace

int command_live(FrontEnd &f)
{
    Events &e = events;
    e.print_live = 1;
    Session s = make_session(f);
    if (!f.options.watch) {
        if (!connect_or_say(s))
            return 1;
        const int got = poll_until(s, [&] { return e.live_records > 0; });
        session_close(s);
        if (got == PORT_REPORT)
            return 0;
        std::fputs(stop_requested() ? "nimbrel: stopped\n"
                                    : "nimbrel: the console sent no reading\n",
                   stderr);
        return 1;
    }
    stay_connected(s, e);
    return 0;
}

int command_export(FrontEnd &f)
{
    int status = 0;
    if (!check_period(f, &status))
        return status;
    if (!check_writable(f.options.file))
        return 1;
    Events &e = events;
    Session s = make_session(f, export_request.file_name);
    if (!connect_or_say(s))
        return 1;
    // The greeting's live record first, as a user sees the readings before
    // pressing Export.
    int got = poll_until(s, [&] { return e.live_records > 0; });
    if (got == PORT_REPORT) {
        link_flags.history_cancel = 0;
        link_flags.history_complete = 0;
        link_flags.history_requested = 1;
        clear_history_store(history_store);
        if (!s.port.write(s.port.context, CMD_READ_HISTORY)) {
            std::fputs("nimbrel: the history request could not be sent\n", stderr);
            session_close(s);
            return 1;
        }
        got = poll_until(s, [&] { return e.history_complete || e.no_history; });
    }
    if (e.history_total > 0 && stderr_is_terminal())
        std::fputs("\n", stderr);
    if (got != PORT_REPORT) {
        if (got != PORT_GONE)
            s.port.write(s.port.context, CMD_STOP_TRANSFER);
        session_close(s);
        if (got == PORT_GONE)
            std::fputs("nimbrel: the console went away during the download; no file written\n", stderr);
        else if (stop_requested())
            std::fputs("nimbrel: stopped; no file written\n", stderr);
        else if (got == PORT_STALLED)
            std::fprintf(stderr,
                         "nimbrel: the console sent nothing for %d s in the middle of the download; "
                         "no file written\n",
                         static_cast<int>(DOWNLOAD_QUIET_MS / 1000));
        else
            std::fputs("nimbrel: the console stopped sending; no file written\n", stderr);
        return 1;
    }
    session_close(s);
    if (e.no_history) {
        std::fputs("nimbrel: the console holds no history yet; no file written\n", stderr);
        return 1;
    }
    std::string error;
    if (!write_export_file(f.options.file.c_str(), f.options.utf8, export_request, f.config.units,
                           &error)) {
        std::fprintf(stderr, "nimbrel: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

int command_clock(FrontEnd &f)
{
    Session s = make_session(f);
    if (!connect_or_say(s))
        return 1;
    const int set = session_set_clock(s);
    session_close(s);
    if (!set) {
        std::fputs("nimbrel: the clock frames could not be sent\n", stderr);
        return 1;
    }
    return 0;
}

int command_run(FrontEnd &f)
{
    Events &e = events;
    e.upload = 1;
    Session s = make_session(f);
    uploader_start(f.config, f.destination);
    for (int s_ = 0; s_ < 2; ++s_) {
        const ServiceConfig &service = f.config.service[s_];
        if (service.upload && (!service.id[0] || !service.key[0]))
            log_line("%s is on but has no %s: its uploads are skipped",
                     s_ == UPLOAD_WU ? "wunderground" : "weathercloud",
                     service.id[0] ? "key" : "ID");
    }
    stay_connected(s, e);
    uploader_stop(500);
    log_line("stopped");
    return 0;
}
