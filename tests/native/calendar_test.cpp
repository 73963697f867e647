// The calendar against dates whose day numbers are known: the epoch and
// the day before it, the leap days of 2000 and 2024, and 1900 and 2100,
// which are no leap years.
#include <gtest/gtest.h>

#include "common/calendar.h"

TEST(Calendar, KnownDatesBothWays)
{
    const struct {
        int year, month, day, hour, minute;
        long long days;      // since 1970-01-01
        int month_days;
    } cases[] = {
        {1970, 1, 1, 0, 0, 0, 31},
        {1969, 12, 31, 23, 59, -1, 31},
        {1900, 2, 28, 12, 0, -25509, 28},
        {1900, 3, 1, 0, 0, -25508, 31},
        {2000, 2, 29, 6, 30, 11016, 29},
        {2000, 3, 1, 0, 0, 11017, 31},
        {2023, 2, 28, 23, 59, 19416, 28},
        {2024, 2, 29, 0, 1, 19782, 29},
        {2100, 2, 28, 18, 0, 47540, 28},
        {2100, 3, 1, 0, 0, 47541, 31},
        {2199, 12, 31, 23, 59, 84005, 31},
        {1, 1, 1, 0, 0, -719162, 31},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        EXPECT_EQ(days_from_civil(c.year, c.month, c.day), c.days);
        EXPECT_EQ(days_in_month(c.year, c.month), c.month_days);
        const long long minutes = c.days * 1440 + c.hour * 60 + c.minute;
        const CivilTime m = civil_from_minutes(minutes);
        EXPECT_EQ(m.year, c.year);
        EXPECT_EQ(m.month, c.month);
        EXPECT_EQ(m.day, c.day);
        EXPECT_EQ(m.hour, c.hour);
        EXPECT_EQ(m.minute, c.minute);
        const CivilTime s = civil_from_seconds(minutes * 60 + 59);
        EXPECT_EQ(s.year, c.year);
        EXPECT_EQ(s.day, c.day);
        EXPECT_EQ(s.minute, c.minute);
        EXPECT_EQ(s.second, 59);
        EXPECT_EQ(seconds_from_civil({c.year, c.month, c.day, c.hour, c.minute, 59}),
                  minutes * 60 + 59);
    }
}
