// Start-up extraction of the language texts to the temporary folder of the
// private Wine prefix, and the tables loaded back from those files.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/app_state.h"
#include "ui/languages.h"
#include "ui/languages_win32.h"

namespace {

std::wstring temp_folder()
{
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return folder;
}

std::vector<char> file_bytes(const std::wstring &path)
{
    std::vector<char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    CloseHandle(file);
    return bytes;
}

std::vector<char> resource_bytes(const LanguageFile &language)
{
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(language.resource_id),
                                reinterpret_cast<const wchar_t *>(language.resource_type));
    if (!found)
        return {};
    const char *bytes = static_cast<const char *>(LockResource(LoadResource(self, found)));
    return std::vector<char>(bytes, bytes + SizeofResource(self, found));
}

std::wstring text(int language, int key)
{
    return reinterpret_cast<const wchar_t *>(language_text(language, key));
}

std::string narrow(const char16_t *w)
{
    std::string s;
    for (; *w; ++w)
        s += static_cast<char>(*w);
    return s;
}

bool tables_empty()
{
    for (int language = 0; language < LANGUAGE_COUNT; ++language)
        for (int key = 1; key <= LANGUAGE_KEYS; ++key)
            if (language_text(language, key)[0] != 0)
                return false;
    return true;
}

class Languages : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetEnvironmentVariableW(L"TMP", saved_tmp_, MAX_PATH);
        GetEnvironmentVariableW(L"TEMP", saved_temp_, MAX_PATH);
        language_index = 0;
    }
    void TearDown() override
    {
        restore_temp_folder();
        language_index = 0;
    }
    void restore_temp_folder()
    {
        SetEnvironmentVariableW(L"TMP", saved_tmp_[0] ? saved_tmp_ : nullptr);
        SetEnvironmentVariableW(L"TEMP", saved_temp_[0] ? saved_temp_ : nullptr);
    }
    void use_temp_folder(const std::wstring &folder)
    {
        SetEnvironmentVariableW(L"TMP", folder.c_str());
        SetEnvironmentVariableW(L"TEMP", folder.c_str());
    }

private:
    wchar_t saved_tmp_[MAX_PATH] = {};
    wchar_t saved_temp_[MAX_PATH] = {};
};

} // namespace

TEST_F(Languages, EveryStartRewritesTheFiveFilesWithTheResourceBytes)
{
    const std::wstring folder = temp_folder();
    ASSERT_FALSE(folder.empty());
    // A stale file from an earlier run must be replaced, not appended to.
    HANDLE stale = CreateFileW((folder + L"english1.ini").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(stale, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(stale, "[english]\r\nl1=old\r\n", 19, &written, nullptr);
    CloseHandle(stale);

    install_languages(GetModuleHandleW(nullptr));

    for (const LanguageFile &language : LANGUAGE_FILES) {
        const std::string name = narrow(language.file_name);
        const std::vector<char> expected = resource_bytes(language);
        ASSERT_GT(expected.size(), 2u) << name;
        EXPECT_EQ(static_cast<unsigned char>(expected[0]), 0xFF) << name;
        EXPECT_EQ(static_cast<unsigned char>(expected[1]), 0xFE) << name;
        EXPECT_TRUE(file_bytes(folder + reinterpret_cast<const wchar_t *>(language.file_name)) ==
                    expected)
            << name;
    }
}

TEST_F(Languages, TablesHoldEveryKeyOfEveryLanguage)
{
    install_languages(GetModuleHandleW(nullptr));

    const wchar_t *names[LANGUAGE_COUNT] = {L"English", L"Deutsch", L"Français", L"Italiano",
                                            L"Español"};
    for (int language = 0; language < LANGUAGE_COUNT; ++language) {
        EXPECT_EQ(text(language, 1), names[language]) << "language " << language;
        for (int key = 1; key <= LANGUAGE_KEYS; ++key) {
            if (language == 1 && key == 60)
                continue;
            EXPECT_FALSE(text(language, key).empty()) << "language " << language << " key l" << key;
        }
    }
    EXPECT_EQ(text(0, 5), L"EXPORT && SETUP");
    EXPECT_EQ(text(0, 47), L"Outdoor channel temperature & humidity");
    EXPECT_EQ(text(0, 69), L"Missing password");
    EXPECT_EQ(text(0, 25).substr(0, 8), L"pressure");
}

TEST_F(Languages, GermanHasNoL60AndTheFirstL69Wins)
{
    install_languages(GetModuleHandleW(nullptr));
    EXPECT_EQ(text(1, 60), L"");
    EXPECT_EQ(text(1, 69), L"Zeit");
    EXPECT_EQ(text(1, 59), L"Datum");
}

TEST_F(Languages, UiTextFollowsTheCurrentLanguage)
{
    install_languages(GetModuleHandleW(nullptr));
    language_index = 4;
    EXPECT_STREQ(ui_text(1), L"Español");
    language_index = 2;
    EXPECT_STREQ(ui_text(56), L"Non connecté");
    language_index = 9; // never chosen, but never a crash either
    ASSERT_NE(ui_text(1), nullptr);
    EXPECT_STREQ(ui_text(1), L"");
    language_index = 0;
    EXPECT_STREQ(ui_text(0), L"");
    EXPECT_STREQ(ui_text(70), L"");
}

TEST_F(Languages, ATemporaryFolderThatCannotHoldTheFilesLeavesTheTablesEmpty)
{
    struct Case {
        const char *name;
        std::wstring folder;
    };
    const Case cases[] = {
        // Longer than the folder buffer itself.
        {"folder of 300 characters", L"C:\\" + std::wstring(296, L'x') + L"\\"},
        // The folder fits, but no file name does after it.
        {"folder of 252 characters", L"C:\\" + std::wstring(248, L'y') + L"\\"},
        // Files that cannot be created are skipped and read back as nothing.
        {"folder that does not exist", L"C:\\nimbrel-no-such-folder\\"},
    };
    for (const Case &c : cases) {
        install_languages(GetModuleHandleW(nullptr));
        ASSERT_FALSE(tables_empty()) << c.name;

        use_temp_folder(c.folder);
        install_languages(GetModuleHandleW(nullptr));
        EXPECT_TRUE(tables_empty()) << c.name;
        EXPECT_STREQ(ui_text(4), L"") << c.name;
        restore_temp_folder();
    }
}
