// The settings store against the registry of the private Wine prefix. The
// values are checked with the registry API itself: type, length and bytes.
// Each test starts and ends without the program's key, because the test
// programs share one prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "settings/settings_layout.h"
#include "settings/settings_store_win32.h"

namespace {

const wchar_t PRODUCT_KEY[] = L"Software\\Corvalen\\VID_1941&PID_8021";

std::wstring subkey(const wchar_t *name) { return std::wstring(PRODUCT_KEY) + L"\\" + name; }

void delete_settings()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, PRODUCT_KEY);
    RegDeleteKeyW(HKEY_CURRENT_USER, PRODUCT_KEY);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Corvalen");
}

struct Stored {
    LONG result = -1;
    DWORD type = 0;
    DWORD size = 0;
    BYTE bytes[512] = {};
};

Stored stored(const wchar_t *name)
{
    Stored s;
    HKEY key = nullptr;
    s.result = RegOpenKeyW(HKEY_CURRENT_USER, subkey(name).c_str(), &key);
    if (s.result != ERROR_SUCCESS)
        return s;
    s.size = sizeof s.bytes;
    s.result = RegQueryValueExW(key, name, nullptr, &s.type, s.bytes, &s.size);
    RegCloseKey(key);
    return s;
}

void store_raw(const wchar_t *name, DWORD type, const void *bytes, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, subkey(name).c_str(), &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(bytes), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// A text buffer followed by a guard, to see a write past its end.
struct Guarded {
    wchar_t text[64];
    wchar_t guard[8];
};

void fill(Guarded &g, wchar_t c)
{
    for (wchar_t &u : g.text)
        u = c;
    for (wchar_t &u : g.guard)
        u = c;
}

bool untouched(const Guarded &g, wchar_t c)
{
    for (wchar_t u : g.text)
        if (u != c)
            return false;
    for (wchar_t u : g.guard)
        if (u != c)
            return false;
    return true;
}

struct TextValue {
    const wchar_t *name;
    int units;
    void (*write)(const wchar_t *);
    void (*read)(wchar_t *);
};

const TextValue TEXT_VALUES[] = {
    {L"Data", 32, write_setting_data, read_setting_data},
    {L"Id", 64, write_setting_id, read_setting_id},
    {L"Key", 64, write_setting_key, read_setting_key},
    {L"Id1", 64, write_setting_id1, read_setting_id1},
    {L"Key1", 64, write_setting_key1, read_setting_key1},
};

// Language and service as start-up takes them from the stored "ls".
std::pair<int, int> start_up_choice()
{
    std::uint8_t ls[4] = {};
    read_setting_ls(ls);
    int language = -1, service = -1;
    parse_ls_setting(ls, language, service);
    return {language, service};
}

std::string narrow(const wchar_t *w)
{
    std::string s;
    for (; *w; ++w)
        s += static_cast<char>(*w);
    return s;
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { delete_settings(); }
    void TearDown() override { delete_settings(); }
};

} // namespace

TEST_F(SettingsStore, FirstRunGivesTheDefaultsAndCreatesNothing)
{
    for (const TextValue &v : TEXT_VALUES) {
        Guarded g;
        fill(g, 0);
        v.read(g.text);
        EXPECT_TRUE(untouched(g, 0)) << narrow(v.name);
    }
    UnitSettings units;
    read_setting_unit(units);
    const UnitSettings defaults;
    EXPECT_EQ(0, std::memcmp(&units, &defaults, sizeof units));
    EXPECT_EQ(units.wind_unit, 2);
    EXPECT_EQ(units.pressure_kind, 1);

    EXPECT_EQ(start_up_choice(), std::make_pair(0, 0));

    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyW(HKEY_CURRENT_USER, PRODUCT_KEY, &key), ERROR_SUCCESS)
        << "reading must not create keys";
}

TEST_F(SettingsStore, TextsAreStoredAsZeroFilledBinaryOfFixedLength)
{
    for (const TextValue &v : TEXT_VALUES) {
        // Junk after the NUL of the caller's buffer must not be stored.
        wchar_t text[64];
        for (wchar_t &u : text)
            u = L'#';
        std::wcscpy(text, L"IHAMBU42");
        v.write(text);

        Stored s = stored(v.name);
        ASSERT_EQ(s.result, ERROR_SUCCESS) << narrow(v.name);
        EXPECT_EQ(s.type, static_cast<DWORD>(REG_BINARY)) << narrow(v.name);
        ASSERT_EQ(s.size, static_cast<DWORD>(v.units * 2)) << narrow(v.name);
        EXPECT_EQ(0, std::memcmp(s.bytes, "I\0H\0A\0M\0B\0U\0" "4\0" "2\0", 16)) << narrow(v.name);
        for (DWORD i = 16; i < s.size; ++i)
            ASSERT_EQ(s.bytes[i], 0) << narrow(v.name) << " byte " << i;

        Guarded g;
        fill(g, 0);
        v.read(g.text);
        EXPECT_STREQ(g.text, L"IHAMBU42") << narrow(v.name);
    }
}

TEST_F(SettingsStore, EachValueLivesInItsOwnSubkey)
{
    wchar_t wu[64] = L"wu-id";
    write_setting_id(wu);
    EXPECT_EQ(stored(L"Id").result, ERROR_SUCCESS);
    EXPECT_NE(stored(L"Id1").result, ERROR_SUCCESS);
    EXPECT_NE(stored(L"Key").result, ERROR_SUCCESS);

    wchar_t wc[64] = L"wc-id";
    write_setting_id1(wc);
    Guarded g;
    fill(g, 0);
    read_setting_id(g.text);
    EXPECT_STREQ(g.text, L"wu-id");
}

TEST_F(SettingsStore, CredentialsOf63CharactersRoundTripAnd64AreCut)
{
    for (int length : {63, 64}) {
        wchar_t typed[64];
        for (int i = 0; i < 64; ++i)
            typed[i] = static_cast<wchar_t>(L'a' + i % 26);
        if (length == 63)
            typed[63] = 0;
        write_setting_key1(typed);

        Stored s = stored(L"Key1");
        ASSERT_EQ(s.size, 128u) << length;
        EXPECT_EQ(s.bytes[126], 0) << length;
        EXPECT_EQ(s.bytes[127], 0) << length;

        Guarded g;
        fill(g, 0);
        read_setting_key1(g.text);
        EXPECT_EQ(std::wstring(g.text), std::wstring(typed, 63)) << length;
    }
}

TEST_F(SettingsStore, UnitIsTwelveBytesAndReadsOnlyTheFirstSix)
{
    UnitSettings chosen;
    chosen.temperature_unit = 1;
    chosen.pressure_unit = 2;
    chosen.wind_unit = 3;
    chosen.pressure_kind = 0;
    chosen.direction_style = 1;
    write_setting_unit(chosen);
    Stored s = stored(L"unit");
    EXPECT_EQ(s.type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(s.size, 12u);
    const BYTE expected[12] = {1, 0, 2, 3, 0, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(s.bytes, expected, 12));

    // Non-zero bytes 6 to 11 change nothing, and nothing spills past the record.
    const BYTE noisy[12] = {1, 1, 1, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    store_raw(L"unit", REG_BINARY, noisy, sizeof noisy);
    struct {
        UnitSettings units;
        BYTE guard[6];
    } read;
    std::memset(read.guard, 0x5A, sizeof read.guard);
    read_setting_unit(read.units);
    const BYTE six[6] = {1, 1, 1, 1, 0, 0};
    EXPECT_EQ(0, std::memcmp(&read.units, six, 6));
    for (BYTE b : read.guard)
        EXPECT_EQ(b, 0x5A);
}

TEST_F(SettingsStore, LsOutOfRangeStartsInEnglishWithWeatherUnderground)
{
    const std::uint8_t written[4] = {7, 3, 0, 0};
    write_setting_ls(written);
    Stored s = stored(L"ls");
    EXPECT_EQ(s.type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(s.size, 4u);
    EXPECT_EQ(0, std::memcmp(s.bytes, written, 4));

    EXPECT_EQ(start_up_choice(), std::make_pair(0, 0));

    std::uint8_t german_wc[4];
    serialise_ls_setting(1, 1, german_wc);
    write_setting_ls(german_wc);
    EXPECT_EQ(start_up_choice(), std::make_pair(1, 1));
}

TEST_F(SettingsStore, ForeignValuesLeaveTheCallersBufferAsCleared)
{
    BYTE big[300];
    for (int i = 0; i < 300; ++i)
        big[i] = static_cast<BYTE>('A' + i % 26);
    struct Case {
        const char *name;
        DWORD type;
        DWORD size;
    };
    const Case cases[] = {
        {"longer than the reader's count", REG_BINARY, 300},
        {"shorter than the reader's count", REG_BINARY, 10},
        {"text instead of binary", REG_SZ, 128},
    };
    for (const Case &c : cases) {
        for (const TextValue &v : TEXT_VALUES) {
            store_raw(v.name, c.type, big, c.size);
            Guarded g;
            fill(g, 0);
            v.read(g.text);
            EXPECT_TRUE(untouched(g, 0)) << c.name << ", " << narrow(v.name);
        }
        store_raw(L"unit", c.type, big, c.size);
        UnitSettings units;
        const UnitSettings defaults;
        read_setting_unit(units);
        EXPECT_EQ(0, std::memcmp(&units, &defaults, sizeof units)) << c.name << ", unit";

        store_raw(L"ls", c.type, big, c.size);
        std::uint8_t ls[8] = {};
        read_setting_ls(ls);
        for (std::uint8_t b : ls)
            EXPECT_EQ(b, 0) << c.name << ", ls";
    }
}

TEST_F(SettingsStore, StoredBytesWithoutNulAreCutAt63Characters)
{
    BYTE bytes[128];
    for (int i = 0; i < 128; i += 2) {
        bytes[i] = 'Q';
        bytes[i + 1] = 0;
    }
    store_raw(L"Id", REG_BINARY, bytes, sizeof bytes);
    Guarded g;
    fill(g, 0x7777);
    read_setting_id(g.text);
    EXPECT_EQ(std::wstring(g.text), std::wstring(63, L'Q'));
    for (wchar_t u : g.guard)
        EXPECT_EQ(u, 0x7777);
}

TEST_F(SettingsStore, WritingReplacesAValueOfAnotherLength)
{
    BYTE big[300] = {1};
    store_raw(L"Key", REG_BINARY, big, sizeof big);
    wchar_t key[64] = L"secret";
    write_setting_key(key);
    Stored s = stored(L"Key");
    EXPECT_EQ(s.size, 128u);
    Guarded g;
    fill(g, 0);
    read_setting_key(g.text);
    EXPECT_STREQ(g.text, L"secret");
}
