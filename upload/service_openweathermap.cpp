// OpenWeatherMap: an HTTPS POST of a JSON array of measurements to
// /data/3.0/measurements, the API key as `appid`. Each measurement holds the
// station's id, the UTC time in seconds and the readings in metric units
// (°C, m/s, hPa, %, mm in the last hour). Success is 204.
#include <cstdio>

#include "common/json.h"
#include "upload/service_request.h"

namespace {

std::string json_string(const std::string &text)
{
    std::string out;
    add_json_string(out, text);
    return out;
}

void add_member(std::string *json, const char *name, double value, int decimals)
{
    if (reading_missing(value))
        return;
    *json += ",\"";
    *json += name;
    *json += "\":";
    *json += number_text(value, decimals);
}

} // namespace

int openweathermap_request(const Observation &o, const StationSite &site, ServiceRequest *out)
{
    std::string json = "[{\"station_id\":" + json_string(site.id) + ",\"dt\":" +
                       std::to_string(o.utc);
    add_member(&json, "temperature", o.temp_c, 1);
    add_member(&json, "wind_speed", metres_per_second(o.wind_kmh), 1);
    add_member(&json, "wind_gust", metres_per_second(o.gust_kmh), 1);
    add_member(&json, "wind_deg", o.wind_deg, 0);
    add_member(&json, "pressure", o.pressure_hpa, 1);
    add_member(&json, "humidity", o.humidity, 0);
    add_member(&json, "rain_1h", o.rain_hour_mm, 1);
    json += "}]";
    *out = ServiceRequest{"POST", "/data/3.0/measurements?appid=" + percent_encode(site.key),
                          {"Content-Type: application/json"}, json, ""};
    return 1;
}
