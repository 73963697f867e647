// How the companion's own services are reached: HTTPS (or HTTP) to each
// service's host through libcurl, certificates checked, every step within
// a time-out; CWOP over an APRS-IS session. For tests and for a relay of
// the owner's own, every HTTP request can go as plain HTTP to one server
// (with the service's own method, path, query, headers, body and its host
// in Host) and the APRS-IS session to another.
#pragma once
#include <atomic>
#include <string>

#include "upload/service_table.h"
#include "upload/upload_pace.h"

struct ServiceRoute {
    std::string upload_host;  // empty: each service's own host
    int upload_port = 0;
    bool upload_tls = false;  // the one server speaks HTTPS (a test's, with its own CA)
    std::string aprs_host;    // empty: CWOP's own servers
    int aprs_port = 0;
    std::string ca_file;      // the CAs HTTPS trusts; empty: $NIMBREL_CA_FILE, else the system's
    long timeout_ms = 30000;  // for each whole attempt
    std::string version;      // in the User-Agent
    long interval_ms = 0;     // 0: each service's own pace; set: this one for all (tests)
    const std::atomic<int> *cancel = nullptr;  // set: the attempt under way ends at once
};

// The environment variable naming a file of CA certificates that HTTPS
// trusts instead of the system's: a test's own CA, or the CA of a
// proxy of the owner's own.
constexpr char CA_FILE_VARIABLE[] = "NIMBREL_CA_FILE";

// One attempt of `request` for the service `row`. Never throws and never
// takes longer than about route.timeout_ms (APRS-IS: per port tried).
UploadReply send_service_request(const UploadService &row, const ServiceRoute &route,
                                 const ServiceRequest &request);

// One HTTP(S) exchange with `url` ("https://host:port/path?query"), the
// request's method, headers and body; `host_header` non-empty replaces the
// Host header.
UploadReply http_exchange(const std::string &url, const std::string &host_header,
                          const ServiceRequest &request, const ServiceRoute &route);

// One APRS-IS session: the server's greeting, the login, its "# logresp"
// answer, then the packet. Status 200 once the packet is sent.
UploadReply aprs_exchange(const std::string &host, int port, const ServiceRequest &request,
                          const ServiceRoute &route);
