// The web server on Debian's cpp-httplib: one handler per route, each a
// read of the archive or the live readings turned into JSON by web/api.
// Nothing served changes anything, and nothing holds a station ID or key.
#include "web/server.h"

#include <httplib.h>

#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "archive/archive.h"
#include "common/host_port.h"
#include "web/api.h"
#include "web/page_files.h"

struct WebServer {
    WebSettings settings;
    httplib::Server http;
    std::thread thread;
    int port = 0;
    // One archive connection, used by one request at a time.
    std::mutex archive_lock;
    Archive *archive = nullptr;
    // The archive's newest time and record step, kept for a while: finding
    // the step reads every record, which would double a day chart's time.
    ArchiveSummary extent;
    std::chrono::steady_clock::time_point extent_at;
    int have_extent = 0;
    std::string texts;
};

namespace {

// A new record shows in the charts' default end this long after it was
// archived at most.
constexpr int EXTENT_KEEP_S = 20;

constexpr std::size_t ANSWER_BUFFER_BYTES = 64 * 1024;

// An answer sent in chunks of about ANSWER_BUFFER_BYTES.
struct ChunkedAnswer {
    httplib::DataSink *out;
    std::string pending;
    int flush()
    {
        const int sent = pending.empty() || out->write(pending.data(), pending.size());
        pending.clear();
        return sent;
    }
};

int answer_bytes(void *context, const std::uint8_t *bytes, std::size_t count)
{
    auto &answer = *static_cast<ChunkedAnswer *>(context);
    answer.pending.append(reinterpret_cast<const char *>(bytes), count);
    return answer.pending.size() < ANSWER_BUFFER_BYTES || answer.flush();
}

void answer_json(httplib::Response &res, const std::string &json)
{
    res.set_header("Cache-Control", "no-store");
    res.set_content(json, "application/json; charset=utf-8");
}

void refuse(httplib::Response &res, int status, const std::string &reason)
{
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(reason + "\n", "text/plain; charset=utf-8");
}

// Every route takes a few known parameters once each; anything else, or a
// query too long to be one of ours, is refused rather than ignored.
int check_query(const httplib::Request &req, std::initializer_list<const char *> known,
                httplib::Response &res)
{
    const std::size_t mark = req.target.find('?');
    if (mark != std::string::npos && req.target.size() - mark - 1 > QUERY_MAX_BYTES) {
        refuse(res, 400, "the query is longer than " + std::to_string(QUERY_MAX_BYTES) + " bytes");
        return 0;
    }
    for (const auto &p : req.params) {
        int ok = 0;
        for (const char *name : known)
            ok |= p.first == name;
        if (!ok) {
            refuse(res, 400, "unknown parameter \"" + p.first + "\"");
            return 0;
        }
        if (req.params.count(p.first) > 1) {
            refuse(res, 400, "parameter \"" + p.first + "\" given twice");
            return 0;
        }
    }
    return 1;
}

std::string param(const httplib::Request &req, const char *name)
{
    return req.has_param(name) ? req.get_param_value(name) : std::string();
}

// The archive is opened when it is first there: serving a page starts
// no empty archive, and one that a catch-up starts later is found. 0 when
// it is there and cannot be opened; 1 with s->archive null while it is not.
int have_archive(WebServer *s, std::string *error)
{
    if (s->archive || access(s->settings.archive_path.c_str(), F_OK) != 0)
        return 1;
    ArchiveError failure;
    if (archive_open(s->settings.archive_path, &s->archive, &failure))
        return 1;
    *error = failure.message;
    return 0;
}

// The newest record's time (this machine's clock when the archive is
// empty) and the step between records.
int archive_extent(WebServer *s, long long *newest, int *interval, std::string *error)
{
    const auto now = std::chrono::steady_clock::now();
    if (!have_archive(s, error))
        return 0;
    if (!s->archive) {
        s->extent = ArchiveSummary{};
    } else if (!s->have_extent || now - s->extent_at > std::chrono::seconds(EXTENT_KEEP_S)) {
        ArchiveError failure;
        if (!archive_summary(s->archive, &s->extent, &failure)) {
            *error = failure.message;
            return 0;
        }
        s->have_extent = 1;
        s->extent_at = now;
    }
    const ArchiveSummary &summary = s->extent;
    *interval = summary.interval_minutes;
    if (summary.count > 0) {
        *newest = summary.last;
    } else {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
        parse_clock_time(text, 0, newest);
    }
    return 1;
}

// Hands each record from..to to add, in time order.
template <typename Add>
int each_record(WebServer *s, long long from, long long to, Add add, std::string *error)
{
    if (!s->archive)
        return 1;
    ArchiveError failure;
    if (archive_each(s->archive, from, to,
                     [&](const ArchiveRecord &r) {
                         add(WebRecord{r.minute, r.text});
                         return 1;
                     },
                     &failure))
        return 1;
    *error = failure.message;
    return 0;
}

// The console's reading, or the archive's newest record when the console
// sent none; either is stale once the console is gone.
void on_live(WebServer *s, const httplib::Request &req, httplib::Response &res)
{
    if (!check_query(req, {}, res))
        return;
    std::string record, error;
    int connected = 0;
    if (s->settings.live)
        s->settings.live(&record, &connected);
    const char *source = "console";
    if (record.empty()) {
        source = "archive";
        connected = 0;
        std::lock_guard<std::mutex> hold(s->archive_lock);
        long long newest;
        int interval;
        ArchiveError failure;
        if (archive_extent(s, &newest, &interval, &error) && s->extent.count > 0)
            archive_each(s->archive, s->extent.last, s->extent.last,
                         [&](const ArchiveRecord &r) {
                             record.assign(r.text, r.length);
                             return 1;
                         },
                         &failure);
    }
    if (record.empty())
        return answer_json(res, live_answer_json("", "none", 1, ""));
    std::string time;
    long long minutes;
    const std::string read_at =
        archive_record_time(record, &time) && parse_clock_time(time, 0, &minutes) ? iso_time(minutes)
                                                                                  : "";
    const std::string readings = s->settings.readings ? s->settings.readings(record) : "";
    answer_json(res, live_answer_json(readings, source, !connected, read_at));
}

void on_series(WebServer *s, const httplib::Request &req, httplib::Response &res)
{
    if (!check_query(req, {"from", "to", "fields"}, res))
        return;
    std::lock_guard<std::mutex> hold(s->archive_lock);
    long long newest;
    int interval;
    std::string error;
    if (!archive_extent(s, &newest, &interval, &error))
        return refuse(res, 503, "archive: " + error);
    SeriesRequest request;
    if (!parse_series_request(param(req, "from"), param(req, "to"), param(req, "fields"), newest,
                              interval, &request, &error))
        return refuse(res, 400, error);
    SeriesBuilder builder;
    series_start(&builder, request, s->settings.units);
    // From the day's start, so that the first bucket's rain is what fell
    // in it rather than since midnight.
    if (!each_record(s, request.from - request.from % 1440, request.to,
                     [&](const WebRecord &r) { series_add(&builder, r); }, &error))
        return refuse(res, 503, "archive: " + error);
    answer_json(res, series_json(builder));
}

void on_summary(WebServer *s, const httplib::Request &req, httplib::Response &res)
{
    if (!check_query(req, {"period", "date"}, res))
        return;
    std::lock_guard<std::mutex> hold(s->archive_lock);
    long long newest;
    int interval;
    std::string error;
    if (!archive_extent(s, &newest, &interval, &error))
        return refuse(res, 503, "archive: " + error);
    SummaryRequest request;
    if (!parse_summary_request(param(req, "period"), param(req, "date"), newest, &request, &error))
        return refuse(res, 400, error);
    SummaryBuilder builder;
    summary_start(&builder, request, s->settings.units);
    if (!each_record(s, request.from, request.to,
                     [&](const WebRecord &r) { summary_add(&builder, r); }, &error))
        return refuse(res, 503, "archive: " + error);
    answer_json(res, summary_json(builder));
}

void on_export(WebServer *s, const httplib::Request &req, httplib::Response &res)
{
    if (!check_query(req, {"from", "to", "sets"}, res))
        return;
    const std::string from = param(req, "from"), to = param(req, "to");
    long long a, b;
    if ((!from.empty() && (from.size() != 10 || !parse_clock_time(from, 0, &a))) ||
        (!to.empty() && (to.size() != 10 || !parse_clock_time(to, 0, &b))))
        return refuse(res, 400, "from and to: expected YYYY-MM-DD");
    if (from.empty() != to.empty())
        return refuse(res, 400, "from and to go together; neither exports everything");
    if (!from.empty() && a > b)
        return refuse(res, 400, "from is after to");
    if (!s->settings.export_file)
        return refuse(res, 503, "export is not available");
    WebExport file;
    std::string error;
    // The export reads through a connection of its own, so charts are not
    // held up by a long one.
    if (!s->settings.export_file(from, to, param(req, "sets"), &file, &error))
        return refuse(res, 400, error);
    res.set_header("Content-Disposition", "attachment; filename=\"" + file.file_name + "\"");
    res.set_header("Cache-Control", "no-store");
    // Chunked, a buffer at a time: a year's file never sits in memory.
    const auto write = file.write;
    res.set_chunked_content_provider("text/csv", [write](std::size_t, httplib::DataSink &out) {
        ChunkedAnswer answer{&out, {}};
        answer.pending.reserve(ANSWER_BUFFER_BYTES);
        if (!write(ByteSink{&answer, answer_bytes}) || !answer.flush())
            return false;
        out.done();
        return true;
    });
}

void on_file(WebServer *s, const httplib::Request &req, httplib::Response &res)
{
    const std::string name = req.path == "/" ? "index.html" : req.path.substr(1);
    if (name == "texts.json") {
        res.set_header("Cache-Control", "no-cache");
        res.set_content(s->texts, "application/json; charset=utf-8");
        return;
    }
    const PageFile *file = page_file(name);
    // The language files reach the page as texts.json only.
    if (!file || name.find(".ini") != std::string::npos)
        return refuse(res, 404, "no such page");
    res.set_header("Cache-Control", "no-cache");
    res.set_content(reinterpret_cast<const char *>(file->bytes), file->size, file->content_type);
}

} // namespace

int parse_http_address(const std::string &text, std::string *address, int *port)
{
    return parse_host_port(text, HTTP_ADDRESS, address, port);
}

int web_server_start(const WebSettings &settings, WebServer **out, std::string *error)
{
    *out = nullptr;
    WebServer *s = new WebServer;
    s->settings = settings;
    // An archive that is there but cannot be used is said at once.
    if (!have_archive(s, error)) {
        delete s;
        return 0;
    }
    s->texts = page_texts_json();
    httplib::Server &http = s->http;
    http.set_default_headers({{"X-Content-Type-Options", "nosniff"}});
    http.Get("/api/live", [s](const httplib::Request &req, httplib::Response &res) {
        on_live(s, req, res);
    });
    http.Get("/api/series", [s](const httplib::Request &req, httplib::Response &res) {
        on_series(s, req, res);
    });
    http.Get("/api/summary", [s](const httplib::Request &req, httplib::Response &res) {
        on_summary(s, req, res);
    });
    http.Get("/api/export", [s](const httplib::Request &req, httplib::Response &res) {
        on_export(s, req, res);
    });
    http.Get("/api/.*", [](const httplib::Request &, httplib::Response &res) {
        refuse(res, 404, "no such API; see /api/live, /api/series, /api/summary, /api/export");
    });
    http.Get("/[A-Za-z0-9._-]*", [s](const httplib::Request &req, httplib::Response &res) {
        on_file(s, req, res);
    });
    s->port = settings.port == 0 ? http.bind_to_any_port(settings.address)
                                 : (http.bind_to_port(settings.address, settings.port)
                                        ? settings.port
                                        : -1);
    if (s->port <= 0) {
        *error = "cannot listen on " + settings.address + ":" + std::to_string(settings.port) +
                 " (address in use or not this machine's?)";
        archive_close(s->archive);
        delete s;
        return 0;
    }
    s->thread = std::thread([s] { s->http.listen_after_bind(); });
    // A stop before the loop runs would not reach it.
    for (int i = 0; i < 2000 && !http.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    *out = s;
    return 1;
}

int web_server_port(const WebServer *server) { return server ? server->port : 0; }

void web_server_stop(WebServer *s)
{
    if (!s)
        return;
    s->http.stop();
    if (s->thread.joinable())
        s->thread.join();
    archive_close(s->archive);
    delete s;
}
