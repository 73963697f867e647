#include <gtest/gtest.h>

#include <string>

#include "live/read_time.h"

namespace {
std::u16string stamp(int year, int month, int day, int hour, int minute)
{
    char16_t out[READ_TIME_UNITS];
    make_read_time_text(out, year, month, day, hour, minute);
    return out;
}
} // namespace

TEST(ReadTime, HourIsPrintedAsIsWithAmUpToTwelve)
{
    EXPECT_EQ(stamp(2026, 8, 3, 15, 7), u"08/ 03/ 2026, 15:07 PM");
    EXPECT_EQ(stamp(2026, 8, 3, 9, 5), u"08/ 03/ 2026, 09:05 AM");
    EXPECT_EQ(stamp(2026, 12, 31, 12, 30), u"12/ 31/ 2026, 12:30 AM");
    EXPECT_EQ(stamp(2026, 12, 31, 13, 30), u"12/ 31/ 2026, 13:30 PM");
    EXPECT_EQ(stamp(2027, 1, 1, 0, 0), u"01/ 01/ 2027, 00:00 AM");
}

TEST(ReadTime, AbsurdFieldsAreCutToTheStoredSize)
{
    std::u16string text = stamp(2147483647, -2147483647 - 1, 2147483647, 2147483647, 99);
    EXPECT_EQ(text.size(), static_cast<size_t>(READ_TIME_UNITS - 1));
}
