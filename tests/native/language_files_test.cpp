// The committed language files, byte for byte, and the lookup and path
// rules that go with them.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ui/languages.h"

namespace {

std::string narrow(const std::u16string &w)
{
    std::string s;
    for (char16_t c : w)
        s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

struct IniFile {
    std::vector<unsigned char> bytes;
    std::u16string text; // after the byte-order mark
};

IniFile load(const LanguageFile &language)
{
    IniFile file;
    const std::string path = std::string(NIMBREL_SOURCE_DIR) + "/resources/" +
                             narrow(language.section) + ".ini";
    std::ifstream in(path, std::ios::binary);
    file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    for (std::size_t i = 2; i + 1 < file.bytes.size(); i += 2)
        file.text += static_cast<char16_t>(file.bytes[i] | (file.bytes[i + 1] << 8));
    return file;
}

// Lines without their CR LF; the file has been checked to end with one.
std::vector<std::u16string> lines_of(const std::u16string &text)
{
    std::vector<std::u16string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::u16string number(int n)
{
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n > 0);
    return digits;
}

const char16_t *const ENGLISH[LANGUAGE_KEYS] = {
    u"English", u"Language", u"SETUP", u"DASHBOARD", u"EXPORT && SETUP", u"INDOOR", u"OUTDOOR",
    u"Temperature", u"Humidity", u"WIND", u"Speed", u"Direction", u"Gust", u"Rain",
    u"Daily Rainfall", u"Rain Rate", u"INDEX", u"Relative Pressure", u"Absolute Pressure",
    u"UV Index", u"Outdoor Dew Point", u"Outdoor Heat Index", u"UNIT SETUP",
    u"Type of air pressure", u"pressure\t", u"Wind speed", u"Wind direction",
    u"WEATHER SERVER SETUP", u"Station ID", u"Station key", u"ID", u"Key", u"Password",
    u"Auto Upload", u"UPLOAD", u"FAIL", u"DATA EXPORT SETUP", u"DATA PERIOD", u"Start Date",
    u"End Date", u"DATA SET", u"Whole period", u"Barometric pressure", u"Rain data",
    u"Indoor temperature && humidity", u"Outdoor temperature && humidity",
    u"Outdoor channel temperature & humidity", u"Wind data", u"Select All", u"Clear All",
    u"Export", u"Version:", u"Exporting", u"Logger", u"USB connected", u"No connection",
    u"Connection error", u"Last data read at", u"Date", u"Time", u"Wind chill",
    u"Daily rainfall", u"Weekly rainfall", u"Monthly rainfall", u"Help",
    u"Please select data period and data set", u"Missing station ID", u"Missing station key",
    u"Missing password",
};

const char16_t *const OWN_NAME[LANGUAGE_COUNT] = {u"English", u"Deutsch", u"Français",
                                                  u"Italiano", u"Español"};

} // namespace

TEST(LanguageFiles, AreUtf16WithByteOrderMarkAndCrLfLines)
{
    for (const LanguageFile &language : LANGUAGE_FILES) {
        const std::string name = narrow(language.section);
        const IniFile file = load(language);
        ASSERT_GE(file.bytes.size(), 4u) << name << ": missing or empty";
        EXPECT_EQ(file.bytes[0], 0xFF) << name;
        EXPECT_EQ(file.bytes[1], 0xFE) << name;
        EXPECT_EQ(file.bytes.size() % 2, 0u) << name << ": odd byte count";

        const std::u16string &t = file.text;
        for (std::size_t i = 0; i < t.size(); ++i) {
            const char16_t c = t[i];
            ASSERT_NE(c, 0) << name << ": NUL at unit " << i;
            if (c >= 0xD800 && c <= 0xDBFF) {
                ASSERT_TRUE(i + 1 < t.size() && t[i + 1] >= 0xDC00 && t[i + 1] <= 0xDFFF)
                    << name << ": lone high surrogate at unit " << i;
                ++i;
            } else {
                ASSERT_FALSE(c >= 0xDC00 && c <= 0xDFFF) << name << ": lone low surrogate at " << i;
            }
            if (c == u'\n') {
                ASSERT_TRUE(i > 0 && t[i - 1] == u'\r') << name << ": bare LF at unit " << i;
            }
            if (c == u'\r') {
                ASSERT_TRUE(i + 1 < t.size() && t[i + 1] == u'\n') << name << ": bare CR at " << i;
            }
        }
        EXPECT_TRUE(t.size() >= 2 && t.substr(t.size() - 2) == u"\r\n") << name << ": last line";
    }
}

TEST(LanguageFiles, HoldOneSectionWithKeysL1ToL69InOrder)
{
    for (int index = 0; index < LANGUAGE_COUNT; ++index) {
        const LanguageFile &language = LANGUAGE_FILES[index];
        const std::string name = narrow(language.section);
        const std::vector<std::u16string> lines = lines_of(load(language).text);
        ASSERT_EQ(lines.size(), 1u + LANGUAGE_KEYS) << name;
        // Literal + string: GCC 12 at -O3 warns of an overlapping copy
        // (-Wrestrict) in the concatenation; string + literal it does not.
        EXPECT_EQ(lines[0], std::u16string(u"[") + language.section + u"]") << name;

        for (int key = 1; key <= LANGUAGE_KEYS; ++key) {
            const std::u16string &line = lines[static_cast<std::size_t>(key)];
            // German has always carried l69 where l60 belongs.
            const int expected_key = (index == 1 && key == 60) ? 69 : key;
            const std::u16string prefix = std::u16string(u"l") + number(expected_key) + u"=";
            ASSERT_EQ(line.substr(0, prefix.size()), prefix) << name << " line of l" << key;
            const std::u16string value = line.substr(prefix.size());
            EXPECT_LT(value.size(), static_cast<std::size_t>(LANGUAGE_TEXT_CHARS)) << name << " l" << key;
            if (index == 0) {
                EXPECT_EQ(value, ENGLISH[key - 1]) << name << " l" << key;
                continue;
            }
            EXPECT_FALSE(value.empty()) << name << " l" << key;
            // The profile reader trims blanks: a translation must not rely on them.
            EXPECT_TRUE(value.front() != u' ' && value.back() != u' ' && value.back() != u'\t')
                << name << " l" << key;
            // A lone '&' would underline the next letter instead of showing.
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (value[i] != u'&')
                    continue;
                ASSERT_TRUE(i + 1 < value.size() && value[i + 1] == u'&')
                    << name << " l" << key << ": lone '&'";
                ++i;
            }
        }
        EXPECT_EQ(lines[1], u"l1=" + std::u16string(OWN_NAME[index])) << name;
    }
}

TEST(LanguageText, OutOfRangeGivesAnEmptyTextNeverNull)
{
    language_tables.text[3][0][0] = u'I';
    language_tables.text[3][0][1] = 0;
    language_tables.text[4][LANGUAGE_KEYS - 1][0] = u'Z';
    language_tables.text[4][LANGUAGE_KEYS - 1][1] = 0;
    EXPECT_EQ(std::u16string(language_text(3, 1)), u"I");
    EXPECT_EQ(std::u16string(language_text(4, LANGUAGE_KEYS)), u"Z");
    const int bad[][2] = {{-1, 1}, {5, 1}, {0, 0}, {0, 70}, {2, -3}, {1000, 1000}};
    for (const auto &b : bad) {
        const char16_t *text = language_text(b[0], b[1]);
        ASSERT_NE(text, nullptr) << b[0] << "/" << b[1];
        EXPECT_EQ(text[0], 0) << b[0] << "/" << b[1];
    }
    language_tables = LanguageTables{};
}

TEST(LanguagePath, FolderIsCutAtItsLastBackslashAndMustLeaveRoomForTheName)
{
    struct Case {
        const char *name;
        std::u16string folder;
        int result;
        std::u16string path;
    };
    // 247 units with the backslash: the path then takes 259 units and the NUL.
    const std::u16string long_folder = u"C:\\" + std::u16string(243, u'd') + u"\\";
    const Case cases[] = {
        {"usual folder", u"C:\\users\\me\\Temp\\", 1, u"C:\\users\\me\\Temp\\english1.ini"},
        {"no trailing backslash", u"C:\\Temp", 1, u"C:\\english1.ini"},
        {"path of 259 units fits", long_folder + u"x", 1, long_folder + u"english1.ini"},
        {"path of 260 units does not", u"C:\\" + std::u16string(244, u'd') + u"\\", 0, u""},
        {"no backslash at all", u"Temp", 0, u""},
        {"empty folder", u"", 0, u""},
        {"folder longer than the buffer", u"C:\\" + std::u16string(400, u'e') + u"\\", 0, u""},
    };
    for (const Case &c : cases) {
        char16_t path[LANGUAGE_PATH_CHARS + 4];
        for (char16_t &u : path)
            u = u'#';
        EXPECT_EQ(build_language_path(c.folder.c_str(), u"english1.ini", path), c.result) << c.name;
        EXPECT_EQ(std::u16string(path), c.path) << c.name;
        for (int i = LANGUAGE_PATH_CHARS; i < LANGUAGE_PATH_CHARS + 4; ++i)
            EXPECT_EQ(path[i], u'#') << c.name << ": written past the buffer";
    }
}
