#include "station/crc.h"

std::uint16_t crc16(const std::uint8_t *bytes, std::size_t start, std::size_t end)
{
    std::uint16_t crc = 0;
    for (std::size_t i = start; i < end; ++i) {
        crc ^= static_cast<std::uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}
