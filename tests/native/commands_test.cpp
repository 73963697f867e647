#include <gtest/gtest.h>

#include <cstring>

#include "station/commands.h"
#include "station/crc.h"

namespace {

struct FixedFrame {
    const char *name;
    const std::uint8_t *frame;
    std::uint8_t code, argument;
    std::uint16_t crc;
};

const FixedFrame fixed_frames[] = {
    {"CMD_STOP_TRANSFER", CMD_STOP_TRANSFER, 0x07, 0x00, 0xE550},
    {"CMD_READ_LIVE", CMD_READ_LIVE, 0x03, 0x00, 0x2FA1},
    {"CMD_READ_HISTORY", CMD_READ_HISTORY, 0x05, 0x00, 0x0838},
    {"CMD_ACK", CMD_ACK, 0xD4, 0x01, 0xE1BF},
    {"CMD_NAK", CMD_NAK, 0xD4, 0x02, 0xB8EF},
    {"CMD_PAGE_ACK", CMD_PAGE_ACK, 0xD5, 0x01, 0x970B},
    {"CMD_PAGE_NAK", CMD_PAGE_NAK, 0xD5, 0x02, 0xCE5B},
};

} // namespace

TEST(Commands, EveryFixedFrameIsTheTabledBytesWithItsCrcHighByteFirst)
{
    for (const FixedFrame &f : fixed_frames) {
        SCOPED_TRACE(f.name);
        const std::uint8_t expected[FRAME_BYTES] = {
            0x00, 0xFC, f.code, f.argument, 0x00, 0x00,
            static_cast<std::uint8_t>(f.crc >> 8), static_cast<std::uint8_t>(f.crc), 0xFD};
        EXPECT_EQ(0, std::memcmp(f.frame, expected, FRAME_BYTES));
        EXPECT_EQ(crc16(f.frame, 1, 6), f.crc);
    }
}

TEST(Commands, DateAndTimeFramesCarryPlainBytesAndCrcLowByteFirst)
{
    struct Case {
        const char *name;
        LocalTime time;
        std::uint8_t date_args[3], time_args[3];
    } cases[] = {
        {"7 March 2026 13:45:09", {2026, 3, 7, 13, 45, 9}, {0x1A, 0x03, 0x07}, {0x0D, 0x2D, 0x09}},
        {"year 2000 at midnight", {2000, 1, 1, 0, 0, 0}, {0x00, 0x01, 0x01}, {0x00, 0x00, 0x00}},
        {"year 2099 last second", {2099, 12, 31, 23, 59, 59}, {0x63, 0x0C, 0x1F}, {0x17, 0x3B, 0x3B}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::uint8_t date[FRAME_BYTES], time[FRAME_BYTES];
        build_date_frame(c.time, date);
        build_time_frame(c.time, time);
        const std::uint8_t *frames[] = {date, time};
        const std::uint8_t codes[] = {CMD_SET_DATE, CMD_SET_TIME};
        const std::uint8_t *args[] = {c.date_args, c.time_args};
        for (int i = 0; i < 2; ++i) {
            const std::uint8_t *f = frames[i];
            EXPECT_EQ(f[0], 0x00);
            EXPECT_EQ(f[1], 0xFC);
            EXPECT_EQ(f[2], codes[i]);
            EXPECT_EQ(0, std::memcmp(f + 3, args[i], 3));
            const std::uint16_t crc = crc16(f, 1, 6);
            EXPECT_EQ(f[6], crc & 0xFF);
            EXPECT_EQ(f[7], crc >> 8);
            EXPECT_EQ(f[8], 0xFD);
        }
    }
}
