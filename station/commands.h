// The 9-byte command frames Nimbrel writes to the console:
//   00 FC code arg arg arg CRC CRC FD
// The CRC-16 covers bytes 1 to 5. Fixed frames are stored complete and carry
// the CRC high byte first; the date and time frames are built when sent and
// carry it low byte first. Which order the console accepts for those two
// was never settled by its makers; low byte first is what it has been sent.
#pragma once
#include <cstdint>

constexpr int FRAME_BYTES = 9;

inline constexpr std::uint8_t CMD_STOP_TRANSFER[FRAME_BYTES] = {0x00, 0xFC, 0x07, 0x00, 0x00, 0x00, 0xE5, 0x50, 0xFD};
inline constexpr std::uint8_t CMD_READ_LIVE[FRAME_BYTES] = {0x00, 0xFC, 0x03, 0x00, 0x00, 0x00, 0x2F, 0xA1, 0xFD};
inline constexpr std::uint8_t CMD_READ_HISTORY[FRAME_BYTES] = {0x00, 0xFC, 0x05, 0x00, 0x00, 0x00, 0x08, 0x38, 0xFD};
inline constexpr std::uint8_t CMD_ACK[FRAME_BYTES] = {0x00, 0xFC, 0xD4, 0x01, 0x00, 0x00, 0xE1, 0xBF, 0xFD};
inline constexpr std::uint8_t CMD_NAK[FRAME_BYTES] = {0x00, 0xFC, 0xD4, 0x02, 0x00, 0x00, 0xB8, 0xEF, 0xFD};
inline constexpr std::uint8_t CMD_PAGE_ACK[FRAME_BYTES] = {0x00, 0xFC, 0xD5, 0x01, 0x00, 0x00, 0x97, 0x0B, 0xFD};
inline constexpr std::uint8_t CMD_PAGE_NAK[FRAME_BYTES] = {0x00, 0xFC, 0xD5, 0x02, 0x00, 0x00, 0xCE, 0x5B, 0xFD};

// Command codes of the frames built when sent.
constexpr std::uint8_t CMD_SET_DATE = 0x08;
constexpr std::uint8_t CMD_SET_TIME = 0x09;

// Local time as the PC clock gives it (year in full, month 1-12, day 1-31,
// hour 0-23, minute and second 0-59).
struct LocalTime {
    int year, month, day, hour, minute, second;
};

// CMD_SET_DATE: arguments year modulo 100, month, day as plain bytes.
void build_date_frame(const LocalTime &time, std::uint8_t frame[FRAME_BYTES]);
// CMD_SET_TIME: arguments hour, minute, second as plain bytes.
void build_time_frame(const LocalTime &time, std::uint8_t frame[FRAME_BYTES]);
