#include "upload/service_table.h"

#include <cstdio>
#include <cstring>

#include "station/messages.h"
#include "upload/spacing.h"

namespace {

int is_digit(char c) { return c >= '0' && c <= '9'; }

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int strncasecmp_ascii(const char *text, const char *word, int n)
{
    for (int i = 0; i < n; ++i)
        if (!text[i] || lower_ascii(text[i]) != word[i])
            return 1;
    return 0;
}

int wunderground_console_request(const char *id, const char *key, const char *body, const char *host,
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

// PWSweather answers 200 with a page of its own; a refusal says "error" or
// "invalid" in it.
int pwsweather_taken(const char *body)
{
    for (const char *p = body; *p; ++p)
        if (!strncasecmp_ascii(p, "error", 5) || !strncasecmp_ascii(p, "invalid", 7))
            return 0;
    return 1;
}

int awekas_taken(const char *body)
{
    while (*body == ' ' || *body == '\t' || *body == '\r' || *body == '\n')
        ++body;
    return std::strncmp(body, "OK", 2) == 0;
}

constexpr std::uint32_t ONE_MINUTE = 60000;
constexpr std::uint32_t FIVE_MINUTES = 300000;
constexpr std::uint32_t TEN_MINUTES = 600000;

} // namespace

const UploadService upload_services[SERVICE_COUNT] = {
    // Its live uploads are the console's bodies; its own builder sends
    // the kept records they missed, one a minute.
    {"wunderground", "Weather Underground", WU_UPLOAD_HOST, 80, 0, UM_WU_UPLOAD_OK,
     wunderground_console_request, wunderground_accepted, wunderground_request,
     wunderground_accepted, ONE_MINUTE, 1, 0, 0},
    {"weathercloud", "Weathercloud", WC_UPLOAD_HOST, 80, WC_SPACING_MS, UM_WC_UPLOAD_OK,
     weathercloud_request, weathercloud_accepted, nullptr, nullptr, 0, 0, 0, 0},
    {"pwsweather", "PWSweather", "www.pwsweather.com", 443, 0, 0, nullptr, nullptr,
     pwsweather_request, pwsweather_taken, FIVE_MINUTES, 0, 0, 1},
    {"wow", "WOW", "wow.metoffice.gov.uk", 443, 0, 0, nullptr, nullptr, wow_request, nullptr,
     FIVE_MINUTES, 1, 0, 1},
    {"windy", "Windy", "stations.windy.com", 443, 0, 0, nullptr, nullptr, windy_request, nullptr,
     FIVE_MINUTES, 1, 0, 1},
    {"awekas", "AWEKAS", "data.awekas.at", 80, 0, 0, nullptr, nullptr, awekas_request,
     awekas_taken, FIVE_MINUTES, 0, 0, 0},
    {"openweathermap", "OpenWeatherMap", "api.openweathermap.org", 443, 0, 0, nullptr, nullptr,
     openweathermap_request, nullptr, FIVE_MINUTES, 1, 0, 1},
    {"cwop", "CWOP", "cwop.aprs.net", 14580, 0, 0, nullptr, nullptr, cwop_request, nullptr,
     TEN_MINUTES, 0, 1, 0},
};

const UploadService &service_row(int service)
{
    return upload_services[service >= 0 && service < SERVICE_COUNT ? service : 0];
}
