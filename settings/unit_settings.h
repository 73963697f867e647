// The user's unit choices: six one-byte indices, each the selected item of
// one unit combo box on the EXPORT & SETUP page.
#pragma once
#include <cstdint>

struct UnitSettings {
    std::uint8_t temperature_unit = 0; // 0 °C, 1 °F
    std::uint8_t rain_unit = 0;        // 0 mm, 1 in
    std::uint8_t pressure_unit = 0;    // 0 hPa, 1 mmHg, 2 inHg
    std::uint8_t wind_unit = 2;        // 0 mph, 1 m/s, 2 km/h, 3 knots
    std::uint8_t pressure_kind = 1;    // 0 absolute, 1 relative
    std::uint8_t direction_style = 0;  // 0 sixteen compass points, 1 degrees
};
static_assert(sizeof(UnitSettings) == 6, "stored byte for byte");

// The process-wide choices: changed only by the EXPORT & SETUP page, read by
// the dashboard and the export writer.
extern UnitSettings unit_settings;
