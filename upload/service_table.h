// The upload services, one row each: what the configuration calls it, what
// logs and the status show, where its requests go, how far apart they must
// be, how its request line is written and how its reply is judged. A new
// service is a row here and its request writer.
#pragma once
#include <cstdint>

#include "upload/service_request.h"

constexpr int UPLOAD_WU = 0; // Weather Underground
constexpr int UPLOAD_WC = 1; // Weathercloud

constexpr int UPLOAD_BODY_BYTES = 1024;
constexpr int UPLOAD_REQUEST_BYTES = 1024;   // 1023 bytes and a NUL
constexpr int UPLOAD_CREDENTIAL_BYTES = 64;  // UTF-8: 63 bytes and a NUL
constexpr int UPLOAD_CREDENTIAL_UNITS = 64;  // UTF-16 as typed: 63 and a NUL
constexpr int UPLOAD_HOST_BYTES = 128;

constexpr char WU_UPLOAD_HOST[] = "rtupdate.wunderground.com";
constexpr char WC_UPLOAD_HOST[] = "api.weathercloud.net";

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

    // The services the companion posts to itself, from its own records
    // (null for the two whose bodies the console makes):
    RequestBuilder build;
    // 1 when a 2xx reply with this body took the reading; null: any 2xx.
    int (*taken)(const char *body);
    std::uint32_t interval_ms;  // at most one upload per this long
    int takes_past;             // a record of days ago is taken with its own time
    int needs_position;         // latitude and longitude must be set
    int https;
};

constexpr int UPLOAD_SERVICE_COUNT = 2;  // UPLOAD_WU, UPLOAD_WC: the console's bodies

// The companion's own services follow the console's in the table.
constexpr int UPLOAD_PWSWEATHER = 2;
constexpr int UPLOAD_WOW = 3;
constexpr int UPLOAD_WINDY = 4;
constexpr int UPLOAD_AWEKAS = 5;
constexpr int UPLOAD_OPENWEATHERMAP = 6;
constexpr int UPLOAD_CWOP = 7;
constexpr int SERVICE_COUNT = 8;

extern const UploadService upload_services[SERVICE_COUNT];

// The row of `service`; the first one for a number outside the table.
const UploadService &service_row(int service);
