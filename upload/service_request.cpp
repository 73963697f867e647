#include "upload/service_request.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "live/station_record.h"

int record_local_time(const std::string &date, const std::string &time, std::tm *local,
                      std::time_t *t)
{
    int y, mo, d, h, mi, s = 0;
    char end;
    if (std::sscanf(date.c_str(), "%d-%d-%d%c", &y, &mo, &d, &end) != 3 ||
        (std::sscanf(time.c_str(), "%d:%d:%d%c", &h, &mi, &s, &end) != 3 &&
         std::sscanf(time.c_str(), "%d:%d%c", &h, &mi, &end) != 2))
        return 0;
    if (y < 1970 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 ||
        mi < 0 || mi > 59 || s < 0 || s > 59)
        return 0;
    *local = std::tm{};
    local->tm_year = y - 1900;
    local->tm_mon = mo - 1;
    local->tm_mday = d;
    local->tm_hour = h;
    local->tm_min = mi;
    local->tm_sec = s;
    local->tm_isdst = -1;
    *t = std::mktime(local);
    // A day that does not exist (31 April) is no date.
    return *t != static_cast<std::time_t>(-1) && local->tm_mday == d;
}

namespace {

// The record's tokens, split at single spaces as the console writes them.
std::vector<std::string> record_tokens(const char *record)
{
    std::vector<std::string> tokens(1);
    for (const char *p = record; *p && *p != '\r' && *p != '\n'; ++p) {
        if (*p == ' ')
            tokens.emplace_back();
        else
            tokens.back() += *p;
    }
    return tokens;
}

double reading(const std::vector<std::string> &tokens, int k)
{
    if (k >= static_cast<int>(tokens.size()) || tokens[k].empty())
        return NAN;
    const char *text = tokens[k].c_str();
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    if (*end || !std::isfinite(value))
        return NAN;
    return value;
}

int local_time(const std::string &date, const std::string &time, long long *utc)
{
    std::tm local{};
    std::time_t t;
    if (!record_local_time(date, time, &local, &t))
        return 0;
    *utc = static_cast<long long>(t);
    return 1;
}

} // namespace

int reading_missing(double value) { return std::isnan(value); }

int observation_from_record(const char *record, Observation *out)
{
    if (!record)
        return 0;
    const std::vector<std::string> t = record_tokens(record);
    if (t.size() <= token::time || !local_time(t[token::date], t[token::time], &out->utc))
        return 0;
    out->temp_c = reading(t, token::outdoor_temp);
    out->humidity = reading(t, token::outdoor_humidity);
    out->dewpoint_c = reading(t, token::dew_point);
    out->pressure_hpa = reading(t, token::rel_pressure);
    out->wind_kmh = reading(t, token::wind_speed);
    out->gust_kmh = reading(t, token::wind_gust);
    out->wind_deg = reading(t, token::wind_dir_degrees);
    out->rain_hour_mm = reading(t, token::hourly_rain);
    out->rain_day_mm = reading(t, token::daily_rain);
    out->rain_rate_mm = reading(t, token::rain_rate);
    out->uv = reading(t, token::uv_index);
    // A humidity outside 0..100 or a direction outside the circle is a
    // sensor's error code, not a reading.
    if (out->humidity < 0 || out->humidity > 100)
        out->humidity = NAN;
    if (out->wind_deg < 0 || out->wind_deg > 360)
        out->wind_deg = NAN;
    return 1;
}

std::string percent_encode(const std::string &text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string number_text(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    // A reading just below zero rounds to "-0.0": the same as 0.
    if (text[0] == '-' && std::strspn(text + 1, "0.") == std::strlen(text + 1))
        return text + 1;
    return text;
}

void add_reading(std::string *query, const char *name, double value, int decimals)
{
    if (reading_missing(value))
        return;
    *query += '&';
    *query += name;
    *query += '=';
    *query += number_text(value, decimals);
}

std::string utc_text(long long utc, const char *format)
{
    // The civil date of a day count, so that no C library's time zone or
    // its thread-safety comes into it.
    long long days = utc / 86400, seconds = utc % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    std::tm parts{};
    parts.tm_year = static_cast<int>(yoe + era * 400 + (month <= 2) - 1900);
    parts.tm_mon = static_cast<int>(month - 1);
    parts.tm_mday = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    parts.tm_hour = static_cast<int>(seconds / 3600);
    parts.tm_min = static_cast<int>(seconds / 60 % 60);
    parts.tm_sec = static_cast<int>(seconds % 60);
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, format, &parts);
    return std::string(text, n);
}

double fahrenheit(double celsius) { return celsius * 9.0 / 5.0 + 32.0; }
double mph(double kmh) { return kmh / 1.609344; }
double metres_per_second(double kmh) { return kmh / 3.6; }
double inches(double mm) { return mm / 25.4; }
double inches_of_mercury(double hpa) { return hpa / 33.8638866667; }

std::string imperial_readings(const Observation &o)
{
    std::string q;
    add_reading(&q, "tempf", fahrenheit(o.temp_c), 1);
    add_reading(&q, "humidity", o.humidity, 0);
    add_reading(&q, "dewptf", fahrenheit(o.dewpoint_c), 1);
    add_reading(&q, "baromin", inches_of_mercury(o.pressure_hpa), 3);
    add_reading(&q, "windspeedmph", mph(o.wind_kmh), 1);
    add_reading(&q, "windgustmph", mph(o.gust_kmh), 1);
    add_reading(&q, "winddir", o.wind_deg, 0);
    add_reading(&q, "rainin", inches(o.rain_hour_mm), 2);
    add_reading(&q, "dailyrainin", inches(o.rain_day_mm), 2);
    return q;
}
