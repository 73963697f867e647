#include "upload/service_table.h"

#include <cstdio>
#include <cstring>

#include "station/messages.h"
#include "upload/spacing.h"

namespace {

int is_digit(char c) { return c >= '0' && c <= '9'; }

int wunderground_request(const char *id, const char *key, const char *body, const char *host,
                         char out[UPLOAD_REQUEST_BYTES])
{
    return std::snprintf(out, UPLOAD_REQUEST_BYTES,
                         "GET /weatherstation/updateweatherstation.php?ID=%s&PASSWORD=%s&%s"
                         "&softwaretype=vws%%20versionxx&action=updateraw&realtime=1&rtfreq=2.5"
                         " HTTP/1.0\r\nHost:  %s\r\n\r\n",
                         id, key, body, host);
}

int wunderground_accepted(const char *body) { return std::strstr(body, "success") != nullptr; }

int weathercloud_request(const char *id, const char *key, const char *body, const char *host,
                         char out[UPLOAD_REQUEST_BYTES])
{
    return std::snprintf(out, UPLOAD_REQUEST_BYTES,
                         "GET /v01/set/wid/%s/key/%s%s HTTP/1.0\r\nHost:  %s\r\n\r\n", id, key,
                         body, host);
}

// The code is the body's first word; what follows it does not matter.
int weathercloud_accepted(const char *body)
{
    while (*body == ' ' || *body == '\t' || *body == '\r' || *body == '\n')
        ++body;
    return std::strncmp(body, "200", 3) == 0 && !is_digit(body[3]);
}

} // namespace

const UploadService upload_services[UPLOAD_SERVICE_COUNT] = {
    {"wunderground", "Weather Underground", WU_UPLOAD_HOST, 80, 0, UM_WU_UPLOAD_OK,
     wunderground_request, wunderground_accepted},
    {"weathercloud", "Weathercloud", WC_UPLOAD_HOST, 80, WC_SPACING_MS, UM_WC_UPLOAD_OK,
     weathercloud_request, weathercloud_accepted},
};

const UploadService &service_row(int service)
{
    return upload_services[service >= 0 && service < UPLOAD_SERVICE_COUNT ? service : 0];
}
