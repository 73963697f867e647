// The calendar every part counts time by: the proleptic Gregorian calendar
// without time zones, days and seconds from 1970-01-01 00:00. The console's
// clock, the archive's minutes and the page's times are all wall-clock
// readings of this kind.
#pragma once
#include <cstdint>
#include <string>

struct CivilTime {
    int year, month, day, hour, minute, second;
};

// 28 to 31; `month` is 1 to 12.
int days_in_month(int year, int month);

// Days since 1970-01-01 (negative before it). A day past the month's end
// counts on into the next month.
long long days_from_civil(long long year, int month, int day);
std::int64_t seconds_from_civil(const CivilTime &t);
CivilTime civil_from_seconds(std::int64_t seconds);
// The seconds are 0.
CivilTime civil_from_minutes(long long minutes);

// "YEAR-MONTH-DAY" cut at its two dashes into the three fields as typed, for
// the export's date checks to judge; 0 when it has fewer than two dashes.
int split_date(const std::string &text, std::u16string parts[3]);
