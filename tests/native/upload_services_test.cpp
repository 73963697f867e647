// The companion's own services: a fixed station record in, each service's
// request out, every expected text written by hand from the service's
// published upload documentation (units, names, order, encodings).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "upload/service_table.h"

namespace {

// A live record at 12:34 local time on 5 January 2018: outdoor 10.0 °C,
// 80 %, dew point 5.0 °C, 1013.2 hPa relative, wind 36.0 km/h from 225°,
// gust 54.0 km/h, rain 2.5 mm in the last hour and 25.4 mm today, rain
// rate 1.5 mm/h, UV 3.
const char *const base_tokens[36] = {
    "50",   "2018-01-05", "12:34", "21.0", "45",   "10.0",   "80",     "25.4", "1.5",
    "36.0", "54.0",       "225",   "SW",   "1013.2", "1009.8", "3",    "5.0",  "10.0",
    "--.-", "--",         "--.-",  "--",   "--.-", "--",     "--.-",   "--",   "--.-",
    "--",   "--.-",       "--",    "--.-", "--",   "10.0",   "2.5",    "30.0", "60.0"};

struct Change {
    int token;
    const char *text;
};

std::string record(const std::vector<Change> &changes)
{
    std::string tokens[36];
    for (int i = 0; i < 36; ++i)
        tokens[i] = base_tokens[i];
    for (const Change &c : changes)
        tokens[c.token] = c.text;
    std::string text = tokens[0];
    for (int i = 1; i < 36; ++i)
        text += " " + tokens[i];
    return text;
}

// Everything but the relative pressure missing, as the console writes it.
const std::vector<Change> all_but_pressure_missing = {
    {5, "--.-"}, {6, "--"}, {7, "-"},  {8, "-"},  {9, "-"},   {10, "-"},
    {11, "---"}, {15, "-"}, {16, "--.-"}, {33, "-"}};

StationSite site()
{
    return StationSite{"STN1", "p&ss", 51.5, -0.1275, 35, "1.02"};
}

struct Row {
    const char *name;
    int service;
    std::vector<Change> changes;
    const char *method;
    const char *path;   // HTTP: path and query; APRS-IS: the login line
    const char *header;
    const char *body;
};

class CentralEuropeanWinter : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tz = std::getenv("TZ");
        saved = tz ? tz : "";
        had = tz != nullptr;
        setenv("TZ", "CET-1", 1);
        tzset();
    }
    void TearDown() override
    {
        if (had)
            setenv("TZ", saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    std::string saved;
    bool had = false;
};

} // namespace

TEST_F(CentralEuropeanWinter, EachServiceGetsTheRecordInItsOwnUnitsAndUtc)
{
    const Row rows[] = {
        {"pwsweather", UPLOAD_PWSWEATHER, {}, "GET",
         "/pwsupdate/pwsupdate.php?ID=STN1&PASSWORD=p%26ss&dateutc=2018-01-05%2011%3A34%3A00"
         "&tempf=50.0&humidity=80&dewptf=41.0&baromin=29.920&windspeedmph=22.4"
         "&windgustmph=33.6&winddir=225&rainin=0.10&dailyrainin=1.00&UV=3"
         "&softwaretype=nimbrel%201.02&action=updateraw",
         nullptr, ""},
        // A record Weather Underground's live uploads missed, with its own time.
        {"wunderground", UPLOAD_WU, {}, "GET",
         "/weatherstation/updateweatherstation.php?ID=STN1&PASSWORD=p%26ss"
         "&dateutc=2018-01-05%2011%3A34%3A00&tempf=50.0&humidity=80&dewptf=41.0"
         "&baromin=29.920&windspeedmph=22.4&windgustmph=33.6&winddir=225&rainin=0.10"
         "&dailyrainin=1.00&UV=3&softwaretype=nimbrel%201.02&action=updateraw",
         nullptr, ""},
        {"wow", UPLOAD_WOW, {}, "GET",
         "/automaticreading?siteid=STN1&siteAuthenticationKey=p%26ss"
         "&dateutc=2018-01-05%2011%3A34%3A00&softwaretype=nimbrel%201.02&tempf=50.0"
         "&humidity=80&dewptf=41.0&baromin=29.920&windspeedmph=22.4&windgustmph=33.6"
         "&winddir=225&rainin=0.10&dailyrainin=1.00",
         nullptr, ""},
        {"windy", UPLOAD_WINDY, {}, "GET",
         "/api/v2/observation/update?id=STN1&time=2018-01-05T11%3A34%3A00Z&temp=10.0"
         "&dewpoint=5.0&wind=10.0&gust=15.0&winddir=225&rh=80&pressure=101320&precip=2.5&uv=3",
         "Authorization: Bearer p&ss", ""},
        {"awekas", UPLOAD_AWEKAS, {}, "GET",
         "/eingabe_pruefung.php?val=STN1;947760a6249e930930ddbea4e4b5202e;05.01.2018;11%3A34;"
         "10.0;80;1013.2;25.4;36.0;225;;;;en;;54.0;;3;;;;1.5;nimbrel_1.02;-0.1275;51.5000",
         nullptr, ""},
        {"openweathermap", UPLOAD_OPENWEATHERMAP, {}, "POST",
         "/data/3.0/measurements?appid=p%26ss", "Content-Type: application/json",
         "[{\"station_id\":\"STN1\",\"dt\":1515152040,\"temperature\":10.0,\"wind_speed\":10.0,"
         "\"wind_gust\":15.0,\"wind_deg\":225,\"pressure\":1013.2,\"humidity\":80,"
         "\"rain_1h\":2.5}]"},
        {"cwop", UPLOAD_CWOP, {}, "APRS", "user STN1 pass p&ss vers nimbrel 1.02", nullptr,
         "STN1>APRS,TCPIP*:@051134z5130.00N/00007.65W_225/022g034t050r010P100h80b10132"},

        // Missing readings are left out, never sent as 0.
        {"pwsweather, missing", UPLOAD_PWSWEATHER, all_but_pressure_missing, "GET",
         "/pwsupdate/pwsupdate.php?ID=STN1&PASSWORD=p%26ss&dateutc=2018-01-05%2011%3A34%3A00"
         "&baromin=29.920&softwaretype=nimbrel%201.02&action=updateraw",
         nullptr, ""},
        {"wow, missing", UPLOAD_WOW, all_but_pressure_missing, "GET",
         "/automaticreading?siteid=STN1&siteAuthenticationKey=p%26ss"
         "&dateutc=2018-01-05%2011%3A34%3A00&softwaretype=nimbrel%201.02&baromin=29.920",
         nullptr, ""},
        {"windy, missing", UPLOAD_WINDY, all_but_pressure_missing, "GET",
         "/api/v2/observation/update?id=STN1&time=2018-01-05T11%3A34%3A00Z&pressure=101320",
         "Authorization: Bearer p&ss", ""},
        {"awekas, missing", UPLOAD_AWEKAS, all_but_pressure_missing, "GET",
         "/eingabe_pruefung.php?val=STN1;947760a6249e930930ddbea4e4b5202e;05.01.2018;11%3A34;"
         ";;1013.2;;;;;;;en;;;;;;;;;nimbrel_1.02;-0.1275;51.5000",
         nullptr, ""},
        {"openweathermap, missing", UPLOAD_OPENWEATHERMAP, all_but_pressure_missing, "POST",
         "/data/3.0/measurements?appid=p%26ss", "Content-Type: application/json",
         "[{\"station_id\":\"STN1\",\"dt\":1515152040,\"pressure\":1013.2}]"},
        {"cwop, missing", UPLOAD_CWOP, all_but_pressure_missing, "APRS",
         "user STN1 pass p&ss vers nimbrel 1.02", nullptr,
         "STN1>APRS,TCPIP*:@051134z5130.00N/00007.65W_.../...g...t...b10132"},

        // Below 0 °F, a saturated 100 % and a rounding just under zero.
        {"cwop, cold and saturated", UPLOAD_CWOP, {{5, "-20.5"}, {6, "100"}, {16, "-0.01"}},
         "APRS", "user STN1 pass p&ss vers nimbrel 1.02", nullptr,
         "STN1>APRS,TCPIP*:@051134z5130.00N/00007.65W_225/022g034t-05r010P100h00b10132"},
        {"windy, dew point just below zero", UPLOAD_WINDY, {{16, "-0.01"}}, "GET",
         "/api/v2/observation/update?id=STN1&time=2018-01-05T11%3A34%3A00Z&temp=10.0"
         "&dewpoint=0.0&wind=10.0&gust=15.0&winddir=225&rh=80&pressure=101320&precip=2.5&uv=3",
         "Authorization: Bearer p&ss", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Observation o;
        ASSERT_EQ(observation_from_record(record(row.changes).c_str(), &o), 1);
        ServiceRequest r;
        ASSERT_EQ(upload_services[row.service].build(o, site(), &r), 1);
        EXPECT_EQ(r.method, row.method);
        EXPECT_EQ(row.service == UPLOAD_CWOP ? r.login : r.path, row.path);
        if (row.header)
            EXPECT_EQ(r.headers, std::vector<std::string>{row.header});
        else
            EXPECT_TRUE(r.headers.empty());
        EXPECT_EQ(r.body, row.body);
        // Past records go to the standard upload host, not the rapid one.
        EXPECT_EQ(r.host, row.service == UPLOAD_WU ? "weatherstation.wunderground.com" : "");
    }
}

TEST_F(CentralEuropeanWinter, ARecordOrStationTheServiceCannotUseIsRefused)
{
    Observation o;
    EXPECT_EQ(observation_from_record("50 2018-02-30 12:34 21.0", &o), 0);
    EXPECT_EQ(observation_from_record("50 2018-01-05", &o), 0);
    EXPECT_EQ(observation_from_record("50 05.01.2018 12:34", &o), 0);

    ASSERT_EQ(observation_from_record(record({}).c_str(), &o), 1);
    ServiceRequest r;
    StationSite nowhere = site();
    nowhere.latitude = NAN;
    EXPECT_EQ(cwop_request(o, nowhere, &r), 0);
    // A space or line end in the call sign or passcode would rewrite the login.
    StationSite spaced = site();
    spaced.key = "-1 vers x";
    EXPECT_EQ(cwop_request(o, spaced, &r), 0);
    spaced = site();
    spaced.id = "STN1\r\nuser X";
    EXPECT_EQ(cwop_request(o, spaced, &r), 0);
}
