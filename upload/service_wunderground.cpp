// Weather Underground for the records its live uploads missed: the same
// update path as the console's bodies, but on its standard (not rapid)
// upload host over HTTPS, with the record's own UTC time, so that a
// reading of hours ago is filed under that time.
#include "upload/service_request.h"

int wunderground_request(const Observation &o, const StationSite &site, ServiceRequest *out)
{
    std::string q = "ID=" + percent_encode(site.id) + "&PASSWORD=" + percent_encode(site.key) +
                    "&dateutc=" + percent_encode(utc_text(o.utc, "%Y-%m-%d %H:%M:%S"));
    q += imperial_readings(o);
    add_reading(&q, "UV", o.uv, 0);
    q += "&softwaretype=" + percent_encode("nimbrel " + site.version) + "&action=updateraw";
    *out = ServiceRequest{"GET", "/weatherstation/updateweatherstation.php?" + q, {}, "", ""};
    out->host = WU_PAST_HOST;
    return 1;
}
