// PWSweather: an HTTPS GET whose query carries the station's ID and
// password, the reading's UTC time and the readings in imperial units.
#include "upload/service_request.h"

int pwsweather_request(const Observation &o, const StationSite &site, ServiceRequest *out)
{
    std::string q = "ID=" + percent_encode(site.id) + "&PASSWORD=" + percent_encode(site.key) +
                    "&dateutc=" + percent_encode(utc_text(o.utc, "%Y-%m-%d %H:%M:%S"));
    q += imperial_readings(o);
    add_reading(&q, "UV", o.uv, 0);
    q += "&softwaretype=" + percent_encode("nimbrel " + site.version) + "&action=updateraw";
    *out = ServiceRequest{"GET", "/pwsupdate/pwsupdate.php?" + q, {}, "", ""};
    return 1;
}
