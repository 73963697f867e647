// The web server: one page and a read-only JSON API over the archive and
// the live readings, on a loopback or LAN address. It answers from its own
// threads; what it needs from the front end comes in as callbacks.
#pragma once
#include <functional>
#include <string>

#include "history/export_writer.h"
#include "settings/unit_settings.h"

struct WebServer;

struct WebExport {
    // Writes the file's bytes to the sink as the answer goes out, so that
    // no export is ever held in memory whole; 0 when it could not finish.
    std::function<int(const ByteSink &sink)> write;
    std::string file_name;   // offered to the browser
};

struct WebSettings {
    std::string address = "127.0.0.1";
    int port = 8470;          // 0: any free port (web_server_port tells which)
    std::string archive_path;
    UnitSettings units;
    // The console's newest live record and whether it is still connected;
    // no record (empty) when none came, and then the archive's newest one
    // stands in, marked stale. Called on a server thread.
    std::function<void(std::string *record, int *connected)> live;
    // A station record's readings as the JSON object /api/live carries.
    std::function<std::string(const std::string &record)> readings;
    // The export file of a period ("YYYY-MM-DD" each) and data-set list, as
    // `nimbrel export --archive` writes it, checked and ready to be
    // written; 0 with a one-line reason.
    std::function<int(const std::string &from, const std::string &to, const std::string &sets,
                      WebExport *file, std::string *error)>
        export_file;
};

// "ADDRESS:PORT" ("127.0.0.1:8470", "0.0.0.0:80", "[::1]:8470"); 0 when it
// is not one.
int parse_http_address(const std::string &text, std::string *address, int *port);

// Binds and starts answering; 0 with a one-line message when the address
// cannot be bound or the archive cannot be opened.
int web_server_start(const WebSettings &settings, WebServer **server, std::string *error);
int web_server_port(const WebServer *server);
// Stops answering and frees the server; null is allowed.
void web_server_stop(WebServer *server);
