#include "cli/serve.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>

#include "cli/archive_commands.h"
#include "cli/archive_export.h"
#include "cli/live_text.h"
#include "cli/log.h"
#include "cli/own_services.h"
#include "cli/platform.h"
#include "common/calendar.h"
#include "common/retry.h"
#include "console/session.h"
#include "history/export_checks.h"
#include "history/export_writer.h"
#include "station/messages.h"
#include "web/server.h"

namespace {

// The page's live feed: the latest record and whether the console is
// there, written by the thread that polls the console and read by the
// server's. It stops the server when it goes.
class WebFeed : public RecordFeed {
public:
    ~WebFeed() override { web_server_stop(server); }
    void record(const char *bytes, const LiveValues &) override
    {
        std::lock_guard<std::mutex> hold(lock);
        const void *end = std::memchr(bytes, 0, LIVE_RECORD_BYTES);
        live.assign(bytes, end ? static_cast<const char *>(end) - bytes : LIVE_RECORD_BYTES);
        connected = 1;
    }
    void console(int present) override
    {
        std::lock_guard<std::mutex> hold(lock);
        connected = present;
    }
    void read(std::string *record, int *present)
    {
        std::lock_guard<std::mutex> hold(lock);
        *record = live;
        *present = connected;
    }
    WebServer *server = nullptr;

private:
    std::mutex lock;
    std::string live;
    int connected = 0;
};

const char default_http[] = "127.0.0.1:8470";

// The export file of `nimbrel export --archive` for a period (both empty:
// everything) and data sets, checked by the Windows program's own rules.
int export_for_web(const std::string &archive_path, const UnitSettings &units,
                   const std::string &from, const std::string &to, const std::string &sets,
                   WebExport *out, std::string *error)
{
    ExportRequest request{};
    int data_set[15];
    if (!parse_data_sets(sets, data_set, error)) {
        *error = error->substr(error->find("sets"));
        return 0;
    }
    std::u16string parts[6];
    if (!from.empty() && (!split_date(from, parts) || !split_date(to, parts + 3))) {
        *error = "from and to: expected YYYY-MM-DD";
        return 0;
    }
    DateFields fields{};
    for (int i = 0; i < 6; ++i)
        fields.text[i] = parts[i].c_str();
    if (const char16_t *message = check_export_fields(from.empty(), fields, data_set, request)) {
        *error = utf8_text(message);
        return 0;
    }
    if (access(archive_path.c_str(), F_OK) != 0) {
        *error = "there is no archive yet (`nimbrel catch-up` starts it)";
        return 0;
    }
    long long first = ARCHIVE_FIRST, last = ARCHIVE_LAST;
    if (!from.empty()) {
        archive_bound(from, 0, &first);
        archive_bound(to, 1, &last);
    }
    out->write = [archive_path, units, request, first, last](const ByteSink &sink) {
        Archive *archive;
        ArchiveError failure;
        if (!archive_open(archive_path, &archive, &failure))
            return 0;
        const int written = write_archive_export(archive, first, last, request, units, sink,
                                                 &failure);
        archive_close(archive);
        release_free_heap();
        return written;
    };
    out->file_name = from.empty() ? "nimbrel-all.csv" : "nimbrel-" + from + "-" + to + ".csv";
    return 1;
}

// The page at `where`, with its feed; null (with the reason on standard
// error) when the server cannot start.
std::unique_ptr<WebFeed> start_web(FrontEnd &f, const std::string &where)
{
    auto feed = std::make_unique<WebFeed>();
    WebFeed *live = feed.get();
    WebSettings settings;
    settings.uploads = own_services_json;
    parse_http_address(where, &settings.address, &settings.port);
    settings.archive_path = archive_path(f);
    settings.hosts = f.config.http_hosts;
    settings.units = f.config.units;
    settings.live = [live](std::string *record, int *connected) { live->read(record, connected); };
    const UnitSettings units = f.config.units;
    settings.readings = [units](const std::string &record) {
        LiveValues values;
        decode_station_record_n(record.c_str(), LIVE_RECORD_BYTES, &values);
        return live_json(values, units);
    };
    const std::string path = settings.archive_path;
    settings.export_file = [path, units](const std::string &from, const std::string &to,
                                         const std::string &sets, WebExport *file,
                                         std::string *error) {
        return export_for_web(path, units, from, to, sets, file, error);
    };
    std::string error;
    if (!web_server_start(settings, &feed->server, &error)) {
        std::fprintf(stderr, "nimbrel: %s\n", error.c_str());
        return nullptr;
    }
    const std::string host =
        settings.address.find(':') != std::string::npos ? "[" + settings.address + "]" : settings.address;
    log_line("web page on http://%s:%d/", host.c_str(), web_server_port(feed->server));
    return feed;
}

// `serve`'s notifications: the live records, to every feed.
void on_notice(void *context, unsigned message, std::intptr_t lparam)
{
    if (message != UM_LIVE_RECORD)
        return;
    const char *bytes = reinterpret_cast<const char *>(lparam);
    LiveValues values;
    decode_station_record_n(bytes, LIVE_RECORD_BYTES, &values);
    for (auto &feed : *static_cast<FeedList *>(context))
        feed->record(bytes, values);
}

} // namespace

int web_feed_for_run(FrontEnd &f, std::unique_ptr<RecordFeed> *feed)
{
    feed->reset();
    const std::string &where = f.options.http.empty() ? f.config.http : f.options.http;
    if (where.empty())
        return 1;
    *feed = start_web(f, where);
    return *feed != nullptr;
}

int check_http_option(const FrontEnd &f)
{
    std::string address;
    int port;
    if (f.options.http.empty() || parse_http_address(f.options.http, &address, &port))
        return 1;
    std::fprintf(stderr, "nimbrel: --http needs ADDRESS:PORT, not \"%s\"\n", f.options.http.c_str());
    return 0;
}

// Serves until a stop, keeping an eye on the console when one is there:
// its live readings go to the page, nothing is sent to it beyond the
// greeting that asks for them.
int command_serve(FrontEnd &f)
{
    const std::string &where = !f.options.http.empty() ? f.options.http
                               : !f.config.http.empty() ? f.config.http
                                                        : std::string(default_http);
    FeedList feeds;
    feeds.push_back(start_web(f, where));
    if (!feeds.back())
        return 1;
    Session s{};
    s.port = f.port;
    s.handler = SessionHandler{&feeds, on_notice};
    static const char16_t no_file[1] = {0};
    s.export_file_name = no_file;
    while (!stop_requested()) {
        if (!s.open) {
            if (!connect_until_stopped([&s] { return session_connect(s); }, stop_requested))
                break;
            for (auto &feed : feeds)
                feed->console(1);
        }
        if (session_poll(s, CONSOLE_POLL_MS) == PORT_GONE)
            for (auto &feed : feeds)
                feed->console(0);
    }
    session_close(s);
    feeds.clear();
    log_line("stopped");
    return 0;
}
