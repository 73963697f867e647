// Windy: an HTTPS GET with the station's id, the reading's UTC time and the
// readings in metric units (temperatures in °C, wind in m/s, pressure in
// Pa, the last hour's rain in mm). The station password goes in the
// Authorization header, never in the address, so that no log of addresses
// holds it.
#include "upload/service_request.h"

int windy_request(const Observation &o, const StationSite &site, ServiceRequest *out)
{
    std::string q = "id=" + percent_encode(site.id) +
                    "&time=" + percent_encode(utc_text(o.utc, "%Y-%m-%dT%H:%M:%SZ"));
    add_reading(&q, "temp", o.temp_c, 1);
    add_reading(&q, "dewpoint", o.dewpoint_c, 1);
    add_reading(&q, "wind", metres_per_second(o.wind_kmh), 1);
    add_reading(&q, "gust", metres_per_second(o.gust_kmh), 1);
    add_reading(&q, "winddir", o.wind_deg, 0);
    add_reading(&q, "rh", o.humidity, 0);
    add_reading(&q, "pressure", o.pressure_hpa * 100.0, 0);
    add_reading(&q, "precip", o.rain_hour_mm, 1);
    add_reading(&q, "uv", o.uv, 0);
    *out = ServiceRequest{"GET", "/api/v2/observation/update?" + q,
                          {"Authorization: Bearer " + site.key}, "", ""};
    return 1;
}
