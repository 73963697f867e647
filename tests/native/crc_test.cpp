#include <gtest/gtest.h>

#include "station/crc.h"

TEST(Crc16, PublishedCheckValue)
{
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc16(digits, 0, sizeof digits), 0x31C3);
}

TEST(Crc16, RangeIsHalfOpenAndEmptyRangeIsZero)
{
    // The digits sit inside other bytes: only [2, 11) may be covered.
    const std::uint8_t framed[] = {0xAA, 0x55, '1', '2', '3', '4', '5', '6', '7', '8', '9', 0x77};
    EXPECT_EQ(crc16(framed, 2, 11), 0x31C3);
    EXPECT_EQ(crc16(framed, 4, 4), 0);
}

TEST(Crc16, LeadingZeroByteDoesNotChangeTheValue)
{
    // Command frames may be checked with or without their 0x00 report id.
    const std::uint8_t frame[] = {0x00, 0xFC, 0x03, 0x00, 0x00, 0x00};
    EXPECT_EQ(crc16(frame, 0, 6), crc16(frame, 1, 6));
    EXPECT_EQ(crc16(frame, 1, 6), 0x2FA1);
}
