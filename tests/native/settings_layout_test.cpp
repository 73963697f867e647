#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "settings/settings_layout.h"

namespace {

std::u16string repeated(char16_t c, int count) { return std::u16string(static_cast<std::size_t>(count), c); }

// A text buffer followed by a guard, to see a write past the end.
struct GuardedText {
    char16_t text[CREDENTIAL_TEXT_UNITS];
    char16_t guard[4];
};

} // namespace

TEST(SettingText, CredentialsRoundTripUpTo63Characters)
{
    struct Case {
        const char *name;
        std::u16string typed;
        std::u16string kept;
    };
    const Case cases[] = {
        {"empty", u"", u""},
        {"station id", u"IBERLIN123", u"IBERLIN123"},
        {"accents and symbols", u"Zürich-€ä", u"Zürich-€ä"},
        {"surrogate pair", u"a\U0001F327b", u"a\U0001F327b"},
        {"63 characters", repeated(u'k', 63), repeated(u'k', 63)},
        {"64 characters cut to 63", repeated(u'k', 64), repeated(u'k', 63)},
    };
    for (const Case &c : cases) {
        // The edit box hands over at most 64 units, possibly without a NUL.
        char16_t typed[CREDENTIAL_TEXT_UNITS] = {};
        std::memcpy(typed, c.typed.data(), c.typed.size() * 2);
        std::uint8_t bytes[SETTING_CREDENTIAL_BYTES];
        serialise_setting_text(typed, CREDENTIAL_TEXT_UNITS, bytes);

        EXPECT_EQ(bytes[126], 0) << c.name;
        EXPECT_EQ(bytes[127], 0) << c.name;
        GuardedText read = {};
        parse_setting_text(bytes, CREDENTIAL_TEXT_UNITS, read.text);
        EXPECT_EQ(std::u16string(read.text), c.kept) << c.name;
    }
}

TEST(SettingText, StoredBytesAreLittleEndianAndZeroFilledAfterTheNul)
{
    // Left-overs of a longer text after the NUL must not reach the registry.
    char16_t text[CREDENTIAL_TEXT_UNITS];
    for (char16_t &c : text)
        c = u'x';
    text[0] = u'A';
    text[1] = u'\u20AC';
    text[2] = 0;
    std::uint8_t bytes[SETTING_CREDENTIAL_BYTES];
    std::memset(bytes, 0xCD, sizeof bytes);
    serialise_setting_text(text, CREDENTIAL_TEXT_UNITS, bytes);

    const std::uint8_t head[] = {0x41, 0x00, 0xAC, 0x20};
    EXPECT_EQ(0, std::memcmp(bytes, head, sizeof head));
    for (int i = 4; i < SETTING_CREDENTIAL_BYTES; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(SettingText, StoredBytesWithoutNulReadAs63CharactersAndNothingPastTheBuffer)
{
    std::uint8_t bytes[SETTING_CREDENTIAL_BYTES];
    for (int i = 0; i < SETTING_CREDENTIAL_BYTES; i += 2) {
        bytes[i] = 'Z';
        bytes[i + 1] = 0;
    }
    GuardedText read;
    std::memset(&read, 0x55, sizeof read);
    parse_setting_text(bytes, CREDENTIAL_TEXT_UNITS, read.text);
    EXPECT_EQ(std::u16string(read.text), repeated(u'Z', 63));
    for (char16_t g : read.guard)
        EXPECT_EQ(g, 0x5555);
}

TEST(SettingText, ReadTimeStampFitsTheDataValue)
{
    const char16_t stamp[] = u"08/ 03/ 2026, 15:07 PM";
    char16_t text[DATA_TEXT_UNITS] = {};
    std::memcpy(text, stamp, sizeof stamp);
    std::uint8_t bytes[SETTING_DATA_BYTES];
    serialise_setting_text(text, DATA_TEXT_UNITS, bytes);
    EXPECT_EQ(bytes[0], '0');
    EXPECT_EQ(bytes[42], 'M');
    for (int i = 44; i < SETTING_DATA_BYTES; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;

    char16_t read[DATA_TEXT_UNITS] = {};
    parse_setting_text(bytes, DATA_TEXT_UNITS, read);
    EXPECT_EQ(std::u16string(read), std::u16string(stamp));
}

TEST(UnitSetting, WrittenAsSixFieldsAndSixZeros)
{
    std::uint8_t bytes[SETTING_UNIT_BYTES];
    std::memset(bytes, 0xEE, sizeof bytes);
    serialise_unit_setting(UnitSettings{}, bytes);
    const std::uint8_t defaults[SETTING_UNIT_BYTES] = {0, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes, defaults, sizeof bytes));

    UnitSettings chosen;
    chosen.temperature_unit = 1;
    chosen.rain_unit = 1;
    chosen.pressure_unit = 2;
    chosen.wind_unit = 3;
    chosen.pressure_kind = 0;
    chosen.direction_style = 1;
    serialise_unit_setting(chosen, bytes);
    const std::uint8_t expected[SETTING_UNIT_BYTES] = {1, 1, 2, 3, 0, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof bytes));
}

TEST(UnitSetting, BytesSixToElevenAreIgnoredAndOddValuesKept)
{
    const std::uint8_t zeros[SETTING_UNIT_BYTES] = {1, 0, 2, 9, 0, 1, 0, 0, 0, 0, 0, 0};
    const std::uint8_t noise[SETTING_UNIT_BYTES] = {1, 0, 2, 9, 0, 1, 7, 0xFF, 3, 3, 0x80, 1};
    UnitSettings from_zeros, from_noise;
    parse_unit_setting(zeros, from_zeros);
    parse_unit_setting(noise, from_noise);
    EXPECT_EQ(0, std::memcmp(&from_zeros, &from_noise, sizeof(UnitSettings)));
    EXPECT_EQ(from_noise.pressure_unit, 2);
    EXPECT_EQ(from_noise.wind_unit, 9); // the formatters fall back on their own
    EXPECT_EQ(from_noise.direction_style, 1);
}

TEST(LsSetting, StartUpValidation)
{
    struct Case {
        std::uint8_t bytes[4];
        int language, service;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, 0, 0},     {{4, 1, 0, 0}, 4, 1},   {{1, 0, 9, 9}, 1, 0},
        {{5, 0, 0, 0}, 0, 0},     {{7, 3, 0, 0}, 0, 0},   {{2, 2, 0, 0}, 2, 0},
        {{255, 1, 0, 0}, 0, 1},   {{3, 255, 0, 0}, 3, 0},
    };
    for (const Case &c : cases) {
        int language = -1, service = -1;
        parse_ls_setting(c.bytes, language, service);
        EXPECT_EQ(language, c.language) << "ls " << int(c.bytes[0]) << "/" << int(c.bytes[1]);
        EXPECT_EQ(service, c.service) << "ls " << int(c.bytes[0]) << "/" << int(c.bytes[1]);
    }
}

TEST(LsSetting, WrittenAsLanguageServiceAndTwoZeros)
{
    std::uint8_t bytes[SETTING_LS_BYTES] = {9, 9, 9, 9};
    serialise_ls_setting(3, 1, bytes);
    const std::uint8_t expected[SETTING_LS_BYTES] = {3, 1, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof bytes));
}
