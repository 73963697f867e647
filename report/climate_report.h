// Climate reports: the monthly and yearly climatological summaries in the
// plain-text layout weather services print, a row per day of a month or
// per month of a year, then the period's totals and extremes. They are
// made from one summary per day, so that whatever keeps those (a scan of
// the records, or tables kept beside them) can feed them.
#pragma once
#include <string>
#include <vector>

#include "settings/unit_settings.h"

// One reading over a day in the console's units: the lowest and highest
// with the first minute each was reached, and a sum and count for the mean.
struct ReadingStat {
    double min, max, sum;
    long long min_at, max_at;  // minutes since 1970-01-01 00:00 of the console's clock
    long count;
};

struct DaySummary {
    int year, month, day;
    ReadingStat temperature;        // outdoor, °C
    ReadingStat wind;               // average speed, km/h
    ReadingStat gust;               // km/h
    double rain;                    // mm fallen that day (the daily counter's highest)
    int have_rain;
    // The wind as a vector sum of speed times the unit vector of its
    // direction, so that calm readings point nowhere.
    double wind_east, wind_north;
    long records;
};

// A day without any reading yet.
DaySummary empty_day(int year, int month, int day);
// Adds one reading to a statistic (of a tie, the earliest minute is kept).
void stat_add(ReadingStat *stat, double value, long long minutes);

// Degree days are counted from this mean temperature: 65 °F.
constexpr double DEGREE_DAY_BASE_C = 18.3;
constexpr double DEGREE_DAY_BASE_F = 65.0;

// "YYYY-MM" (month 1..12) or "YYYY" (month 0); 0 when it is neither.
int parse_report_period(const std::string &text, int *year, int *month);

// The report of a month (month 1..12) or of a year (month 0) from the days
// that have records, in any order, in the configured units. 0 when none of
// them lies in the period: there is nothing to report.
int climate_report(int year, int month, const std::vector<DaySummary> &days, const UnitSettings &units,
                   std::string *text);
