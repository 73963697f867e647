// The seven settings in the per-user registry, one REG_BINARY value per
// subkey under HKEY_CURRENT_USER "Software\Corvalen\VID_1941&PID_8021\".
// One writer and one reader per value. Readers leave the caller's buffer
// untouched when the key or value is missing, so callers clear it first.
#pragma once
#include <cstdint>

#include "settings/unit_settings.h"

void write_setting_data(const wchar_t text[32]); // 64 bytes
void read_setting_data(wchar_t text[32]);
void write_setting_id(const wchar_t text[64]);   // 128 bytes each
void read_setting_id(wchar_t text[64]);
void write_setting_key(const wchar_t text[64]);
void read_setting_key(wchar_t text[64]);
void write_setting_id1(const wchar_t text[64]);
void read_setting_id1(wchar_t text[64]);
void write_setting_key1(const wchar_t text[64]);
void read_setting_key1(wchar_t text[64]);
void write_setting_unit(const UnitSettings &units); // 12 bytes stored
void read_setting_unit(UnitSettings &units);        // bytes 0 to 5 used
void write_setting_ls(const std::uint8_t ls[4]);
void read_setting_ls(std::uint8_t ls[4]);
