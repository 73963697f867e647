// The upload services, one row each: what the configuration calls it, what
// logs and the status show, where its requests go, how far apart they must
// be, how its request line is written and how its reply is judged. A new
// service is a row here and its request writer.
#pragma once
#include <cstdint>

#include "upload/request.h"

struct UploadService {
    const char *config_name;   // "wunderground": its settings' names start so
    const char *shown_name;    // "Weather Underground"
    const char *host;
    int port;
    std::uint32_t spacing_ms;  // the least time between two uploads; 0 none
    unsigned ok_report;        // the report message of a taken reading
    // The request from the percent-encoded ID, key and body, as snprintf
    // returns it: the length it wanted.
    int (*request)(const char *id, const char *key, const char *body, const char *host,
                   char out[UPLOAD_REQUEST_BYTES]);
    // 1 when the body of a status-200 reply says the reading was taken.
    int (*accepted)(const char *body);
};

constexpr int UPLOAD_SERVICE_COUNT = 2;  // UPLOAD_WU, UPLOAD_WC

extern const UploadService upload_services[UPLOAD_SERVICE_COUNT];

// The row of `service`; the first one for a number outside the table.
const UploadService &service_row(int service);
