#include "cli/commands.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <string>

#include "ui/status_text.h"
#include "archive/run_lock.h"
#include "cli/archive_commands.h"
#include "cli/export_file.h"
#include "cli/feed.h"
#include "cli/live_text.h"
#include "cli/own_services.h"
#include "cli/log.h"
#include "cli/platform.h"
#include "cli/serve.h"
#include "common/calendar.h"
#include "console/link.h"
#include "history/export_checks.h"
#include "publish/publisher.h"
#include "station/messages.h"
#include "web/server.h"

namespace {

// What a command waits for, filled in by the session's notifications.
struct Events : ConsoleCounts {
    FrontEnd *front;
    LiveValues values;
    int print_live = 0;
    int last_percent = -1;
    int show_bar = 1;  // run downloads without a progress bar
    FeedList *feeds = nullptr;  // run's: what happens to each record
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
    if (!e.show_bar || !stderr_is_terminal() || e.history_total <= 0)
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
        const char *bytes = reinterpret_cast<const char *>(lparam);
        decode_station_record_n(bytes, LIVE_RECORD_BYTES, &e.values);
        ++e.live_records;
        if (e.print_live)
            print_live(e);
        if (e.feeds)
            for (auto &feed : *e.feeds)
                feed->record(bytes, e.values);
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
        if (e.feeds)
            for (auto &feed : *e.feeds)
                feed->body(message == UM_WU_BODY ? UPLOAD_WU : UPLOAD_WC,
                           reinterpret_cast<const char *>(lparam));
        break;
    default:
        break;
    }
}

// One command runs per process: one set of events.
Events events;
const char16_t no_file[1] = {0};
// The reader stores history pages only for a download with somewhere to go.
const char16_t catch_up_file[] = u"archive";

// The progress bar starts afresh with each download, which lets the last
// one's records go.
void before_download()
{
    events.last_percent = -1;
    forget_download();
}

// Tells every feed of run that the console came or went.
void tell_feeds(const Events &e, int connected)
{
    if (e.feeds)
        for (auto &feed : *e.feeds)
            feed->console(connected);
}

LinkHooks link_hooks(Events &e)
{
    LinkHooks h{stop_requested, log_line, before_download, nullptr, nullptr};
    h.console = [&e](int connected) { tell_feeds(e, connected); };
    h.between_polls = [&e](Session &s) {
        if (e.feeds)
            for (auto &feed : *e.feeds)
                feed->between_polls(s);
    };
    return h;
}

// A download of the history with the progress bar of a terminal.
int download_with_bar(Session &s, Events &e)
{
    const int got = download_history(s, e, link_hooks(e));
    if (e.show_bar && e.history_total > 0 && stderr_is_terminal())
        std::fputs("\n", stderr);
    return got;
}

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
    std::fprintf(stderr, "nimbrel: no console: %s\n", s.port.absence(s.port.context));
    return 0;
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
        const int got = poll_until(s, [&] { return e.live_records > 0; }, stop_requested);
        session_close(s);
        if (got == PORT_REPORT)
            return 0;
        std::fputs(stop_requested() ? "nimbrel: stopped\n"
                                    : "nimbrel: the console sent no reading\n",
                   stderr);
        return 1;
    }
    stay_connected(s, e, link_hooks(e));
    return 0;
}

int command_export(FrontEnd &f)
{
    int status = 0;
    if (!check_period(f, &status))
        return status;
    if (!check_writable(f.options.file))
        return 1;
    if (f.options.from_archive)
        return export_from_archive(f);
    Events &e = events;
    Session s = make_session(f, export_request.file_name);
    if (!connect_or_say(s))
        return 1;
    const int got = download_with_bar(s, e);
    session_close(s);
    if (got != PORT_REPORT) {
        std::fprintf(stderr, "nimbrel: %s; no file written\n",
                     download_failure(got, stop_requested()));
        return 1;
    }
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

int command_catch_up(FrontEnd &f)
{
    // A file that is not an archive is refused before a download of minutes.
    Archive *archive = open_archive_or_say(f);
    if (!archive)
        return 1;
    Events &e = events;
    Session s = make_session(f, catch_up_file);
    int status = 1;
    if (connect_or_say(s)) {
        const int got = download_with_bar(s, e);
        session_close(s);
        if (got != PORT_REPORT) {
            std::fprintf(stderr, "nimbrel: %s; nothing archived\n",
                         download_failure(got, stop_requested()));
        } else if (e.no_history) {
            std::fputs("nimbrel: the console holds no history yet; nothing archived\n", stderr);
            status = 0;
        } else {
            long given_up = 0;
            const ArchiveSource records = downloaded_records(&given_up);
            ArchiveError error;
            status = merge_download(archive, records, given_up, 0, &error) ? 0 : 1;
        }
    }
    archive_close(archive);
    return status;
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

namespace {

// The state message: what `live --json` prints, stamped with the record's
// moment in this machine's time zone; "online" while the console is there.
class MqttFeed : public RecordFeed {
public:
    MqttFeed(Publisher *p, const UnitSettings &u) : publisher(p), units(u) {}
    ~MqttFeed() override { publisher_stop(publisher, 500); }
    void record(const char *, const LiveValues &values) override
    {
        const std::string when = record_iso_time(utf8_text(values.slot[token::date]),
                                                 utf8_text(values.slot[token::time]));
        publisher_state(publisher, live_json(values, units, when.c_str()));
    }
    void console(int connected) override { publisher_console(publisher, connected); }

private:
    Publisher *publisher;
    UnitSettings units;
};

void log_publisher_line(const char *line) { log_line("%s", line); }

// How often a download that found the archive busy is merged again.
constexpr int MERGE_RETRY_S = 10;

// `run`'s catch-ups: one at every connect and one a day; a failed one
// waits for the next, and the live readings and uploads go on. A download
// that found the archive busy is merged again from the history it left
// until it goes in; a damaged archive, or one of a newer nimbrel, gets no
// more writes. It warns when the console's memory fills and nothing has
// been archived for a day.
class ArchiveKeeper : public RecordFeed {
public:
    // Reads when the archive was last caught up; a problem with the archive
    // is logged and tried again at each catch-up, never the end of `run`.
    ArchiveKeeper(const FrontEnd &f, Events &e) : front(f), events(e)
    {
        const std::time_t now = std::time(nullptr);
        if (f.config.catch_up_minute >= 0)
            next_daily_at = next_daily(now, f.config.catch_up_minute);
        Archive *archive = nullptr;
        ArchiveError error;
        if (!archive_open(archive_path(f), &archive, &error) ||
            !archive_last_catch_up(archive, &last_catch_up, &error))
            log_line("archive: %s", error.message.c_str());
        archive_close(archive);
    }
    void console(int connected) override { due |= connected; }
    void between_polls(Session &s) override
    {
        if (events.live_records == 0)
            return;
        catch_up(s);
        warn_of_full_logger();
    }

private:
    void catch_up(Session &s)
    {
        const std::time_t now = std::time(nullptr);
        if (broken)
            return;
        const int daily = next_daily_at != 0 && now >= next_daily_at;
        if (daily)
            next_daily_at = next_daily(now, front.config.catch_up_minute);
        if (!due && !daily) {
            if (merge_again != 0 && now >= merge_again)
                merge(now);
            return;
        }
        due = 0;
        merge_again = 0;
        log_line("catch-up: downloading the console's history");
        const int got = download_with_bar(s, events);
        if (got != PORT_REPORT) {
            log_line("catch-up: %s%s%s", download_failure(got, stop_requested()),
                     stop_requested() ? "" : "; trying again at the next connect",
                     stop_requested() || !next_daily_at ? "" : " or the daily catch-up");
            return;
        }
        if (events.no_history) {
            log_line("catch-up: the console holds no history yet");
            return;
        }
        merge(now);
    }

    // Merges the download the history store holds; what went wrong decides
    // what comes next.
    void merge(std::time_t now)
    {
        merge_again = 0;
        long given_up = 0;
        const ArchiveSource records = downloaded_records(&given_up);
        Archive *archive = nullptr;
        ArchiveError error;
        if (archive_open(archive_path(front), &archive, &error) &&
            merge_download(archive, records, given_up, 1, &error))
            last_catch_up = now;
        archive_close(archive);
        switch (error.kind) {
        case ArchiveFailure::none:
            forget_download();
            return;
        case ArchiveFailure::busy:
        case ArchiveFailure::locked:
            merge_again = now + MERGE_RETRY_S;
            log_line("catch-up: %s; merging again in %d s", error.message.c_str(), MERGE_RETRY_S);
            return;
        case ArchiveFailure::damaged:
        case ArchiveFailure::newer:
            broken = 1;
            log_line("catch-up: %s; nothing more is archived until nimbrel is started again",
                     error.message.c_str());
            return;
        default:
            log_line("catch-up: %s", error.message.c_str());
            return;
        }
    }

    // From the logger percentage of the console's last live record.
    void warn_of_full_logger()
    {
        char digits[8] = {};
        for (int i = 0; i < 7 && events.values.slot[token::logger_percent][i]; ++i)
            digits[i] = static_cast<char>(events.values.slot[token::logger_percent][i]);
        const int percent = std::atoi(digits);
        const std::time_t now = std::time(nullptr);
        if (events.live_records == 0 || !logger_warning_due(percent, last_catch_up, now) ||
            now - warned < 24 * 3600)
            return;
        warned = now;
        log_line("warning: the console's logger is %d%% full and nothing has been archived for "
                 "a day: its oldest records will be overwritten unless a catch-up succeeds",
                 percent);
    }

    const FrontEnd &front;
    Events &events;
    int due = 1;                  // a catch-up is owed (set at every connect)
    std::time_t next_daily_at = 0;  // 0: no daily catch-up
    long long last_catch_up = 0;  // when a download was last merged
    std::time_t warned = 0;       // when the full-logger warning was last given
    std::time_t merge_again = 0;  // 0, or when to merge the last download again
    int broken = 0;               // the archive is not to be written
};

} // namespace

int command_run(FrontEnd &f)
{
    if (!own_services_ready(f.config))
        return 2;
    Events &e = events;
    // The archive is made first, so that a second run finds it held.
    auto keeper = std::make_unique<ArchiveKeeper>(f, e);
    int held;
    std::string error;
    if (!run_lock_take(archive_path(f), &held, &error)) {
        std::fprintf(stderr, "nimbrel: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<RecordFeed> web;
    if (!web_feed_for_run(f, &web)) {
        run_lock_release(held);
        return 1;
    }
    e.show_bar = 0;  // a log, not a terminal
    Session s = make_session(f, catch_up_file);
    // Stopped in this order at the end: the uploads, the services' own
    // feed (which reports to the broker), the broker, the page.
    FeedList feeds;
    feeds.push_back(upload_feed(f.config, f.destination));
    Publisher *publisher = publisher_start(f.config.mqtt, f.config.units, log_publisher_line);
    if (auto services = own_services_feed(f, archive_path(f), publisher))
        feeds.push_back(std::move(services));
    if (publisher)
        feeds.push_back(std::make_unique<MqttFeed>(publisher, f.config.units));
    if (web)
        feeds.push_back(std::move(web));
    feeds.push_back(std::move(keeper));
    e.feeds = &feeds;
    stay_connected(s, e, link_hooks(e));
    e.feeds = nullptr;
    for (auto &feed : feeds)
        feed.reset();
    run_lock_release(held);
    log_line("stopped");
    return 0;
}
