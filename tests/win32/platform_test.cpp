// The Win32 ring's own checks: the test runs in the build's private Wine
// prefix with its registry, and the program's resources are linked in.
#include <windows.h>

#include <gtest/gtest.h>

#include "resource.h"

TEST(Platform, RegistryValueRoundTripsInThePrivatePrefix)
{
    const wchar_t *path = L"Software\\NimbrelTest\\Platform";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, path, &key), ERROR_SUCCESS);
    const BYTE written[4] = {1, 2, 0, 0xFF};
    ASSERT_EQ(RegSetValueExW(key, L"v", 0, REG_BINARY, written, sizeof written), ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, path, &key), ERROR_SUCCESS);
    BYTE read[8] = {};
    DWORD type = 0, size = sizeof read;
    ASSERT_EQ(RegQueryValueExW(key, L"v", nullptr, &type, read, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(size, sizeof written);
    EXPECT_EQ(0, memcmp(read, written, sizeof written));
    RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

TEST(Platform, WideCharIsUtf16AndResourcesAreLinked)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UI text is UTF-16");
    wchar_t title[100] = {};
    ASSERT_GT(LoadStringW(GetModuleHandleW(nullptr), IDS_APP_TITLE, title, 100), 0);
    EXPECT_STREQ(title, L"NIMBREL");
}
