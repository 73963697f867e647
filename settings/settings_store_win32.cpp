// The registry side of the settings: each value in its own subkey of
// HKEY_CURRENT_USER, moved as bytes laid out by settings_layout. Nothing is
// reported to the user; a value that cannot be stored is simply not stored.
#include "settings/settings_store_win32.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "settings/settings_layout.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UI text is UTF-16");

static const wchar_t SETTINGS_ROOT[] = L"Software\\Corvalen\\VID_1941&PID_8021\\";

static void setting_path(const wchar_t *name, wchar_t (&path)[64])
{
    std::swprintf(path, 64, L"%ls%ls", SETTINGS_ROOT, name);
}

static void write_setting(const wchar_t *name, const std::uint8_t *bytes, DWORD count)
{
    wchar_t path[64];
    setting_path(name, path);
    HKEY key = nullptr;
    if (RegOpenKeyW(HKEY_CURRENT_USER, path, &key) != ERROR_SUCCESS &&
        RegCreateKeyW(HKEY_CURRENT_USER, path, &key) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, name, 0, REG_BINARY, bytes, count);
    RegCloseKey(key);
}

// 1 when the value is REG_BINARY of exactly count bytes, now in bytes.
// Anything else (missing, longer, shorter, another type) counts as absent,
// so the caller's buffer keeps what the caller put there.
static int read_setting(const wchar_t *name, std::uint8_t *bytes, DWORD count)
{
    wchar_t path[64];
    setting_path(name, path);
    HKEY key = nullptr;
    if (RegOpenKeyW(HKEY_CURRENT_USER, path, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = 0;
    DWORD size = count;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, bytes, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_BINARY && size == count;
}

// ---- texts ------------------------------------------------------------------

static void write_text(const wchar_t *name, const wchar_t *text, int units)
{
    std::uint8_t bytes[SETTING_CREDENTIAL_BYTES];
    serialise_setting_text(reinterpret_cast<const char16_t *>(text), units, bytes);
    write_setting(name, bytes, static_cast<DWORD>(units * 2));
}

static void read_text(const wchar_t *name, wchar_t *text, int units)
{
    std::uint8_t bytes[SETTING_CREDENTIAL_BYTES];
    if (read_setting(name, bytes, static_cast<DWORD>(units * 2)))
        parse_setting_text(bytes, units, reinterpret_cast<char16_t *>(text));
}

void write_setting_data(const wchar_t text[32]) { write_text(L"Data", text, DATA_TEXT_UNITS); }
void read_setting_data(wchar_t text[32]) { read_text(L"Data", text, DATA_TEXT_UNITS); }
void write_setting_id(const wchar_t text[64]) { write_text(L"Id", text, CREDENTIAL_TEXT_UNITS); }
void read_setting_id(wchar_t text[64]) { read_text(L"Id", text, CREDENTIAL_TEXT_UNITS); }
void write_setting_key(const wchar_t text[64]) { write_text(L"Key", text, CREDENTIAL_TEXT_UNITS); }
void read_setting_key(wchar_t text[64]) { read_text(L"Key", text, CREDENTIAL_TEXT_UNITS); }
void write_setting_id1(const wchar_t text[64]) { write_text(L"Id1", text, CREDENTIAL_TEXT_UNITS); }
void read_setting_id1(wchar_t text[64]) { read_text(L"Id1", text, CREDENTIAL_TEXT_UNITS); }
void write_setting_key1(const wchar_t text[64]) { write_text(L"Key1", text, CREDENTIAL_TEXT_UNITS); }
void read_setting_key1(wchar_t text[64]) { read_text(L"Key1", text, CREDENTIAL_TEXT_UNITS); }

// ---- unit choices and language --------------------------------------------------

void write_setting_unit(const UnitSettings &units)
{
    std::uint8_t bytes[SETTING_UNIT_BYTES];
    serialise_unit_setting(units, bytes);
    write_setting(L"unit", bytes, SETTING_UNIT_BYTES);
}

void read_setting_unit(UnitSettings &units)
{
    std::uint8_t bytes[SETTING_UNIT_BYTES];
    if (read_setting(L"unit", bytes, SETTING_UNIT_BYTES))
        parse_unit_setting(bytes, units);
}

void write_setting_ls(const std::uint8_t ls[4]) { write_setting(L"ls", ls, SETTING_LS_BYTES); }

void read_setting_ls(std::uint8_t ls[4])
{
    std::uint8_t bytes[SETTING_LS_BYTES];
    if (read_setting(L"ls", bytes, SETTING_LS_BYTES))
        std::memcpy(ls, bytes, SETTING_LS_BYTES);
}
