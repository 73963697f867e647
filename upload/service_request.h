// The services the companion posts to itself: a record's readings as
// numbers (an Observation), the station's own facts (a StationSite) and the
// request each service's builder makes of them (a ServiceRequest). The
// builders share one signature, so a service is its table row and one file.
#pragma once
#include <ctime>
#include <string>
#include <vector>

// One record's readings in the console's units; NaN for a reading the
// console did not have. `utc` is the record's time in seconds since 1970.
struct Observation {
    long long utc = 0;
    double temp_c, humidity, dewpoint_c, pressure_hpa;  // relative (sea-level) pressure
    double wind_kmh, gust_kmh, wind_deg;
    double rain_hour_mm, rain_day_mm, rain_rate_mm;
    double uv;
};

// The readings of a station record as the console sends it. Its date and
// time are this machine's local time and go into `utc` through its time
// zone. A token that is not wholly a number ("--", "-", "--.-") is missing.
// 0 when the record has no readable date and time.
int observation_from_record(const char *record, Observation *out);

// A record's date ("YYYY-MM-DD") and time ("HH:MM[:SS]") as this machine's
// local time: the normalised fields and the moment. 0 for no such time.
int record_local_time(const std::string &date, const std::string &time, std::tm *local,
                      std::time_t *t);

int reading_missing(double value);

// What a service needs to know of the station: its ID and key as the user
// set them, where it stands (NaN when not set) and the program's version.
struct StationSite {
    std::string id, key;
    double latitude, longitude, altitude_m;
    std::string version;
};

// One request as the service expects it. HTTP: the method, the path with
// its percent-encoded query, extra header lines and the body. APRS-IS:
// method "APRS", `login` and the packet line in `body`, neither with its
// line end.
struct ServiceRequest {
    std::string method;
    std::string path;
    std::vector<std::string> headers;
    std::string body;
    std::string login;
    // Empty: the service's own host. Set: this host over HTTPS instead
    // (Weather Underground files past records through another host than
    // its rapid live one).
    std::string host = std::string();
};

// 1 with `out` filled; 0 when the service cannot be sent this record
// (it lacks what the service must have, such as the station's position).
using RequestBuilder = int (*)(const Observation &, const StationSite &, ServiceRequest *out);

int pwsweather_request(const Observation &, const StationSite &, ServiceRequest *out);
int wow_request(const Observation &, const StationSite &, ServiceRequest *out);
int windy_request(const Observation &, const StationSite &, ServiceRequest *out);
int awekas_request(const Observation &, const StationSite &, ServiceRequest *out);
int openweathermap_request(const Observation &, const StationSite &, ServiceRequest *out);
int cwop_request(const Observation &, const StationSite &, ServiceRequest *out);
// Weather Underground's own live uploads carry the console's bodies; this
// one sends a kept record that they missed.
int wunderground_request(const Observation &, const StationSite &, ServiceRequest *out);

// Weather Underground's standard upload host, for records with their own time.
constexpr char WU_PAST_HOST[] = "weatherstation.wunderground.com";

// ---- helpers the builders share ---------------------------------------------

// Each byte outside A-Z a-z 0-9 - . _ ~ as %XX, so that no value can
// change the query around it.
std::string percent_encode(const std::string &text);

// "&name=value" with `decimals` places, nothing for a missing reading.
void add_reading(std::string *query, const char *name, double value, int decimals);

// The value with `decimals` places and no "-0".
std::string number_text(double value, int decimals);

// `utc` through strftime's `format`, in UTC.
std::string utc_text(long long utc, const char *format);

// Conversions from the console's units.
double fahrenheit(double celsius);
double mph(double kmh);
double metres_per_second(double kmh);
double inches(double mm);
double inches_of_mercury(double hpa);

// The readings PWSweather and WOW both take, in their imperial units:
// "&tempf=..&humidity=..&dewptf=..&baromin=..&windspeedmph=..&windgustmph=..
// &winddir=..&rainin=..&dailyrainin=..", the missing ones left out.
std::string imperial_readings(const Observation &o);
