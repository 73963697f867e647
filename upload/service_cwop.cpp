// CWOP: an APRS-IS session. The login line names the station and its
// passcode ("-1" for a station without a licence); then one weather report
// with the time (day, hour, minute in UTC), the position in degrees and
// hundredths of minutes, and the readings: direction and speed of the
// wind, gust (mph), temperature (°F), rain of the last hour and since
// midnight (hundredths of an inch), humidity (%, 100 as "00") and pressure
// (tenths of hPa). Wind and temperature hold their places with dots when
// missing; the other readings are left out.
#include <cmath>
#include <cstdio>

#include "upload/service_request.h"

namespace {

// "DDMM.mmN" or "DDDMM.mmE": whole hundredths of a minute, so that 59.999'
// becomes the next degree rather than "60.00".
std::string position_text(double degrees, int width, char positive, char negative)
{
    const long total = std::lround(std::fabs(degrees) * 6000.0);
    char text[48];
    std::snprintf(text, sizeof text, "%0*ld%02ld.%02ld%c", width, total / 6000,
                  total % 6000 / 100, total % 100, degrees < 0 ? negative : positive);
    return text;
}

// Three characters: "ddd", "-dd" below zero, "..." when missing.
std::string three(double value)
{
    if (reading_missing(value) || value < -99.5 || value > 999.5)
        return "...";
    const long n = std::lround(value);
    char text[24];
    if (n < 0)
        std::snprintf(text, sizeof text, "-%02ld", -n);
    else
        std::snprintf(text, sizeof text, "%03ld", n);
    return text;
}

void add_optional(std::string *packet, char tag, double value, int width)
{
    if (reading_missing(value) || value < 0)
        return;
    char text[32];
    std::snprintf(text, sizeof text, "%c%0*ld", tag, width, std::lround(value));
    if (static_cast<int>(std::string(text).size()) == width + 1)
        *packet += text;
}

// The login is one line of words: a space or control byte in the call sign
// or passcode would change it.
bool plain_word(const std::string &text)
{
    if (text.empty())
        return false;
    for (unsigned char c : text)
        if (c <= ' ' || c == 0x7f)
            return false;
    return true;
}

} // namespace

int cwop_request(const Observation &o, const StationSite &site, ServiceRequest *out)
{
    if (reading_missing(site.latitude) || reading_missing(site.longitude) ||
        !plain_word(site.id) || !plain_word(site.key))
        return 0;
    std::string packet = site.id + ">APRS,TCPIP*:@" + utc_text(o.utc, "%d%H%Mz") +
                         position_text(site.latitude, 2, 'N', 'S') + "/" +
                         position_text(site.longitude, 3, 'E', 'W') + "_";
    packet += three(o.wind_deg) + "/" + three(mph(o.wind_kmh)) + "g" + three(mph(o.gust_kmh)) +
              "t" + three(fahrenheit(o.temp_c));
    add_optional(&packet, 'r', inches(o.rain_hour_mm) * 100.0, 3);
    add_optional(&packet, 'P', inches(o.rain_day_mm) * 100.0, 3);
    // Two digits: 100 % is "00", and 0 % (a fault) is sent as the least, 1 %.
    if (!reading_missing(o.humidity)) {
        const long h = std::lround(o.humidity);
        add_optional(&packet, 'h', h >= 100 ? 0 : h < 1 ? 1 : h, 2);
    }
    add_optional(&packet, 'b', o.pressure_hpa * 10.0, 5);
    *out = ServiceRequest{"APRS", "", {}, packet,
                          "user " + site.id + " pass " + site.key + " vers nimbrel " +
                              site.version};
    return 1;
}
