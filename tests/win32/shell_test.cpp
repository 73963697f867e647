// The application shell in-process under Wine: start-up, page routing,
// connection state, download progress, language switching and shutdown.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ui/app_state.h"
#include "ui/languages.h"
#include "ui/message_box_win32.h"
#include "ui/pages_win32.h"
#include "ui/shared_drawing_win32.h"
#include "ui/shell_open_win32.h"
#include "app/shell_win32.h"
#include "console_frames.h"
#include "history/export_worker_win32.h"
#include "history/history_store.h"
#include "live/dashboard_win32.h"
#include "resources/resource.h"
#include "settings/upload_state.h"
#include "station/commands.h"
#include "station/link_state.h"
#include "station/messages.h"
#include "station/station_device_win32.h"

namespace {
const wchar_t settings_root[] = L"Software\\Corvalen\\VID_1941&PID_8021";

std::vector<BYTE> stored(const wchar_t *name)
{
    std::wstring path = std::wstring(settings_root) + L"\\" + name;
    HKEY key;
    std::vector<BYTE> bytes;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return bytes;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        bytes.resize(size);
        RegQueryValueExW(key, name, nullptr, nullptr, bytes.data(), &size);
    }
    RegCloseKey(key);
    return bytes;
}

void store(const wchar_t *name, const void *bytes, DWORD size)
{
    std::wstring path = std::wstring(settings_root) + L"\\" + name;
    HKEY key;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, path.c_str(), &key), ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, REG_BINARY, static_cast<const BYTE *>(bytes), size);
    RegCloseKey(key);
}

std::wstring text_of(HWND dlg, int control)
{
    wchar_t text[300] = {};
    GetDlgItemTextW(dlg, control, text, 300);
    return text;
}

std::wstring table_text(int language, int key)
{
    return reinterpret_cast<const wchar_t *>(language_text(language, key));
}

bool visible(HWND dlg, int control)
{
    return (GetWindowLongW(GetDlgItem(dlg, control), GWL_STYLE) & WS_VISIBLE) != 0;
}

std::vector<std::wstring> messages_shown;
int record_message(HWND, const wchar_t *text, const wchar_t *, UINT)
{
    messages_shown.push_back(text);
    return IDOK;
}

// Every test starts the shell afresh on the same stored settings and no
// station, and closes it again.
class Shell : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        message_box_hook = record_message;
        ASSERT_TRUE(register_main_window_class(GetModuleHandleW(nullptr)));
    }
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Corvalen");
        const wchar_t stored_key[64] = L"stored-key";
        store(L"Key", stored_key, sizeof stored_key);
        const BYTE ls[4] = {7, 3, 0, 0}; // out of range: English, Weather Underground
        store(L"ls", ls, sizeof ls);
        messages_shown.clear();
        ASSERT_TRUE(init_instance(GetModuleHandleW(nullptr), SW_SHOW));
    }
    void TearDown() override
    {
        if (IsWindow(main_window))
            DestroyWindow(main_window);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Corvalen");
    }
};
} // namespace

TEST_F(Shell, StartsWithFourPagesAndTheDashboardInFront)
{
    wchar_t title[64] = {}, class_name[64] = {};
    GetWindowTextW(main_window, title, 64);
    GetClassNameW(main_window, class_name, 64);
    EXPECT_STREQ(title, L"NIMBREL");
    EXPECT_STREQ(class_name, L"TARVO");
    RECT r;
    GetWindowRect(main_window, &r);
    EXPECT_EQ(r.right - r.left, 900);
    EXPECT_EQ(r.bottom - r.top, 600);
    EXPECT_EQ(GetWindowLongW(main_window, GWL_STYLE) & WS_MAXIMIZEBOX, 0);

    for (HWND page : {tab_bar, dashboard_page, setup_page, status_bar})
        EXPECT_EQ(GetParent(page), main_window);
    EXPECT_TRUE(IsWindowVisible(dashboard_page));
    EXPECT_FALSE(IsWindowVisible(setup_page));
    EXPECT_EQ(current_page, 1);
    // "ls" held 7 and 3: both out of range, so English and Weather Underground.
    EXPECT_EQ(language_index, 0);
    EXPECT_EQ(upload_service, 0);
    EXPECT_EQ(text_of(setup_page, IDC_STATION_KEY), L"stored-key");
    EXPECT_EQ(text_of(tab_bar, IDC_TAB_DASHBOARD), table_text(0, 4));
}

TEST_F(Shell, PagesFillTheClientAreaBetweenTabBarAndStatusBar)
{
    RECT client, tabs, page, status;
    GetClientRect(main_window, &client);
    GetWindowRect(tab_bar, &tabs);
    GetWindowRect(dashboard_page, &page);
    GetWindowRect(status_bar, &status);
    EXPECT_EQ(page.top, tabs.bottom);
    EXPECT_EQ(page.bottom, status.top);
    EXPECT_EQ(page.right - page.left, client.right);
    POINT bottom = {0, client.bottom};
    ClientToScreen(main_window, &bottom);
    EXPECT_EQ(status.bottom, bottom.y);
}

TEST_F(Shell, TabsShowExactlyOnePageAndRepaintTheTabBar)
{
    UpdateWindow(tab_bar);
    SendMessageW(tab_bar, WM_COMMAND, MAKEWPARAM(IDC_TAB_SETUP, STN_CLICKED), 0);
    EXPECT_EQ(current_page, 2);
    EXPECT_TRUE(IsWindowVisible(setup_page));
    EXPECT_FALSE(IsWindowVisible(dashboard_page));
    EXPECT_TRUE(GetUpdateRect(tab_bar, nullptr, FALSE));

    UpdateWindow(tab_bar);
    SendMessageW(tab_bar, WM_COMMAND, MAKEWPARAM(IDC_TAB_DASHBOARD, STN_CLICKED), 0);
    EXPECT_EQ(current_page, 1);
    EXPECT_TRUE(IsWindowVisible(dashboard_page));
    EXPECT_FALSE(IsWindowVisible(setup_page));
    EXPECT_TRUE(GetUpdateRect(tab_bar, nullptr, FALSE));

    SendMessageW(main_window, UM_SHOW_PAGE, 9, 0); // unknown page: nothing else changes
    EXPECT_TRUE(IsWindowVisible(dashboard_page));
    EXPECT_FALSE(IsWindowVisible(setup_page));
    SendMessageW(main_window, UM_SHOW_PAGE, PAGE_DASHBOARD, 0);
}

TEST_F(Shell, ConnectAndRemovalShowTheConnectionState)
{
    SendMessageW(main_window, UM_DEVICE_STATE, DEVICE_FOUND, 0);
    EXPECT_EQ(link_flags.connected, 1);
    EXPECT_EQ(link_flags.history_cancel, 0);
    EXPECT_EQ(text_of(status_bar, IDC_CONNECTION_TEXT), L"USB connected");
    HICON connected = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_CONNECTED));
    EXPECT_EQ(reinterpret_cast<HICON>(
                  SendDlgItemMessageW(status_bar, IDC_CONNECTION_ICON, STM_GETICON, 0, 0)),
              connected);

    // State a removal must undo: live values, upload switches and status.
    std::memcpy(dashboard_values.slot[3], u"21.5", sizeof u"21.5");
    upload_state.auto_upload[0] = upload_state.auto_upload[1] = 1;
    upload_state.upload_status[0] = 2;
    upload_state.upload_ok_count[1] = 4;
    CheckDlgButton(setup_page, IDC_AUTO_UPLOAD, BST_CHECKED);
    ShowWindow(GetDlgItem(setup_page, IDC_UPLOAD_ICON), SW_SHOW);
    ShowWindow(GetDlgItem(setup_page, IDC_UPLOAD_TEXT), SW_SHOW);
    EnableWindow(GetDlgItem(setup_page, IDC_STATION_ID), FALSE);
    EnableWindow(GetDlgItem(setup_page, IDC_STATION_KEY), FALSE);
    link_flags.history_active = 1;

    SendMessageW(main_window, UM_DEVICE_STATE, DEVICE_ABSENT, 0);
    EXPECT_EQ(link_flags.connected, 0);
    EXPECT_EQ(link_flags.history_cancel, 1);
    EXPECT_EQ(link_flags.reader_stop, 1);
    EXPECT_EQ(link_flags.history_active, 0);
    EXPECT_EQ(text_of(status_bar, IDC_CONNECTION_TEXT), L"No connection");
    HICON absent = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_NOT_CONNECTED));
    EXPECT_EQ(reinterpret_cast<HICON>(
                  SendDlgItemMessageW(status_bar, IDC_CONNECTION_ICON, STM_GETICON, 0, 0)),
              absent);
    EXPECT_EQ(std::u16string(dashboard_values.slot[3]), u"--.-");
    EXPECT_STREQ(status_bar_texts.logger, L"--%");
    EXPECT_EQ(IsDlgButtonChecked(setup_page, IDC_AUTO_UPLOAD), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_FALSE(visible(setup_page, IDC_UPLOAD_ICON));
    EXPECT_FALSE(visible(setup_page, IDC_UPLOAD_TEXT));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(setup_page, IDC_STATION_ID)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(setup_page, IDC_STATION_KEY)));
    for (int service = 0; service < 2; ++service) {
        EXPECT_EQ(upload_state.auto_upload[service], 0);
        EXPECT_EQ(upload_state.upload_status[service], 0);
        EXPECT_EQ(upload_state.upload_ok_count[service], 0);
    }
}

std::vector<std::wstring> opened; // owner's class, verb, path of each open
void record_open(HWND owner, const wchar_t *verb, const wchar_t *path)
{
    opened.push_back(owner == tab_bar ? L"tab bar" : L"another window");
    opened.push_back(verb);
    opened.push_back(path);
}

TEST_F(Shell, HelpButtonOpensTheGuideBesideTheProgram)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring guide = program;
    guide = guide.substr(0, guide.rfind(L'\\') + 1) + L"Nimbrel_help.pdf";
    shell_open_hook = record_open;
    opened.clear();
    SendMessageW(tab_bar, WM_COMMAND, MAKEWPARAM(IDC_HELP_BUTTON, BN_CLICKED), 0);
    shell_open_hook = nullptr;
    EXPECT_EQ(opened, (std::vector<std::wstring>{L"tab bar", L"open", guide}));
}

TEST_F(Shell, LoggerTextGetsItsPercentSign)
{
    SendMessageW(status_bar, UM_LOGGER_TEXT, 0, reinterpret_cast<LPARAM>(L"37"));
    EXPECT_STREQ(status_bar_texts.logger, L"37%");
}

TEST_F(Shell, DownloadProgressAndCancel)
{
    link_flags.history_cancel = 0;
    SendMessageW(status_bar, UM_HISTORY_START, 0, 200);
    EXPECT_TRUE(visible(status_bar, IDC_CANCEL_DOWNLOAD));
    const struct {
        LPARAM done;
        const wchar_t *text;
    } steps[] = {{1, L"Exporting 0% ...."}, {100, L"Exporting 50% ...."},
                 {199, L"Exporting 99% ...."}};
    for (const auto &step : steps) {
        SendMessageW(status_bar, UM_HISTORY_PROGRESS, 0, step.done);
        EXPECT_STREQ(status_bar_texts.progress, step.text) << "after " << step.done;
    }

    link_flags.history_active = 1;
    SendMessageW(status_bar, WM_COMMAND, MAKEWPARAM(IDC_CANCEL_DOWNLOAD, STN_CLICKED), 0);
    EXPECT_EQ(link_flags.history_cancel, 1);
    EXPECT_EQ(link_flags.history_active, 0);
    EXPECT_FALSE(visible(status_bar, IDC_CANCEL_DOWNLOAD));
    EXPECT_STREQ(status_bar_texts.progress, L"");
    SendMessageW(status_bar, UM_HISTORY_PROGRESS, 0, 150);
    EXPECT_STREQ(status_bar_texts.progress, L"");
}

namespace {
std::string file_bytes(const std::wstring &path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool exists(const std::wstring &pattern)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}
} // namespace

// An unplug cancels the file being written, like the Cancel button: the
// progress display ends at once and the earlier file of that name stays.
TEST_F(Shell, AnUnplugWhileTheFileIsWrittenCancelsItAndEndsTheProgress)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"nimbrel-shell-unplug.csv";
    const std::string earlier = "the earlier export\n";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, earlier.data(), DWORD(earlier.size()), &written, nullptr);
    CloseHandle(file);
    const char record[] = "12 2026-12-08 14:00 21.1 45 7.9 80 1.5 0.3 10.1 15.2 200 SSW 1013.4 1001.3";
    for (int i = 0; i < HISTORY_SLOTS; ++i)
        std::memcpy(history_store.slot[i], record, sizeof record);
    export_request = ExportRequest{};
    export_request.whole_period = 1;
    link_flags.history_complete = 1;
    link_flags.history_total = HISTORY_SLOTS;
    link_flags.export_cancel = 0;
    SendMessageW(main_window, UM_DEVICE_STATE, DEVICE_FOUND, 0);
    SendMessageW(status_bar, UM_HISTORY_START, 0, HISTORY_SLOTS);
    ASSERT_TRUE(start_export_worker(path.c_str()));
    // The unplug comes once the file is begun.
    const std::wstring beside = std::wstring(folder) + L"~nimbrel-shell-unplug*";
    for (DWORD start = GetTickCount(); !exists(beside) && GetTickCount() - start < 20000;)
        Sleep(1);
    SendMessageW(main_window, UM_DEVICE_STATE, DEVICE_ABSENT, 0);
    const bool still_writing = export_running() != 0;
    EXPECT_FALSE(visible(status_bar, IDC_CANCEL_DOWNLOAD)) << "the progress display stayed";
    EXPECT_STREQ(status_bar_texts.progress, L"");
    MSG msg;
    for (DWORD start = GetTickCount(); export_running() && GetTickCount() - start < 60000;)
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    EXPECT_TRUE(still_writing) << "the worker ended before the unplug (raise the records)";
    EXPECT_TRUE(file_bytes(path) == earlier) << "the unplug did not stop the file";
    EXPECT_FALSE(exists(beside)) << "a file was left beside it";
    EXPECT_EQ(link_flags.history_complete, 0);
    DeleteFileW(path.c_str());
    clear_history_store(history_store);
}

// A shorter text must leave nothing of a longer one behind, in any font:
// a text as wide as the area painted, then none, leaves the area one colour.
TEST_F(Shell, ProgressAreaIsWipedWhole)
{
    ShowWindow(main_window, SW_SHOW);
    RECT area;
    GetWindowRect(GetDlgItem(status_bar, IDC_PROGRESS_AREA), &area);
    MapWindowPoints(nullptr, status_bar, reinterpret_cast<POINT *>(&area), 2);
    lstrcpyW(status_bar_texts.progress, L"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    RedrawWindow(status_bar, &area, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    status_bar_texts.progress[0] = 0;
    RedrawWindow(status_bar, &area, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(status_bar);
    const COLORREF blank = GetPixel(dc, area.left, area.top);
    int marks = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            marks += GetPixel(dc, x, y) != blank;
    ReleaseDC(status_bar, dc);
    EXPECT_EQ(marks, 0);
}

TEST_F(Shell, ChoosingALanguageRelabelsEveryPage)
{
    HWND chooser = GetDlgItem(tab_bar, IDC_LANGUAGE);
    ASSERT_EQ(SendMessageW(chooser, CB_GETCOUNT, 0, 0), 5);
    wchar_t name[32] = {};
    SendMessageW(chooser, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(name));
    EXPECT_STREQ(name, L"Deutsch");

    SendMessageW(chooser, CB_SETCURSEL, 1, 0);
    SendMessageW(tab_bar, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(chooser));
    EXPECT_EQ(language_index, 1);
    EXPECT_EQ(text_of(tab_bar, IDC_TAB_DASHBOARD), table_text(1, 4));
    EXPECT_EQ(text_of(tab_bar, IDC_TAB_SETUP), table_text(1, 5));
    EXPECT_EQ(text_of(dashboard_page, IDC_INDOOR_TITLE), table_text(1, 6));
    EXPECT_EQ(text_of(setup_page, IDC_UNIT_HEADING), table_text(1, 23));
    EXPECT_EQ(text_of(status_bar, IDC_LOGGER_LABEL), table_text(1, 54));
    EXPECT_EQ(text_of(status_bar, IDC_CONNECTION_TEXT), table_text(1, 56));
    EXPECT_NE(table_text(1, 4), table_text(0, 4));

    // French takes the narrower face for the long tab; English gives it back.
    auto tab_font = [] {
        return reinterpret_cast<HFONT>(SendDlgItemMessageW(tab_bar, IDC_TAB_SETUP, WM_GETFONT, 0, 0));
    };
    SendMessageW(chooser, CB_SETCURSEL, 2, 0);
    SendMessageW(tab_bar, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE), 0);
    EXPECT_EQ(tab_font(), shared_drawing.fonts[FONT_COMBO]);
    SendMessageW(chooser, CB_SETCURSEL, 0, 0);
    SendMessageW(tab_bar, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE), 0);
    EXPECT_EQ(tab_font(), shared_drawing.fonts[FONT_TAB]);

    // A notification with nothing selected keeps the language.
    SendMessageW(chooser, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendMessageW(tab_bar, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_DROPDOWN), 0);
    EXPECT_EQ(language_index, 0);

    SendMessageW(chooser, CB_SETCURSEL, 1, 0);
    SendMessageW(tab_bar, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE), 0);
    EXPECT_EQ(language_index, 1);
}

// Started without a station, Refresh says so and nothing reaches the
// console; once connected it asks for the live record alone.
TEST_F(Shell, RefreshSendsOnlyToAConnectedStation)
{
    FrameSink console;
    ASSERT_TRUE(console.out);
    const HANDLE none = station_device->io_handle;
    station_device->io_handle = console.out;
    const Frame read_live(CMD_READ_LIVE, CMD_READ_LIVE + FRAME_BYTES);
    const struct {
        const char *name;
        bool connect;
        std::vector<std::wstring> messages;
        std::vector<Frame> sent;
    } cases[] = {
        {"as started", false, {L"the Usb Device is not ready!"}, {}},
        {"connected", true, {}, {read_live}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        messages_shown.clear();
        if (c.connect)
            link_flags.connected = 1;
        SendMessageW(dashboard_page, WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), 0);
        EXPECT_EQ(messages_shown, c.messages);
        EXPECT_EQ(console.frames(), c.sent);
    }
    link_flags.connected = 0;
    station_device->io_handle = none;
}

// Closing stores the typed ID, keeps the stored key when the box is empty,
// and stores the language in use.
TEST_F(Shell, ClosingStoresCredentialsAndLanguage)
{
    HWND chooser = GetDlgItem(tab_bar, IDC_LANGUAGE);
    SendMessageW(chooser, CB_SETCURSEL, 1, 0);
    SendMessageW(tab_bar, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE), 0);
    SetDlgItemTextW(setup_page, IDC_STATION_ID, L"my-station");
    SetDlgItemTextW(setup_page, IDC_STATION_KEY, L"");
    DestroyWindow(main_window);

    std::vector<BYTE> ls = stored(L"ls");
    ASSERT_EQ(ls.size(), 4u);
    EXPECT_EQ(ls[0], 1); // German
    EXPECT_EQ(ls[1], 0);
    std::vector<BYTE> id = stored(L"Id");
    ASSERT_EQ(id.size(), 128u);
    EXPECT_STREQ(reinterpret_cast<const wchar_t *>(id.data()), L"my-station");
    std::vector<BYTE> key = stored(L"Key");
    ASSERT_EQ(key.size(), 128u);
    EXPECT_STREQ(reinterpret_cast<const wchar_t *>(key.data()), L"stored-key");
    EXPECT_EQ(stored(L"unit").size(), 12u);
}

TEST(SecondInstance, ExitsAtOnceWithCodeZero)
{
    HANDLE first = CreateSemaphoreW(nullptr, 0, 1, L"Pelmar");
    ASSERT_NE(first, nullptr);
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    wcscpy(wcsrchr(path, L'\\') + 1, L"nimbrel.exe");
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessW(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(first);
}
