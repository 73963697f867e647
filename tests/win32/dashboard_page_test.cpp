// The DASHBOARD page's own handlers under Wine, through its dialog
// procedure: what each notification changes on the page, tells the status
// bar, shows, stores, sends to the console and leaves to be repainted.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <vector>

#include "ui/app_state.h"
#include "ui/languages_win32.h"
#include "ui/message_box_win32.h"
#include "ui/pages_win32.h"
#include "ui/shared_drawing_win32.h"
#include "app/shell_win32.h"
#include "console_frames.h"
#include "history/export_worker_win32.h"
#include "live/dashboard_win32.h"
#include "message_window.h"
#include "resources/resource.h"
#include "settings/settings_store_win32.h"
#include "settings/unit_settings.h"
#include "station/link_state.h"
#include "station/messages.h"
#include "station/station_device_win32.h"

namespace {

const wchar_t TEMPLATE_READ_TIME[] = L"10 / 18 / 2017, 20:15 AM";

std::vector<UINT> told; // what the status bar was sent, in order
std::wstring logger_text;
LRESULT CALLBACK fake_status_bar(HWND window, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == UM_LOGGER_TEXT)
        logger_text = reinterpret_cast<const wchar_t *>(lparam);
    if (msg == UM_LOGGER_TEXT || msg == UM_HISTORY_END) {
        told.push_back(msg);
        return 0;
    }
    return DefWindowProcW(window, msg, wparam, lparam);
}

struct Shown {
    HWND owner;
    std::wstring text, caption;
    std::size_t told_before; // status bar messages sent before the box
};
std::vector<Shown> shown;
int record_message(HWND owner, const wchar_t *text, const wchar_t *caption, UINT)
{
    shown.push_back({owner, text, caption, told.size()});
    return IDOK;
}

std::wstring stored_data()
{
    wchar_t text[32] = {};
    read_setting_data(text);
    return text;
}

void reset_flags()
{
    link_flags.connected = 0;
    link_flags.history_cancel = 0;
    link_flags.history_active = 0;
}

class DashboardPage : public ::testing::Test {
protected:
    HWND parent = nullptr, page = nullptr;
    HANDLE console_in = nullptr; // what the page wrote to the console
    StationDevice console{};

    static void SetUpTestSuite()
    {
        app_instance = GetModuleHandleW(nullptr);
        install_languages(app_instance);
        message_box_hook = record_message;
        status_bar = make_message_window(L"NimbrelFakeStatusBar", fake_status_bar);
    }
    void SetUp() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Corvalen");
        language_index = 0;
        unit_settings = UnitSettings{};
        reset_flags();
        told.clear();
        shown.clear();
        logger_text.clear();
    }
    void TearDown() override
    {
        close();
        station_device = nullptr;
        if (console_in)
            CloseHandle(console_in);
        if (console.io_handle)
            CloseHandle(console.io_handle);
        reset_flags();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Corvalen");
    }
    void open()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = app_instance;
        wc.lpszClassName = L"NimbrelDashboardTest";
        RegisterClassW(&wc); // fails harmlessly when already registered
        parent = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 900, 600, nullptr, nullptr, app_instance, nullptr);
        main_window = parent;
        page = CreateDialogParamW(app_instance, MAKEINTRESOURCEW(IDD_DASHBOARD), parent,
                                  dashboard_proc, 0);
        ASSERT_NE(page, nullptr);
        ShowWindow(page, SW_SHOW);
        ValidateRect(page, nullptr);
    }
    void close()
    {
        if (parent)
            DestroyWindow(parent);
        parent = page = nullptr;
    }
    // A console that takes every frame written to it.
    void attach_console()
    {
        ASSERT_TRUE(CreatePipe(&console_in, &console.io_handle, nullptr, 4096));
        station_device = &console;
        link_flags.connected = 1;
    }
    std::vector<Frame> frames_sent() { return frames_in(console_in); }
    std::wstring text(int id)
    {
        wchar_t buffer[128] = {};
        GetDlgItemTextW(page, id, buffer, 128);
        return buffer;
    }
    // Client rectangle of a control in the page's coordinates.
    RECT area(int id)
    {
        RECT r{};
        GetWindowRect(GetDlgItem(page, id), &r);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT *>(&r), 2);
        return r;
    }
    // The part of the page waiting for a repaint, and it emptied.
    HRGN take_update_region()
    {
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        GetUpdateRgn(page, region, FALSE);
        ValidateRect(page, nullptr);
        return region;
    }
    HRGN areas_region(std::initializer_list<int> ids)
    {
        HRGN all = CreateRectRgn(0, 0, 0, 0);
        for (int id : ids) {
            const RECT r = area(id);
            HRGN one = CreateRectRgnIndirect(&r);
            CombineRgn(all, all, one, RGN_OR);
            DeleteObject(one);
        }
        return all;
    }
};

// "month/ day/ year, " of today, the start of every stamp.
std::wstring todays_stamp_start()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t start[32];
    swprintf(start, 32, L"%.2d/ %.2d/ %d, ", now.wMonth, now.wDay, now.wYear);
    return start;
}

TEST_F(DashboardPage, CreationShowsTheStoredReadTimeOrTheTemplate)
{
    const struct { const wchar_t *stored, *shown; } cases[] = {
        {nullptr, TEMPLATE_READ_TIME},
        {L"", TEMPLATE_READ_TIME},
        {L"12/ 01/ 2026, 09:30 AM", L"12/ 01/ 2026, 09:30 AM"},
    };
    for (const auto &c : cases) {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Corvalen");
        if (c.stored) {
            wchar_t data[32] = {};
            wcscpy(data, c.stored);
            write_setting_data(data);
        }
        open();
        EXPECT_EQ(text(IDC_READ_TIME), c.shown) << (c.stored ? "stored" : "nothing stored");
        close();
    }
}

TEST_F(DashboardPage, PressureLabelFollowsTheStoredKindAndTheLanguage)
{
    const struct { int kind; const wchar_t *english, *german; } cases[] = {
        {1, L"Relative Pressure", L"Relativer Luftdruck"},
        {0, L"Absolute Pressure", L"Absoluter Luftdruck"},
    };
    for (const auto &c : cases) {
        UnitSettings stored{};
        stored.pressure_kind = std::uint8_t(c.kind);
        write_setting_unit(stored);
        unit_settings.pressure_kind = std::uint8_t(1 - c.kind); // the stored value must win
        language_index = 0;
        open();
        EXPECT_EQ(text(IDC_PRESSURE_LABEL), c.english) << "kind " << c.kind;
        EXPECT_EQ(text(IDC_INDOOR_TITLE), L"INDOOR");
        language_index = 1;
        SendMessageW(page, UM_LANG_DASHBOARD, 0, 0);
        EXPECT_EQ(text(IDC_PRESSURE_LABEL), c.german) << "kind " << c.kind;
        EXPECT_EQ(text(IDC_INDOOR_TITLE), L"INNEN");
        EXPECT_EQ(text(IDC_CHANNEL_TITLE), L"CH 1") << "the channel title is not a language text";
        close();
    }
}

TEST_F(DashboardPage, LiveRecordFillsTheTableTellsTheStatusBarAndStampsTheTime)
{
    // 36 tokens in 360 bytes: the page reads 255 of them, which ends
    // inside token 26; the rest of the reader's 450 bytes is never zero.
    std::string record = "37 2026-12-08 14:00";
    for (int k = 3; k < 36; ++k) {
        char token[16];
        std::snprintf(token, sizeof token, " k%02dxxxxxx", k); // token k at byte 10 k - 10
        record += token;
    }
    char buffer[450];
    std::memset(buffer, 'z', sizeof buffer);
    std::memcpy(buffer, record.data(), record.size());
    open();

    SendMessageW(page, UM_LIVE_RECORD, 0, reinterpret_cast<LPARAM>(buffer));

    EXPECT_STREQ(reinterpret_cast<const wchar_t *>(dashboard_values.slot[3]), L"k03xxxxxx");
    EXPECT_STREQ(reinterpret_cast<const wchar_t *>(dashboard_values.slot[25]), L"k25xxxxxx");
    EXPECT_STREQ(reinterpret_cast<const wchar_t *>(dashboard_values.slot[26]), L"k26xx");
    EXPECT_STREQ(reinterpret_cast<const wchar_t *>(dashboard_values.slot[27]), L"");
    EXPECT_EQ(told, std::vector<UINT>{UM_LOGGER_TEXT});
    EXPECT_EQ(logger_text, L"37");
    const std::wstring stamp = text(IDC_READ_TIME);
    EXPECT_EQ(stamp.rfind(todays_stamp_start(), 0), 0u) << "stamp " << stamp.c_str();
    EXPECT_EQ(stored_data(), stamp);

    // Every value area is repainted, and beyond them only the compass
    // picture: one 160 x 160 square around the middle of its text area.
    HRGN updated = take_update_region();
    HRGN values = areas_region(
        {IDC_INDOOR_TEMP, IDC_INDOOR_HUMIDITY, IDC_OUTDOOR_TEMP, IDC_OUTDOOR_HUMIDITY, IDC_WIND_SPEED,
         IDC_GUST, IDC_DIRECTION, IDC_CHANNEL_TEMP, IDC_CHANNEL_HUMIDITY, IDC_DAILY_RAIN,
         IDC_RAIN_RATE, IDC_PRESSURE, IDC_DEW_POINT, IDC_UV, IDC_HEAT_INDEX});
    HRGN rest = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(rest, values, updated, RGN_DIFF), NULLREGION) << "a value area is left";
    CombineRgn(rest, updated, values, RGN_DIFF);
    RECT box{};
    GetRgnBox(rest, &box);
    const RECT direction = area(IDC_DIRECTION);
    const POINT middle{(direction.left + direction.right) / 2,
                       (direction.top + direction.bottom) / 2};
    EXPECT_EQ(box.right - box.left, 160);
    EXPECT_EQ(box.bottom - box.top, 160);
    EXPECT_TRUE(PtInRect(&box, middle));
    for (HRGN r : {updated, values, rest})
        DeleteObject(r);
}

TEST_F(DashboardPage, ExportDoneReportsAFailureAndRenewsTheTimeOtherwise)
{
    const struct {
        long result;
        int cancel_after;
        bool message, renewed;
    } cases[] = {
        {EXPORT_FAILED, 1, true, false},
        {EXPORT_ENDED, 0, false, true},
    };
    for (const auto &c : cases) {
        wchar_t old[32] = L"01/ 02/ 2020, 03:04 AM";
        write_setting_data(old);
        open();
        told.clear();
        shown.clear();
        link_flags.history_cancel = 0;

        SendMessageW(page, UM_EXPORT_DONE, 0, c.result);

        SCOPED_TRACE("result " + std::to_string(c.result));
        EXPECT_EQ(link_flags.history_cancel, c.cancel_after);
        EXPECT_EQ(told, std::vector<UINT>{UM_HISTORY_END});
        if (c.message) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].owner, main_window);
            EXPECT_EQ(shown[0].text, L"write file failed !");
            EXPECT_EQ(shown[0].caption, L"Error");
            EXPECT_EQ(shown[0].told_before, 1u) << "the progress display ends first";
        } else {
            EXPECT_TRUE(shown.empty());
        }
        EXPECT_EQ(text(IDC_READ_TIME) != old, c.renewed);
        EXPECT_EQ(stored_data() != old, c.renewed);
        EXPECT_EQ(stored_data(), text(IDC_READ_TIME));
        close();
    }
}

TEST_F(DashboardPage, NoHistoryIsANoteOwnedByTheMainWindow)
{
    open();
    SendMessageW(page, UM_NO_HISTORY, 0, 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].owner, main_window);
    EXPECT_EQ(shown[0].text, L"Not history data NOW!");
    EXPECT_EQ(shown[0].caption, L"Note");
}

// The user's cancel came just before the download's last page: no file is
// begun, and Export works again at once.
TEST_F(DashboardPage, ACompletionJustAfterACancelBeginsNoFile)
{
    open();
    attach_console();
    told.clear();
    shown.clear();
    link_flags.history_active = 1;
    link_flags.history_complete = 1;
    link_flags.export_cancel = 1;
    SendMessageW(page, UM_HISTORY_COMPLETE, 0, 0);
    pump_until([] { return false; }, 200); // a message box may be posted
    EXPECT_EQ(export_running(), 0) << "a file was begun";
    EXPECT_EQ(link_flags.history_active, 0) << "Export stays refused";
    EXPECT_EQ(told, std::vector<UINT>{UM_HISTORY_END});
    EXPECT_TRUE(frames_sent().empty());
    EXPECT_TRUE(shown.empty());
    station_device = nullptr;
    for (HANDLE *h : {&console_in, &console.io_handle})
        if (*h)
            CloseHandle(*h), *h = nullptr;
    link_flags.export_cancel = 0;
    link_flags.history_complete = 0;
}

TEST_F(DashboardPage, ControlsHaveTheirGroupsColoursAndFonts)
{
    create_shared_drawing();
    open();
    const struct {
        const char *group;
        std::vector<int> ids;
        COLORREF colour;
        LONG height, weight; // 0: the dialog's own font
    } groups[] = {
        {"panel titles",
         {IDC_INDOOR_TITLE, IDC_OUTDOOR_TITLE, IDC_WIND_TITLE, IDC_CHANNEL_TITLE, IDC_RAIN_TITLE,
          IDC_INDEX_TITLE},
         RGB(99, 99, 99), 24, FW_BOLD},
        {"item labels",
         {IDC_INDOOR_TEMP_LABEL, IDC_INDOOR_HUMIDITY_LABEL, IDC_OUTDOOR_TEMP_LABEL,
          IDC_OUTDOOR_HUMIDITY_LABEL, IDC_WIND_SPEED_LABEL, IDC_GUST_LABEL, IDC_DIRECTION_LABEL,
          IDC_CHANNEL_TEMP_LABEL, IDC_CHANNEL_HUMIDITY_LABEL, IDC_DAILY_RAIN_LABEL,
          IDC_RAIN_RATE_LABEL, IDC_PRESSURE_LABEL, IDC_DEW_POINT_LABEL, IDC_UV_LABEL,
          IDC_HEAT_INDEX_LABEL},
         RGB(5, 93, 160), 22, FW_NORMAL},
        {"value areas and read time",
         {IDC_INDOOR_TEMP, IDC_INDOOR_HUMIDITY, IDC_OUTDOOR_TEMP, IDC_OUTDOOR_HUMIDITY,
          IDC_WIND_SPEED, IDC_GUST, IDC_DIRECTION, IDC_CHANNEL_TEMP, IDC_CHANNEL_HUMIDITY,
          IDC_DAILY_RAIN, IDC_RAIN_RATE, IDC_PRESSURE, IDC_DEW_POINT, IDC_UV, IDC_HEAT_INDEX,
          IDC_READ_TIME_LABEL, IDC_READ_TIME},
         RGB(145, 145, 145), 0, 0},
    };
    const HFONT dialog_font = reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0));
    HDC dc = CreateCompatibleDC(nullptr);
    for (const auto &g : groups) {
        SCOPED_TRACE(g.group);
        for (int id : g.ids) {
            HWND control = GetDlgItem(page, id);
            ASSERT_NE(control, nullptr) << id;
            SetTextColor(dc, RGB(1, 2, 3));
            SetBkMode(dc, OPAQUE);
            const INT_PTR brush = SendMessageW(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                               reinterpret_cast<LPARAM>(control));
            EXPECT_EQ(GetTextColor(dc), g.colour) << id;
            EXPECT_EQ(GetBkMode(dc), TRANSPARENT) << id;
            EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), shared_drawing.page_brush) << id;
            const HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
            if (!g.height) {
                EXPECT_EQ(font, dialog_font) << id;
                continue;
            }
            LOGFONTW shown = {};
            ASSERT_NE(GetObjectW(font, sizeof shown, &shown), 0) << id;
            EXPECT_EQ(shown.lfHeight, g.height) << id;
            // A normal weight may be asked for as "any" (0), which draws as 400.
            EXPECT_EQ(shown.lfWeight == 0 ? FW_NORMAL : shown.lfWeight, g.weight) << id;
            EXPECT_STREQ(shown.lfFaceName, L"Arial") << id;
        }
    }
    DeleteDC(dc);
    close();
    delete_shared_drawing();
}

TEST_F(DashboardPage, ClockRequestSendsTodaysDateThenTheTime)
{
    open();
    attach_console();
    SYSTEMTIME now;
    GetLocalTime(&now);
    const DWORD start = GetTickCount();
    SendMessageW(page, UM_TIME_SYNC, 0, 0);
    EXPECT_GE(GetTickCount() - start, 90u) << "the console needs a pause between the frames";

    const auto frames = frames_sent();
    ASSERT_EQ(frames.size(), 2u);
    const std::vector<std::uint8_t> date(frames[0].begin() + 2, frames[0].begin() + 6);
    EXPECT_EQ(date, (std::vector<std::uint8_t>{0x08, std::uint8_t(now.wYear % 100),
                                               std::uint8_t(now.wMonth), std::uint8_t(now.wDay)}));
    EXPECT_EQ(frames[1][2], 0x09);
    EXPECT_EQ(frames[1][3], now.wHour);
    EXPECT_LE(frames[1][4] - now.wMinute, 1);
    EXPECT_TRUE(shown.empty());
}

TEST_F(DashboardPage, RefreshAsksForALiveRecordOrSaysWhyNot)
{
    const std::vector<std::uint8_t> read_live = {0x00, 0xFC, 0x03, 0x00, 0x00,
                                                 0x00, 0x2F, 0xA1, 0xFD};
    const struct {
        const char *name;
        bool connected, console, downloading;
        const wchar_t *message; // null: none
    } cases[] = {
        {"not connected", false, true, false, L"the Usb Device is not ready!"},
        {"connected", true, true, false, nullptr},
        {"connected, write fails", true, false, false, L" Send command Failed! "},
        // The live record that answers leaves the download running.
        {"a download runs", true, true, true, nullptr},
        {"unplugged while a download ran", false, true, true, L"the Usb Device is not ready!"},
    };
    open();
    for (const auto &c : cases) {
        shown.clear();
        if (c.console)
            attach_console();
        link_flags.connected = c.connected;
        link_flags.history_active = c.downloading;
        SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), 0);
        link_flags.history_active = 0;
        const auto frames = frames_sent();
        EXPECT_EQ(frames.size(), c.connected && c.console ? 1u : 0u) << c.name;
        if (!frames.empty()) {
            EXPECT_EQ(frames[0], read_live) << c.name;
        }
        if (c.message) {
            ASSERT_EQ(shown.size(), 1u) << c.name;
            EXPECT_EQ(shown[0].owner, page) << c.name;
            EXPECT_EQ(shown[0].text, c.message) << c.name;
            EXPECT_EQ(shown[0].caption, L"Error") << c.name;
        } else {
            EXPECT_TRUE(shown.empty()) << c.name;
        }
        station_device = nullptr;
        for (HANDLE *h : {&console_in, &console.io_handle})
            if (*h)
                CloseHandle(*h), *h = nullptr;
    }
}

TEST_F(DashboardPage, ChannelStepsBetweenOneAndSevenRepaintingOnlyItsAreas)
{
    open();
    for (int i = 0; i < 7; ++i) // whatever an earlier page left, CH 1
        SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_CHANNEL_PREV, STN_CLICKED), 0);
    ValidateRect(page, nullptr);
    const struct {
        int button, notification;
        const wchar_t *title;
        bool repainted;
    } steps[] = {
        {IDC_CHANNEL_PREV, STN_CLICKED, L"CH 1", false},
        {IDC_CHANNEL_NEXT, STN_CLICKED, L"CH 2", true},
        {IDC_CHANNEL_NEXT, STN_DBLCLK, L"CH 3", true}, // a double click steps again
        {IDC_CHANNEL_NEXT, STN_CLICKED, L"CH 4", true},
        {IDC_CHANNEL_NEXT, STN_CLICKED, L"CH 5", true},
        {IDC_CHANNEL_NEXT, STN_CLICKED, L"CH 6", true},
        {IDC_CHANNEL_NEXT, STN_CLICKED, L"CH 7", true},
        {IDC_CHANNEL_NEXT, STN_CLICKED, L"CH 7", false},
        {IDC_CHANNEL_PREV, STN_CLICKED, L"CH 6", true},
    };
    int step = 0;
    for (const auto &s : steps) {
        SendMessageW(page, WM_COMMAND, MAKEWPARAM(s.button, s.notification), 0);
        SCOPED_TRACE("step " + std::to_string(step++));
        EXPECT_EQ(text(IDC_CHANNEL_TITLE), s.title);
        HRGN updated = take_update_region();
        HRGN expected = s.repainted ? areas_region({IDC_CHANNEL_TEMP, IDC_CHANNEL_HUMIDITY})
                                    : CreateRectRgn(0, 0, 0, 0);
        EXPECT_TRUE(EqualRgn(updated, expected));
        DeleteObject(updated);
        DeleteObject(expected);
    }
}

} // namespace
