#include "cli/serve.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "cli/live_text.h"
#include "cli/log.h"
#include "cli/platform.h"
#include "cli/session.h"
#include "station/messages.h"
#include "web/server.h"

namespace {

// Written by the thread that polls the console, read by the server's.
struct LiveFeed {
    std::mutex lock;
    std::string record;
    int connected = 0;
};
LiveFeed feed;

constexpr int POLL_MS = 200;
constexpr int RETRY_MS = 2000;
const char default_http[] = "127.0.0.1:8470";

std::string archive_path_of(const FrontEnd &)
{
    const char *xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/nimbrel/archive.sqlite";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share/nimbrel/archive.sqlite";
}

int start_web(FrontEnd &f, const std::string &where, WebServer **server)
{
    WebSettings settings;
    if (!parse_http_address(where, &settings.address, &settings.port)) {
        std::fprintf(stderr, "nimbrel: --http needs ADDRESS:PORT, not \"%s\"\n", where.c_str());
        return 0;
    }
    settings.archive_path = archive_path_of(f);
    settings.units = f.config.units;
    settings.live = [](std::string *record, int *connected) {
        std::lock_guard<std::mutex> hold(feed.lock);
        *record = feed.record;
        *connected = feed.connected;
    };
    const UnitSettings units = f.config.units;
    settings.readings = [units](const std::string &record) {
        LiveValues values;
        decode_station_record_n(record.c_str(), LIVE_RECORD_BYTES, &values);
        return live_json(values, units);
    };
    std::string error;
    if (!web_server_start(settings, server, &error)) {
        std::fprintf(stderr, "nimbrel: %s\n", error.c_str());
        return 0;
    }
    const std::string host =
        settings.address.find(':') != std::string::npos ? "[" + settings.address + "]" : settings.address;
    log_line("web page on http://%s:%d/", host.c_str(), web_server_port(*server));
    return 1;
}

void on_notice(void *, unsigned message, std::intptr_t lparam)
{
    if (message == UM_LIVE_RECORD)
        web_feed_record(reinterpret_cast<const char *>(lparam));
}

} // namespace

void web_feed_record(const char *record)
{
    std::lock_guard<std::mutex> hold(feed.lock);
    const void *end = std::memchr(record, 0, LIVE_RECORD_BYTES);
    feed.record.assign(record, end ? static_cast<const char *>(end) - record : LIVE_RECORD_BYTES);
    feed.connected = 1;
}

void web_feed_connected(int connected)
{
    std::lock_guard<std::mutex> hold(feed.lock);
    feed.connected = connected;
}

int start_run_web(FrontEnd &f, WebServer **server)
{
    *server = nullptr;
    const std::string &where = f.options.http.empty() ? f.config.http : f.options.http;
    return where.empty() || start_web(f, where, server);
}

// Serves until a stop, keeping an eye on the console when one is there:
// its live readings go to the page, nothing is sent to it beyond the
// greeting that asks for them.
int command_serve(FrontEnd &f)
{
    const std::string &where = !f.options.http.empty() ? f.options.http
                               : !f.config.http.empty() ? f.config.http
                                                        : std::string(default_http);
    WebServer *server = nullptr;
    if (!start_web(f, where, &server))
        return 1;
    Session s{};
    s.port = f.port;
    s.handler = SessionHandler{nullptr, on_notice};
    static const char16_t no_file[1] = {0};
    s.export_file_name = no_file;
    while (!stop_requested()) {
        if (!s.open && !session_connect(s)) {
            for (int waited = 0; waited < RETRY_MS && !stop_requested(); waited += POLL_MS)
                std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
            continue;
        }
        web_feed_connected(1);
        if (session_poll(s, POLL_MS) == PORT_GONE)
            web_feed_connected(0);
    }
    session_close(s);
    web_server_stop(server);
    log_line("stopped");
    return 0;
}
