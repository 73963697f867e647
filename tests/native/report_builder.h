// Builds raw 65-byte input reports the way the console sends them, with a
// correct CRC unless asked otherwise.
#pragma once
#include <cstdint>
#include <cstring>

#include "station/crc.h"
#include "station/report_handler.h"

struct RawReport {
    std::uint8_t bytes[REPORT_BYTES];
};

// kind; count (KIND_RECORD) or code/flag (KIND_STATUS) in bytes 2-3; page
// key in bytes 4-5; packet index of count; payload text.
inline RawReport make_report(std::uint8_t kind, int count, int key, int index, int packets,
                             const char *payload = "", int good_crc = 1)
{
    RawReport r = {};
    r.bytes[1] = kind;
    r.bytes[2] = static_cast<std::uint8_t>(count >> 8);
    r.bytes[3] = static_cast<std::uint8_t>(count);
    r.bytes[4] = static_cast<std::uint8_t>(key >> 8);
    r.bytes[5] = static_cast<std::uint8_t>(key);
    r.bytes[6] = static_cast<std::uint8_t>(packets << 4 | index);
    std::size_t n = std::strlen(payload);
    if (n > MAX_PAYLOAD)
        n = MAX_PAYLOAD;
    r.bytes[7] = static_cast<std::uint8_t>(n);
    std::memcpy(r.bytes + 8, payload, n);
    std::uint16_t crc = crc16(r.bytes, 1, 62);
    if (!good_crc)
        crc ^= 0x0101;
    r.bytes[62] = static_cast<std::uint8_t>(crc >> 8);
    r.bytes[63] = static_cast<std::uint8_t>(crc);
    return r;
}

// Sets the length byte to any value and refreshes the CRC.
inline void set_length(RawReport &r, int length)
{
    r.bytes[7] = static_cast<std::uint8_t>(length);
    const std::uint16_t crc = crc16(r.bytes, 1, 62);
    r.bytes[62] = static_cast<std::uint8_t>(crc >> 8);
    r.bytes[63] = static_cast<std::uint8_t>(crc);
}
