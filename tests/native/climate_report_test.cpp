// Climate reports over a real archive file, against a month worked out by
// hand: three days of February 2026 with a missing reading, a calm wind, a
// tie of gusts, records either side of the month; and the year's rows.
#include <gtest/gtest.h>

#include "report/report_days.h"
#include "web_scenario.h"

using web_test::record;

namespace {

// date, time, outdoor °C, daily rain mm, wind km/h, gust km/h, direction
std::vector<std::string> february()
{
    const char *rows[][7] = {
        {"2026-01-31", "23:30", "-10.0", "1.0", "10.0", "15.0", "90"},
        // 3rd: mean 5.0, heating 13.3, rain 3.4; wind (5 east) + (10 south), the calm one nowhere: SSE
        {"2026-02-03", "06:00", "2.0", "0.0", "5.0", "8.0", "90"},
        {"2026-02-03", "12:00", "8.0", "1.2", "10.0", "22.0", "180"},
        {"2026-02-03", "18:00", "5.0", "3.4", "0.0", "3.0", "270"},
        // 4th: mean 21.0, cooling 2.7; the gust of 35.5 first at 12:00; no temperature at 18:00
        {"2026-02-04", "00:00", "10.0", "0.0", "12.0", "20.0", "270"},
        {"2026-02-04", "12:00", "20.0", "0.0", "12.0", "35.5", "270"},
        {"2026-02-04", "15:00", "33.0", "0.0", "6.0", "35.5", "270"},
        {"2026-02-04", "18:00", "--.-", "0.0", "0.0", "0.0", "270"},
        // 10th: one record, heating 37.3
        {"2026-02-10", "07:00", "-19.0", "25.0", "3.0", "4.0", "0"},
        {"2026-03-01", "00:00", "40.0", "9.0", "50.0", "60.0", "180"},
    };
    std::vector<std::string> records;
    for (const auto &r : rows)
        records.push_back(record(r[0], r[1], r[2], "80", r[3], "1013.2", r[4], r[5], r[6]));
    return records;
}

const char *const february_by_hand = R"(MONTHLY CLIMATOLOGICAL SUMMARY for FEB 2026

TEMPERATURE (°C), RAIN (mm), WIND SPEED (km/h)

                                          HEAT   COOL           AVG
       MEAN                                DEG    DEG          WIND                  DOM
DAY    TEMP   HIGH   TIME    LOW   TIME   DAYS   DAYS   RAIN  SPEED   HIGH   TIME    DIR
----------------------------------------------------------------------------------------
1
2
3       5.0    8.0  12:00    2.0  06:00   13.3    0.0    3.4    5.0   22.0  12:00    SSE
4      21.0   33.0  15:00   10.0  00:00    0.0    2.7    0.0    7.5   35.5  12:00      W
5
6
7
8
9
10    -19.0  -19.0  07:00  -19.0  07:00   37.3    0.0   25.0    3.0    4.0  07:00      N
11
12
13
14
15
16
17
18
19
20
21
22
23
24
25
26
27
28
----------------------------------------------------------------------------------------
        8.4   33.0      4  -19.0     10   50.6    2.7   28.4    6.0   35.5      4    WSW

Max >= 32.2: 1
Max <= 0.0: 1
Min <= 0.0: 1
Min <= -17.8: 1
Max rain: 25.0 on 10
Days of rain: 2 (>= 0.2 mm), 2 (>= 2.0 mm), 1 (>= 20.0 mm)
Degree days from 18.3 °C of mean temperature
)";

struct Archived {
    web_test::TempDir dir;
    Archive *archive = nullptr;
    Archived()
    {
        ArchiveError error;
        EXPECT_TRUE(archive_open(dir.path + "/archive.sqlite", &archive, &error)) << error.message;
        MergeCounts counts;
        EXPECT_TRUE(archive_merge(archive, february(), 0, &counts, &error)) << error.message;
    }
    ~Archived() { archive_close(archive); }
    // The report's text, or "none" when it has nothing to report.
    std::string report(int year, int month, const UnitSettings &units = UnitSettings{})
    {
        std::vector<DaySummary> days;
        std::string error, text;
        EXPECT_TRUE(report_days(archive, year, month, &days, &error)) << error;
        return climate_report(year, month, days, units, &text) ? text : "none";
    }
};

std::string line_starting(const std::string &text, const std::string &start)
{
    std::size_t at = text.find("\n" + start);
    if (at == std::string::npos)
        return "<no line " + start + ">";
    at += 1;
    return text.substr(at, text.find('\n', at) - at);
}

} // namespace

TEST(ClimateReport, AMonthMatchesTheOneWorkedOutByHand)
{
    Archived a;
    EXPECT_EQ(a.report(2026, 2), february_by_hand);
}

TEST(ClimateReport, AYearHasARowPerMonthWithTheDayOfEachExtreme)
{
    Archived a;
    const std::string year = a.report(2026, 0);
    const struct {
        const char *start, *expected;
    } rows[] = {
        {"MO ", "MO     TEMP   HIGH   DATE    LOW   DATE   DAYS   DAYS   RAIN  SPEED   HIGH   DATE    DIR"},
        {"JAN", "JAN   -10.0  -10.0     31  -10.0     31   28.3    0.0    1.0   10.0   15.0     31      E"},
        {"FEB", "FEB     8.4   33.0      4  -19.0     10   50.6    2.7   28.4    6.0   35.5      4    WSW"},
        {"MAR", "MAR    40.0   40.0      1   40.0      1    0.0   21.7    9.0   50.0   60.0      1      S"},
        {"APR", "APR"},
        {"Max rain", "Max rain: 25.0 on FEB 10"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(line_starting(year, r.start), r.expected) << r.start;
    EXPECT_EQ(year.substr(year.rfind("-\n") + 2, 88), "        9.9   40.0  MAR 1  -19.0 FEB 10   78.9   24.4   38.4   10.8   60.0  MAR 1    SSW");
}

TEST(ClimateReport, OtherUnitsAndPeriodsWithoutRecords)
{
    Archived a;
    UnitSettings imperial;
    imperial.temperature_unit = 1;
    imperial.rain_unit = 1;
    imperial.wind_unit = 0;
    imperial.direction_style = 1;
    const std::string f = a.report(2026, 2, imperial);
    // 5.0 °C is 41.0 °F, 65 - 41.0 heating degree days; 3.4 mm, 5.0 and
    // 22.0 km/h; the wind's direction to the degree; 25 mm is not an inch.
    EXPECT_EQ(line_starting(f, "3 "), "3      41.0   46.4  12:00   35.6  06:00   24.0    0.0   0.13    3.1   13.7  12:00    153");
    EXPECT_EQ(line_starting(f, "TEMP"), "TEMPERATURE (°F), RAIN (in), WIND SPEED (mph)");
    EXPECT_EQ(line_starting(f, "Days"), "Days of rain: 2 (>= 0.01 in), 2 (>= 0.10 in), 0 (>= 1.00 in)");
    EXPECT_EQ(line_starting(f, "Degree"), "Degree days from 65.0 °F of mean temperature");
    EXPECT_EQ(a.report(2026, 4), "none");
    EXPECT_EQ(a.report(2025, 0), "none");
}

TEST(ClimateReport, PeriodsAreAYearOrAYearAndMonth)
{
    const struct {
        const char *text;
        int ok, year, month;
    } cases[] = {
        {"2026-02", 1, 2026, 2}, {"2026", 1, 2026, 0},   {"2026-13", 0, 0, 0}, {"2026-2", 0, 0, 0},
        {"26", 0, 0, 0},         {"2026-02-01", 0, 0, 0}, {"", 0, 0, 0},       {"abcd", 0, 0, 0},
    };
    for (const auto &c : cases) {
        int year = 0, month = 0;
        EXPECT_EQ(parse_report_period(c.text, &year, &month), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(year * 100 + month, c.year * 100 + c.month) << c.text;
        }
    }
}
