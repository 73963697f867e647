// CRC-16/XMODEM, the check of every input report and command frame:
// polynomial 0x1021, initial value 0, no reflection, no final XOR.
#pragma once
#include <cstddef>
#include <cstdint>

// CRC over bytes[start] .. bytes[end - 1]; an empty range gives 0.
std::uint16_t crc16(const std::uint8_t *bytes, std::size_t start, std::size_t end);
