// The web server on Debian's cpp-httplib: one handler per route, each a
// read of the archive or the live readings turned into JSON by web/api.
// Nothing served changes anything, and nothing holds a station ID or key.
//
// The listening socket, the accept loop and each connection's reads are our
// own, so that a slow or stalled client cannot hold the page up for others:
// a request must arrive whole within REQUEST_S however it trickles, a client
// gets at most CLIENT_CONNECTIONS at once, and WORKERS answer. The library
// parses and routes each request.
#include "web/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "archive/archive.h"
#include "common/host_port.h"
#include "report/report_days.h"
#include "web/archive_answers.h"
#include "web/api.h"
#include "web/page_files.h"

namespace {

constexpr int REQUEST_S = 10;           // a request's line, header and body
constexpr int KEEP_ALIVE_S = 5;         // waiting for a connection's next request
constexpr int KEEP_ALIVE_REQUESTS = 100;
constexpr int WRITE_S = 5;              // without progress in sending an answer
constexpr int CLIENT_CONNECTIONS = 8;   // a browser opens six at most
constexpr int WORKERS = 32;
constexpr int SLICE_MS = 100;           // how soon a stop is seen
constexpr int LINGER_MS = 500;

using Clock = std::chrono::steady_clock;

// One connection's bytes for the library, read against the deadline of the
// request under way rather than a time-out that every byte renews.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(int fd, const std::atomic<int> *stopping) : fd_(fd), stopping_(stopping) {}
    void start_request(Clock::time_point deadline) { deadline_ = deadline; }
    int buffered() const { return have_ < got_; }
    // 1 when bytes (or the end) came before `until`.
    int wait(short events, Clock::time_point until) const
    {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (left <= 0 || stopping_->load())
                return 0;
            pollfd p = {fd_, events, 0};
            const int got = poll(&p, 1, static_cast<int>(left < SLICE_MS ? left : SLICE_MS));
            if (got > 0)
                return 1;
            if (got < 0 && errno != EINTR)
                return 0;
        }
    }
    bool is_readable() const override { return have_ < got_ || wait(POLLIN, deadline_); }
    bool is_writable() const override { return wait(POLLOUT, Clock::now() + std::chrono::seconds(WRITE_S)); }
    ssize_t read(char *ptr, size_t size) override
    {
        if (have_ == got_) {
            if (!wait(POLLIN, deadline_))
                return -1;
            const ssize_t n = recv(fd_, buffer_, sizeof buffer_, 0);
            if (n <= 0)
                return n;
            have_ = 0;
            got_ = static_cast<size_t>(n);
        }
        const size_t n = size < got_ - have_ ? size : got_ - have_;
        std::memcpy(ptr, buffer_ + have_, n);
        have_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char *ptr, size_t size) override
    {
        if (!is_writable())
            return -1;
        // What fits now: a reader that stalls holds a worker WRITE_S at most,
        // never in a send that waits for it to take everything.
        const ssize_t sent = send(fd_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        return sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : sent;
    }
    void get_remote_ip_and_port(std::string &ip, int &port) const override { address(getpeername, ip, port); }
    void get_local_ip_and_port(std::string &ip, int &port) const override { address(getsockname, ip, port); }
    socket_t socket() const override { return fd_; }

private:
    void address(int (*name)(int, sockaddr *, socklen_t *), std::string &ip, int &port) const
    {
        sockaddr_storage a = {};
        socklen_t length = sizeof a;
        char text[INET6_ADDRSTRLEN] = "";
        port = 0;
        if (name(fd_, reinterpret_cast<sockaddr *>(&a), &length) == 0) {
            const int v6 = a.ss_family == AF_INET6;
            const void *at = v6 ? static_cast<const void *>(&reinterpret_cast<sockaddr_in6 *>(&a)->sin6_addr)
                                : &reinterpret_cast<sockaddr_in *>(&a)->sin_addr;
            inet_ntop(a.ss_family, at, text, sizeof text);
            port = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&a)->sin6_port
                            : reinterpret_cast<sockaddr_in *>(&a)->sin_port);
        }
        ip = text;
    }
    int fd_;
    const std::atomic<int> *stopping_;
    Clock::time_point deadline_;
    char buffer_[4096];
    size_t have_ = 0, got_ = 0;
};

// The library's routing, driven a connection at a time by our own loop.
class Router : public httplib::Server {
public:
    // The library ends a chunked answer at once while it believes it has no
    // listening socket: it is told ours, and told again when it goes.
    void serving(int fd) { svr_sock_ = fd; }
    void answer(int fd, const std::atomic<int> *stopping)
    {
        ConnectionStream stream(fd, stopping);
        auto deadline = Clock::now() + std::chrono::seconds(REQUEST_S);
        for (int n = 0; n < KEEP_ALIVE_REQUESTS && !stopping->load(); ++n) {
            if (n > 0) {
                if (!stream.buffered() && !stream.wait(POLLIN, Clock::now() + std::chrono::seconds(KEEP_ALIVE_S)))
                    break;
                deadline = Clock::now() + std::chrono::seconds(REQUEST_S);
            }
            stream.start_request(deadline);
            bool closed = false;
            if (!process_request(stream, n + 1 == KEEP_ALIVE_REQUESTS, closed, [](httplib::Request &) {}) ||
                closed)
                break;
        }
    }
};

} // namespace

struct WebServer {
    WebSettings settings;
    Router http;
    int listen_fd = -1;
    std::atomic<int> stopping{0};
    std::thread thread;
    std::unique_ptr<httplib::ThreadPool> workers;
    std::mutex clients_lock;
    std::map<std::string, int> clients;  // open connections per client address
    int port = 0;
    // One archive connection, used by one request at a time.
    std::mutex archive_lock;
    Archive *archive = nullptr;
    // The archive's newest time and record step, kept until a merge has
    // changed the archive and a while has passed: finding the step reads
    // every record, a second on ten years of them.
    ArchiveSummary extent;
    std::chrono::steady_clock::time_point extent_at;
    long long extent_version = 0;
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
        const long long version = archive_version(s->archive);
        if ((!s->have_extent || version < 0 || version != s->extent_version) &&
            !archive_summary(s->archive, &s->extent, &failure)) {
            *error = failure.message;
            return 0;
        }
        s->have_extent = 1;
        s->extent_at = now;
        s->extent_version = version;
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
    ArchiveError failure;
    if (s->archive && !series_from_archive(s->archive, &builder, AnswerSource::summaries, &failure))
        return refuse(res, 503, "archive: " + failure.message);
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
    ArchiveError failure;
    if (s->archive && !summary_from_archive(s->archive, &builder, AnswerSource::summaries, &failure))
        return refuse(res, 503, "archive: " + failure.message);
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

// The month's or year's climate report as text, to read or to download.
void on_report(WebServer *s, const httplib::Request &req, httplib::Response &res)
{
    if (!check_query(req, {"period", "download"}, res))
        return;
    const std::string period = param(req, "period");
    int year, month;
    if (!parse_report_period(period, &year, &month))
        return refuse(res, 400, "period: expected YYYY-MM or YYYY, not \"" + period + "\"");
    std::vector<DaySummary> days;
    std::string error, text;
    {
        std::lock_guard<std::mutex> hold(s->archive_lock);
        if (!have_archive(s, &error) || (s->archive && !report_days(s->archive, year, month, &days, &error)))
            return refuse(res, 503, "archive: " + error);
    }
    if (!climate_report(year, month, days, s->settings.units, &text))
        return refuse(res, 404, "the archive holds no records of " + period);
    if (param(req, "download") == "1")
        res.set_header("Content-Disposition", "attachment; filename=\"nimbrel-report-" + period + ".txt\"");
    res.set_header("Cache-Control", "no-store");
    res.set_content(text, "text/plain; charset=utf-8");
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

// ---- connections ------------------------------------------------------------

// A page of another site whose name was pointed at this machine (DNS
// rebinding) comes with that name as its Host. An address, localhost and
// the owner's own names (`http-hosts`) are answered; the port is not looked at.
int host_allowed(const std::string &header, const std::vector<std::string> &names)
{
    std::string host;
    for (char c : header)
        host += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!host.empty() && host[0] == '[') {
        const std::size_t close = host.find(']');
        in6_addr a;
        return close != std::string::npos &&
               inet_pton(AF_INET6, host.substr(1, close - 1).c_str(), &a) == 1;
    }
    const std::size_t colon = host.rfind(':');
    if (colon != std::string::npos)
        host.erase(colon);
    if (!host.empty() && host.back() == '.')
        host.pop_back();
    in_addr a;
    if (inet_pton(AF_INET, host.c_str(), &a) == 1 || host == "localhost")
        return 1;
    for (const std::string &name : names)
        if (host == name)
            return 1;
    return 0;
}

// The client reads the whole answer before the connection goes: a close
// with request bytes still unread would reset it and lose the answer.
void close_gently(int fd, const std::atomic<int> &stopping)
{
    shutdown(fd, SHUT_WR);
    char sink[1024];
    const auto until = Clock::now() + std::chrono::milliseconds(LINGER_MS);
    while (Clock::now() < until && !stopping.load()) {
        pollfd p = {fd, POLLIN, 0};
        const int got = poll(&p, 1, SLICE_MS);
        if (got < 0 && errno != EINTR)
            break;
        if (got > 0 && recv(fd, sink, sizeof sink, MSG_DONTWAIT) <= 0)
            break;
    }
    close(fd);
}

void turn_away(int fd, const std::atomic<int> &stopping)
{
    const std::string reason = "too many connections from this address at once\n";
    const std::string answer = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; "
                               "charset=utf-8\r\nRetry-After: 10\r\nConnection: close\r\n"
                               "Content-Length: " + std::to_string(reason.size()) + "\r\n\r\n" + reason;
    if (send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
        // Nothing can be said to it; the close below is all.
    }
    close_gently(fd, stopping);
}

std::string client_of(const sockaddr_storage &peer)
{
    char text[INET6_ADDRSTRLEN] = "";
    if (peer.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(&peer)->sin6_addr, text, sizeof text);
    else
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(&peer)->sin_addr, text, sizeof text);
    return text;
}

void accept_loop(WebServer *s)
{
    while (!s->stopping.load()) {
        pollfd p = {s->listen_fd, POLLIN, 0};
        if (poll(&p, 1, SLICE_MS) <= 0)
            continue;
        sockaddr_storage peer = {};
        socklen_t length = sizeof peer;
        const int fd = accept4(s->listen_fd, reinterpret_cast<sockaddr *>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: the waiting connection stays queued a while.
            if (errno == EMFILE || errno == ENFILE)
                std::this_thread::sleep_for(std::chrono::milliseconds(SLICE_MS));
            continue;
        }
        const std::string client = client_of(peer);
        int admitted;
        {
            std::lock_guard<std::mutex> hold(s->clients_lock);
            admitted = ++s->clients[client] <= CLIENT_CONNECTIONS;
            if (!admitted)
                --s->clients[client];
        }
        s->workers->enqueue([s, fd, client, admitted] {
            if (!admitted)
                return turn_away(fd, s->stopping);
            s->http.answer(fd, &s->stopping);
            close_gently(fd, s->stopping);
            std::lock_guard<std::mutex> hold(s->clients_lock);
            if (--s->clients[client] == 0)
                s->clients.erase(client);
        });
    }
}

// Binds without SO_REUSEPORT, which would share the port with another
// program (a second nimbrel included) that then takes half the requests.
int listen_on(const std::string &address, int port, int *fd_out, int *port_out, std::string *error)
{
    const std::string where = "cannot listen on " + address + ":" + std::to_string(port);
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    const int looked = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (looked != 0) {
        *error = where + ": " + gai_strerror(looked);
        return 0;
    }
    int fd = -1, why = 0;
    for (addrinfo *a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            why = errno;
            continue;
        }
        // Only a port the last run left waiting (TIME_WAIT) is taken again.
        const int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, 64) != 0) {
            why = errno;
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) {
        *error = where + (why == EADDRINUSE      ? ": the port is in use (another nimbrel, or another program)"
                          : why == EADDRNOTAVAIL ? ": not an address of this machine"
                                                 : ": " + std::string(std::strerror(why)));
        return 0;
    }
    sockaddr_storage bound = {};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length);
    *port_out = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                                  : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
    *fd_out = fd;
    return 1;
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
    Router &http = s->http;
    http.set_default_headers({{"X-Content-Type-Options", "nosniff"}});
    // Nothing here takes a body; one is not kept in memory.
    http.set_payload_max_length(8192);
    http.set_pre_routing_handler([s](const httplib::Request &req, httplib::Response &res) {
        const std::string host = req.get_header_value("Host");
        if (!req.has_header("Host") || host_allowed(host, s->settings.hosts))
            return httplib::Server::HandlerResponse::Unhandled;
        refuse(res, 421,
               "this server does not answer to the name \"" + host +
                   "\"; add it to http-hosts in the configuration");
        return httplib::Server::HandlerResponse::Handled;
    });
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
    http.Get("/api/report", [s](const httplib::Request &req, httplib::Response &res) {
        on_report(s, req, res);
    });
    http.Get("/api/uploads", [s](const httplib::Request &req, httplib::Response &res) {
        if (check_query(req, {}, res))
            answer_json(res, s->settings.uploads ? s->settings.uploads() : "{}");
    });
    http.Get("/api/.*", [](const httplib::Request &, httplib::Response &res) {
        refuse(res, 404, "no such API; see /api/live, /api/series, /api/summary, /api/export, "
                         "/api/report, /api/uploads");
    });
    http.Get("/[A-Za-z0-9._-]*", [s](const httplib::Request &req, httplib::Response &res) {
        on_file(s, req, res);
    });
    if (!listen_on(settings.address, settings.port, &s->listen_fd, &s->port, error)) {
        archive_close(s->archive);
        delete s;
        return 0;
    }
    http.serving(s->listen_fd);
    s->workers.reset(new httplib::ThreadPool(WORKERS));
    s->thread = std::thread([s] { accept_loop(s); });
    *out = s;
    return 1;
}

int web_server_port(const WebServer *server) { return server ? server->port : 0; }

void web_server_stop(WebServer *s)
{
    if (!s)
        return;
    s->stopping = 1;
    s->http.serving(INVALID_SOCKET);
    if (s->thread.joinable())
        s->thread.join();
    close(s->listen_fd);
    // Every worker sees the stop within a slice of its wait.
    s->workers->shutdown();
    archive_close(s->archive);
    delete s;
}
