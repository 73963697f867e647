#include "station/commands.h"

#include "station/crc.h"

static void build_frame(std::uint8_t code, int a, int b, int c, std::uint8_t frame[FRAME_BYTES])
{
    frame[0] = 0x00;
    frame[1] = 0xFC;
    frame[2] = code;
    frame[3] = static_cast<std::uint8_t>(a);
    frame[4] = static_cast<std::uint8_t>(b);
    frame[5] = static_cast<std::uint8_t>(c);
    const std::uint16_t crc = crc16(frame, 1, 6);
    frame[6] = static_cast<std::uint8_t>(crc & 0xFF); // low byte first in these two frames
    frame[7] = static_cast<std::uint8_t>(crc >> 8);
    frame[8] = 0xFD;
}

void build_date_frame(const LocalTime &time, std::uint8_t frame[FRAME_BYTES])
{
    build_frame(CMD_SET_DATE, time.year % 100, time.month, time.day, frame);
}

void build_time_frame(const LocalTime &time, std::uint8_t frame[FRAME_BYTES])
{
    build_frame(CMD_SET_TIME, time.hour, time.minute, time.second, frame);
}
