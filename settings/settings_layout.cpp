#include "settings/settings_layout.h"

#include <cstring>

#include "ui/languages.h"

void serialise_setting_text(const char16_t *text, int units, std::uint8_t *bytes)
{
    std::memset(bytes, 0, static_cast<std::size_t>(units) * 2);
    for (int i = 0; i < units - 1 && text[i] != 0; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
}

void parse_setting_text(const std::uint8_t *bytes, int units, char16_t *text)
{
    int i = 0;
    for (; i < units - 1; ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (text[i] == 0)
            return;
    }
    text[i] = 0;
}

void serialise_unit_setting(const UnitSettings &units, std::uint8_t bytes[SETTING_UNIT_BYTES])
{
    std::memset(bytes, 0, SETTING_UNIT_BYTES);
    bytes[0] = units.temperature_unit;
    bytes[1] = units.rain_unit;
    bytes[2] = units.pressure_unit;
    bytes[3] = units.wind_unit;
    bytes[4] = units.pressure_kind;
    bytes[5] = units.direction_style;
}

void parse_unit_setting(const std::uint8_t bytes[SETTING_UNIT_BYTES], UnitSettings &units)
{
    units.temperature_unit = bytes[0];
    units.rain_unit = bytes[1];
    units.pressure_unit = bytes[2];
    units.wind_unit = bytes[3];
    units.pressure_kind = bytes[4];
    units.direction_style = bytes[5];
}

void serialise_ls_setting(int language, int service, std::uint8_t bytes[SETTING_LS_BYTES])
{
    bytes[0] = static_cast<std::uint8_t>(language);
    bytes[1] = static_cast<std::uint8_t>(service);
    bytes[2] = 0;
    bytes[3] = 0;
}

void parse_ls_setting(const std::uint8_t bytes[SETTING_LS_BYTES], int &language, int &service)
{
    language = bytes[0] < LANGUAGE_COUNT ? bytes[0] : 0;
    service = bytes[1] <= 1 ? bytes[1] : 0;
}
