// WOW: an HTTPS GET with the site's id and its authentication key, the
// reading's UTC time, the software's name and the readings in imperial
// units. It answers 429 when readings come too often.
#include "upload/service_request.h"

int wow_request(const Observation &o, const StationSite &site, ServiceRequest *out)
{
    std::string q = "siteid=" + percent_encode(site.id) +
                    "&siteAuthenticationKey=" + percent_encode(site.key) +
                    "&dateutc=" + percent_encode(utc_text(o.utc, "%Y-%m-%d %H:%M:%S")) +
                    "&softwaretype=" + percent_encode("nimbrel " + site.version);
    q += imperial_readings(o);
    *out = ServiceRequest{"GET", "/automaticreading?" + q, {}, "", ""};
    return 1;
}
