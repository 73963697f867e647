#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "station/commands.h"
#include "station/crc.h"
#include "simulator/weather_model.h"

namespace {

std::vector<std::string> split_spaces(const std::string &s)
{
    std::vector<std::string> tokens(1);
    for (char ch : s) {
        if (ch == ' ')
            tokens.emplace_back();
        else
            tokens.back() += ch;
    }
    return tokens;
}

std::string record_at(std::int64_t t, std::uint32_t seed = 7)
{
    WeatherReading w;
    weather_at(seed, t, &w);
    char out[CONSOLE_MAX_PAYLOAD + 1];
    const std::size_t n = format_station_record(w, 12, t, out, sizeof out);
    return std::string(out, n);
}

const std::int64_t DEC_1 = seconds_from_civil({2026, 12, 1, 0, 0, 0});
const std::int64_t JUL_1 = seconds_from_civil({2026, 7, 1, 0, 0, 0});

} // namespace

TEST(WeatherRecord, EveryRecordHasTheConsoleLayout)
{
    const std::regex temperature("-?[0-9]+\\.[0-9]|--\\.-");
    const std::regex humidity("[0-9]{1,3}|--");
    const std::regex decimal("[0-9]+\\.[0-9]");
    const std::regex date("[0-9]{4}-[0-9]{2}-[0-9]{2}");
    const std::regex hhmm("[0-9]{2}:[0-9]{2}");
    const int temperatures[] = {3, 5, 16, 17, 18, 20, 22, 24, 26, 28, 30, 32};
    const int humidities[] = {4, 6, 19, 21, 23, 25, 27, 29, 31};
    const int decimals[] = {7, 8, 9, 10, 13, 14, 33, 34, 35};
    for (std::int64_t start : {DEC_1, JUL_1}) {
        for (std::int64_t t = start; t < start + 40 * 86400; t += 17 * 60 + 3) {
            const std::string rec = record_at(t);
            SCOPED_TRACE(rec);
            ASSERT_LT(rec.size(), 255u) << "the dashboard reads only 255 bytes";
            const std::vector<std::string> tok = split_spaces(rec);
            ASSERT_EQ(tok.size(), 36u);
            EXPECT_EQ(tok[0], "12");
            EXPECT_TRUE(std::regex_match(tok[1], date));
            EXPECT_TRUE(std::regex_match(tok[2], hhmm));
            for (int k : temperatures)
                EXPECT_TRUE(std::regex_match(tok[k], temperature)) << "token " << k << " " << tok[k];
            for (int k : humidities)
                EXPECT_TRUE(std::regex_match(tok[k], humidity)) << "token " << k;
            for (int k : decimals)
                EXPECT_TRUE(std::regex_match(tok[k], decimal)) << "token " << k;
            const int degrees = std::atoi(tok[11].c_str());
            EXPECT_TRUE(degrees >= 0 && degrees < 360);
            EXPECT_STREQ(compass_point(degrees), tok[12].c_str());
            EXPECT_EQ(rec.find("-0.0"), std::string::npos);
            // Channels 6 and 7 have no sensor, channel 5 no humidity.
            EXPECT_EQ(tok[27], "--");
            EXPECT_EQ(tok[28], "--.-");
            EXPECT_EQ(tok[31], "--");
        }
    }
}

TEST(WeatherRecord, CompassPoints)
{
    const struct {
        int degrees;
        const char *point;
    } cases[] = {{0, "N"},   {11, "N"},    {12, "NNE"}, {45, "NE"},  {90, "E"},  {180, "S"},
                 {225, "SW"}, {348, "NNW"}, {349, "N"}, {359, "N"}, {360, "N"}, {-90, "W"}};
    for (const auto &c : cases)
        EXPECT_STREQ(compass_point(c.degrees), c.point) << c.degrees;
}

TEST(WeatherRecord, TooSmallBuffersGiveNothingAndStayInBounds)
{
    WeatherReading w;
    weather_at(1, DEC_1, &w);
    char out[40];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(format_station_record(w, 1, DEC_1, out, 30), 0u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[30], 'x');
    EXPECT_EQ(format_wu_body(w, out, 30), 0u);
    EXPECT_EQ(format_wc_body(w, out, 30), 0u);
    EXPECT_EQ(out[30], 'x');
}

TEST(WeatherModel, PlausibleAndChanging)
{
    double afternoon = 0, dawn = 0, min_p = 2000, max_p = 0, rain = 0;
    std::set<std::string> points;
    int wet_hours = 0;
    for (int day = 0; day < 28; ++day) {
        const std::int64_t d = DEC_1 + day * 86400LL;
        WeatherReading w;
        weather_at(3, d + 15 * 3600, &w);
        afternoon += w.outdoor_temp;
        weather_at(3, d + 5 * 3600, &w);
        dawn += w.outdoor_temp;
        for (int h = 0; h < 24; ++h) {
            weather_at(3, d + h * 3600 + 1800, &w);
            EXPECT_TRUE(w.outdoor_temp > -30 && w.outdoor_temp < 45);
            EXPECT_TRUE(w.outdoor_humidity >= 0 && w.outdoor_humidity <= 100);
            EXPECT_GE(w.wind_gust, w.wind_speed);
            EXPECT_LE(w.daily_rain, w.monthly_rain + 1e-9);
            EXPECT_LE(w.daily_rain, w.weekly_rain + 1e-9);
            EXPECT_LE(w.dew_point, w.outdoor_temp + 1e-9);
            min_p = std::min(min_p, w.rel_pressure);
            max_p = std::max(max_p, w.rel_pressure);
            wet_hours += w.rain_rate > 0;
        }
        weather_at(3, d + 86400 - 1, &w);
        rain += w.daily_rain;
    }
    EXPECT_GT(afternoon / 28, dawn / 28 + 3) << "a daily temperature cycle";
    EXPECT_GT(max_p - min_p, 5) << "pressure drifts";
    EXPECT_GT(max_p, 980);
    EXPECT_LT(min_p, 1045);
    EXPECT_GT(wet_hours, 5) << "showers come by";
    EXPECT_GT(rain, 1.0);
    // Within an hour of live records the wind turns through the compass.
    for (std::int64_t t = DEC_1 + 12 * 3600; t < DEC_1 + 13 * 3600; t += 5) {
        WeatherReading w;
        weather_at(3, t, &w);
        points.insert(compass_point(w.wind_dir));
    }
    EXPECT_GE(points.size(), 12u);
}

TEST(WeatherModel, RainCountersStartAfresh)
{
    // At midnight the day's rain is nought; on the first of a month so is the month's.
    for (int day = 0; day < 60; ++day) {
        WeatherReading w;
        weather_at(9, DEC_1 + day * 86400LL, &w);
        EXPECT_EQ(w.daily_rain, 0) << "day " << day;
    }
    WeatherReading w;
    weather_at(9, seconds_from_civil({2027, 1, 1, 0, 0, 0}), &w);
    EXPECT_EQ(w.monthly_rain, 0);
}

TEST(WeatherModel, SameSeedSameWeather)
{
    EXPECT_EQ(record_at(DEC_1 + 12345, 5), record_at(DEC_1 + 12345, 5));
    EXPECT_NE(record_at(DEC_1 + 12345, 5), record_at(DEC_1 + 12345, 6));
}

TEST(WeatherBodies, BothServicesGetTheirOwnForm)
{
    WeatherReading w;
    weather_at(2, DEC_1 + 14 * 3600, &w);
    char wu[CONSOLE_MAX_PAYLOAD], wc[CONSOLE_MAX_PAYLOAD];
    const std::size_t nu = format_wu_body(w, wu, sizeof wu);
    const std::size_t nc = format_wc_body(w, wc, sizeof wc);
    ASSERT_GT(nu, 0u);
    ASSERT_GT(nc, 0u);
    EXPECT_LT(nu, 255u);
    EXPECT_LT(nc, 255u);
    const std::string u(wu, nu), c(wc, nc);
    EXPECT_TRUE(std::regex_match(u, std::regex("dateutc=[^&]+(&[A-Za-z]+=-?[0-9.]+)+"))) << u;
    for (const char *field : {"&tempf=", "&humidity=", "&baromin=", "&winddir="})
        EXPECT_NE(u.find(field), std::string::npos) << field;
    EXPECT_TRUE(std::regex_match(c, std::regex("(/[a-z]+/-?[0-9]+)+"))) << c;
    for (const char *field : {"/temp/", "/hum/", "/bar/", "/wdir/"})
        EXPECT_NE(c.find(field), std::string::npos) << field;
    EXPECT_EQ(c.find(' '), std::string::npos);
    EXPECT_EQ(u.find(' '), std::string::npos);
}

// ---- the demo driver on a console --------------------------------------

namespace {


struct Demo {
    VirtualConsole console;
    DemoConsole demo;
    std::int64_t now = 0;
    Demo(int days)
    {
        console_init(&console, seconds_from_civil({2026, 12, 8, 14, 10, 0}), now);
        demo_start(&demo, &console, 11, days, now);
        console_connect(&console, now);
    }
    // Runs the demo for ms milliseconds in 100 ms steps, acking everything;
    // returns the kinds (and status codes) of the reports in order.
    std::vector<int> run(std::int64_t ms)
    {
        std::vector<int> kinds;
        for (const std::int64_t end = now + ms; now < end; now += 100) {
            demo_step(&demo, &console, now);
            std::uint8_t r[REPORT_BYTES];
            while (console_next_report(&console, now, r)) {
                if ((r[6] & 0x0F) == 1 || r[1] == 0xFA)
                    kinds.push_back(r[1] == 0xFA ? 0xFA00 | r[2] : r[1]);
                console_feed_command(&console, r[1] == 0xFE ? CMD_PAGE_ACK : CMD_ACK, 9, now);
            }
        }
        return kinds;
    }
};

} // namespace

TEST(DemoConsole, MemoryOfSeveralWeeksUpToTheClock)
{
    Demo d(21);
    ASSERT_EQ(d.console.history.size(), 21u * 48u);
    EXPECT_EQ(split_spaces(d.console.history.back())[2], "14:00");
    EXPECT_EQ(split_spaces(d.console.history.front())[1], "2026-11-17");
    EXPECT_EQ(split_spaces(d.console.history.front())[2], "14:30");
    // The live record carries the clock and the logger percentage.
    const std::vector<std::string> live = split_spaces(std::string(d.console.live, d.console.live_length));
    EXPECT_EQ(live[0], std::to_string(21 * 48 * 100 / DEMO_LOGGER_CAPACITY));
    EXPECT_EQ(live[1], "2026-12-08");
    EXPECT_EQ(live[2], "14:10");
    // Just before half past nothing is added; at half past the record is stored.
    d.run(20 * 60 * 1000);
    EXPECT_EQ(d.console.history.size(), 21u * 48u);
    d.run(1000);
    EXPECT_EQ(d.console.history.size(), 21u * 48u + 1);
    EXPECT_EQ(split_spaces(d.console.history.back())[2], "14:30");
}

TEST(DemoConsole, ClockRequestLiveRecordsAndBodiesAtTheirCadence)
{
    Demo d(1);
    const std::vector<int> first = d.run(12000);
    // The clock request comes once, three seconds after connecting; live
    // records follow every five seconds.
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(first[0], 0xFA03);
    EXPECT_EQ(std::count(first.begin(), first.end(), 0xFA03), 1);
    EXPECT_EQ(std::count(first.begin(), first.end(), 0xFE), 2);
    const std::vector<int> ten_minutes = d.run(600000);
    const auto count = [&](int k) { return std::count(ten_minutes.begin(), ten_minutes.end(), k); };
    EXPECT_EQ(count(0xFB), 10);
    EXPECT_EQ(count(0xF1), 1);
    EXPECT_GT(count(0xFE), 100);
    EXPECT_EQ(count(0xFA03), 0);
    // A new connection asks for the time again.
    console_connect(&d.console, d.now);
    const std::vector<int> again = d.run(4000);
    EXPECT_EQ(std::count(again.begin(), again.end(), 0xFA03), 1);
}

TEST(DemoConsole, NothingUnaskedCutsIntoAHistoryDownload)
{
    Demo d(3);
    d.run(3500);  // past the clock request
    console_feed_command(&d.console, CMD_READ_HISTORY, 9, d.now);
    std::vector<int> counts;
    std::vector<int> kinds;
    // A slow program: one report every 200 ms, for longer than a live cadence.
    for (int i = 0; i < 200 && !console_idle(&d.console); ++i) {
        d.now += 200;
        demo_step(&d.demo, &d.console, d.now);
        std::uint8_t r[REPORT_BYTES];
        if (!console_next_report(&d.console, d.now, r))
            continue;
        kinds.push_back(r[1]);
        counts.push_back(r[2] << 8 | r[3]);
        console_feed_command(&d.console, CMD_PAGE_ACK, 9, d.now);
        // An overdue live record must not ask for an immediate wake-up
        // while the download holds the line.
        EXPECT_GT(demo_wait_ms(&d.demo, &d.console, d.now), 0) << "report " << i;
    }
    ASSERT_FALSE(kinds.empty());
    EXPECT_GT(d.now - 3500, d.demo.cadence.live_ms) << "the download outlasted a live cadence";
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(kinds[i], 0xFE) << i;
        EXPECT_EQ(counts[i], 3 * 48) << i;
    }
}
