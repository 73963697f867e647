// AWEKAS: a GET whose one parameter `val` holds 25 fields separated by
// semicolons, each in its place: user; MD5 of the password; date
// dd.mm.yyyy; time hh:mm; temperature °C; humidity %; pressure hPa; rain
// today mm; wind km/h; direction °; weather condition; warning text; snow
// cm; language; pressure tendency; gust km/h; solar W/m²; UV index; light
// lux; sunshine hours; soil temperature °C; rain rate mm/h; software flag;
// longitude; latitude. A field the station does not measure stays empty.
// It answers "OK".
#include "upload/md5.h"
#include "upload/service_request.h"

namespace {
std::string field(double value, int decimals)
{
    return reading_missing(value) ? std::string() : number_text(value, decimals);
}
} // namespace

int awekas_request(const Observation &o, const StationSite &site, ServiceRequest *out)
{
    const std::string fields[25] = {
        site.id, md5_hex(site.key), utc_text(o.utc, "%d.%m.%Y"), utc_text(o.utc, "%H:%M"),
        field(o.temp_c, 1), field(o.humidity, 0), field(o.pressure_hpa, 1),
        field(o.rain_day_mm, 1), field(o.wind_kmh, 1), field(o.wind_deg, 0),
        "", "", "", "en", "", field(o.gust_kmh, 1), "", field(o.uv, 0), "", "", "",
        field(o.rain_rate_mm, 1), "nimbrel_" + site.version, field(site.longitude, 4),
        field(site.latitude, 4)};
    std::string val;
    for (int i = 0; i < 25; ++i) {
        if (i)
            val += ';';
        val += percent_encode(fields[i]);
    }
    *out = ServiceRequest{"GET", "/eingabe_pruefung.php?val=" + val, {}, "", ""};
    return 1;
}
