// Byte layouts of the seven stored settings, independent of where they are
// kept. Texts are UTF-16LE, NUL-terminated and zero-filled; "unit" is the
// six unit bytes and six zeros; "ls" is language, upload service, 0, 0.
#pragma once
#include <cstdint>

#include "settings/unit_settings.h"

constexpr int SETTING_DATA_BYTES = 64;        // "Data": the last-read stamp
constexpr int SETTING_CREDENTIAL_BYTES = 128; // "Id", "Key", "Id1", "Key1"
constexpr int SETTING_UNIT_BYTES = 12;
constexpr int SETTING_LS_BYTES = 4;

constexpr int DATA_TEXT_UNITS = SETTING_DATA_BYTES / 2;             // 32
constexpr int CREDENTIAL_TEXT_UNITS = SETTING_CREDENTIAL_BYTES / 2; // 64, 63 kept

// Text of at most units - 1 characters (cut there when longer or without
// a NUL) to units * 2 bytes of UTF-16LE; everything after the NUL is zero.
void serialise_setting_text(const char16_t *text, int units, std::uint8_t *bytes);

// units * 2 stored bytes back to text; the result always ends with a NUL
// within units, even when the stored bytes hold none.
void parse_setting_text(const std::uint8_t *bytes, int units, char16_t *text);

void serialise_unit_setting(const UnitSettings &units, std::uint8_t bytes[SETTING_UNIT_BYTES]);

// Only bytes 0 to 5 count. Values out of range are kept as stored: the
// formatters treat them as their defaults.
void parse_unit_setting(const std::uint8_t bytes[SETTING_UNIT_BYTES], UnitSettings &units);

void serialise_ls_setting(int language, int service, std::uint8_t bytes[SETTING_LS_BYTES]);

// Start-up reading of "ls": a language above 4 becomes 0 (English), a
// service other than 0 or 1 becomes 0 (Weather Underground).
void parse_ls_setting(const std::uint8_t bytes[SETTING_LS_BYTES], int &language, int &service);
