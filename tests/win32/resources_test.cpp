// The program's resources as the pages will meet them: every dialog template
// creates as a child page with each control of the right class, style,
// visibility and place; every icon carries real images at its sizes; every
// bitmap has its exact size; the compass pictures are free of the colour
// that is drawn transparent, and their pointers go round clockwise from N.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "resource.h"

namespace {

HINSTANCE instance() { return GetModuleHandleW(nullptr); }

INT_PTR CALLBACK plain_page(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// A top-level window like the main window: 900 x 600, not resizable.
HWND make_parent()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = instance();
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = L"NimbrelResourcesTest";
        registered = RegisterClassW(&wc) != 0;
    }
    return CreateWindowExW(0, L"NimbrelResourcesTest", L"NIMBREL",
                           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           0, 0, 900, 600, nullptr, nullptr, instance(), nullptr);
}

HWND make_page(HWND parent, int template_id)
{
    return CreateDialogParamW(instance(), MAKEINTRESOURCEW(template_id), parent, plain_page, 0);
}

// ---- control tables ---------------------------------------------------------

enum Kind {
    TEXT_LEFT,
    TEXT_CENTRE,
    TEXT_RIGHT,
    ICON,
    BITMAP_IMAGE,
    GROUP,
    OWNER_DRAWN,
    CHECK,
    DROP_DOWN,
    DROP_LIST,
    EDIT,
    DIGITS,
    FRAME
};

struct Control {
    int id;
    Kind kind;
    bool visible;
    bool notify;        // SS_NOTIFY: the page reacts to clicks on it
    int x, y, cx, cy;   // dialog units; x < 0: placement is free
    const wchar_t *text; // template text, or nullptr when not checked
};

const wchar_t *class_of(Kind k)
{
    switch (k) {
    case GROUP: case OWNER_DRAWN: case CHECK: return L"Button";
    case DROP_DOWN: case DROP_LIST: return L"ComboBox";
    case EDIT: case DIGITS: return L"Edit";
    default: return L"Static";
    }
}

// The style bits that make the kind, and the mask they are read under.
void style_of(Kind k, DWORD *mask, DWORD *value)
{
    switch (k) {
    case TEXT_LEFT: *mask = SS_TYPEMASK; *value = SS_LEFT; return;
    case TEXT_CENTRE: *mask = SS_TYPEMASK; *value = SS_CENTER; return;
    case TEXT_RIGHT: *mask = SS_TYPEMASK; *value = SS_RIGHT; return;
    case ICON: *mask = SS_TYPEMASK; *value = SS_ICON; return;
    case BITMAP_IMAGE: *mask = SS_TYPEMASK; *value = SS_BITMAP; return;
    case FRAME: *mask = SS_TYPEMASK; *value = SS_BLACKFRAME; return;
    case GROUP: *mask = BS_TYPEMASK; *value = BS_GROUPBOX; return;
    case OWNER_DRAWN: *mask = BS_TYPEMASK; *value = BS_OWNERDRAW; return;
    case CHECK: *mask = BS_TYPEMASK; *value = BS_AUTOCHECKBOX; return;
    case DROP_DOWN: *mask = 3; *value = CBS_DROPDOWN; return;
    case DROP_LIST: *mask = 3; *value = CBS_DROPDOWNLIST; return;
    case EDIT: *mask = ES_NUMBER; *value = 0; return;
    case DIGITS: *mask = ES_NUMBER; *value = ES_NUMBER; return;
    }
}

// Images and combo boxes size themselves; their template size is not kept.
bool keeps_size(Kind k) { return k != ICON && k != BITMAP_IMAGE && k != DROP_DOWN && k != DROP_LIST; }

const bool V = true, H = false; // visible, hidden
const bool N = true, Q = false; // notify, quiet

const Control TAB_BAR[] = {
    {IDC_TAB_DASHBOARD, TEXT_CENTRE, V, N, 0, 1, 100, 14, L"DASHBOARD"},
    {IDC_TAB_SETUP, TEXT_CENTRE, V, N, 101, 1, 100, 14, L"EXPORT && SETUP"},
    {IDC_HELP_BUTTON, OWNER_DRAWN, V, Q, -1, 0, 0, 0, nullptr},
    {IDC_TAB_SPARE, TEXT_LEFT, V, Q, -1, 0, 0, 0, L""},
    {IDC_LANGUAGE, DROP_LIST, V, Q, -1, 0, 0, 0, nullptr},
};

const Control STATUS_BAR[] = {
    {IDC_LOGGER_LABEL, TEXT_LEFT, V, Q, -1, 0, 0, 0, L"Logger"},
    {IDC_LOGGER_AREA, TEXT_RIGHT, H, Q, -1, 0, 0, 0, nullptr},
    {IDC_MEMORY_ICON, ICON, V, Q, -1, 0, 0, 0, nullptr},
    {IDC_CONNECTION_TEXT, TEXT_LEFT, V, Q, -1, 0, 0, 0, nullptr},
    {IDC_CONNECTION_ICON, ICON, V, Q, -1, 0, 0, 0, nullptr},
    {IDC_CANCEL_DOWNLOAD, BITMAP_IMAGE, H, N, -1, 0, 0, 0, nullptr},
    {IDC_PROGRESS_AREA, TEXT_LEFT, H, Q, -1, 0, 0, 0, nullptr},
};

const Control DASHBOARD[] = {
    {IDC_INDOOR_FRAME, GROUP, H, Q, 6, 16, 106, 108, nullptr},
    {IDC_OUTDOOR_FRAME, GROUP, H, Q, 116, 16, 106, 108, nullptr},
    {IDC_WIND_FRAME, GROUP, H, Q, 226, 16, 215, 108, nullptr},
    {IDC_CHANNEL_FRAME, GROUP, H, Q, 6, 128, 106, 108, nullptr},
    {IDC_RAIN_FRAME, GROUP, H, Q, 116, 128, 106, 108, nullptr},
    {IDC_INDEX_FRAME, GROUP, H, Q, 226, 128, 215, 108, nullptr},
    {IDC_INDOOR_TITLE, TEXT_LEFT, V, Q, 13, 20, 70, 13, L"INDOOR"},
    {IDC_INDOOR_TEMP_LABEL, TEXT_LEFT, V, Q, 12, 38, 80, 16, L"Temperature"},
    {IDC_INDOOR_TEMP, TEXT_LEFT, H, Q, 15, 57, 82, 18, L""},
    {IDC_INDOOR_HUMIDITY_LABEL, TEXT_LEFT, V, Q, 14, 82, 77, 16, L"Humidity"},
    {IDC_INDOOR_HUMIDITY, TEXT_LEFT, H, Q, 16, 101, 82, 18, L""},
    {IDC_OUTDOOR_TITLE, TEXT_LEFT, V, Q, 123, 20, 70, 13, L"OUTDOOR"},
    {IDC_OUTDOOR_TEMP_LABEL, TEXT_LEFT, V, Q, 123, 38, 70, 16, L"Temperature"},
    {IDC_OUTDOOR_TEMP, TEXT_LEFT, H, Q, 129, 57, 82, 18, L""},
    {IDC_OUTDOOR_HUMIDITY_LABEL, TEXT_LEFT, V, Q, 124, 82, 70, 16, L"Humidity"},
    {IDC_OUTDOOR_HUMIDITY, TEXT_LEFT, H, Q, 127, 101, 82, 18, L""},
    {IDC_WIND_TITLE, TEXT_LEFT, V, Q, 233, 20, 42, 14, L"WIND"},
    {IDC_WIND_SPEED_LABEL, TEXT_LEFT, V, Q, 233, 38, 79, 16, L"Speed"},
    {IDC_WIND_SPEED, TEXT_LEFT, H, Q, 236, 57, 77, 18, L""},
    {IDC_GUST_LABEL, TEXT_LEFT, V, Q, 234, 82, 43, 16, L"Gust"},
    {IDC_GUST, TEXT_LEFT, H, Q, 236, 101, 77, 18, L""},
    {IDC_DIRECTION_LABEL, TEXT_LEFT, V, Q, 316, 38, 45, 16, L"Direction"},
    {IDC_DIRECTION, TEXT_CENTRE, H, Q, 365, 70, 49, 17, L""},
    {IDC_CHANNEL_TITLE, TEXT_CENTRE, V, Q, 29, 133, 29, 14, L"CH 1"},
    {IDC_CHANNEL_PREV, ICON, V, N, 9, 132, 20, 15, nullptr},
    {IDC_CHANNEL_NEXT, ICON, V, N, 57, 132, 20, 15, nullptr},
    {IDC_CHANNEL_TEMP_LABEL, TEXT_LEFT, V, Q, 14, 149, 80, 16, L"Temperature"},
    {IDC_CHANNEL_TEMP, TEXT_LEFT, H, Q, 19, 169, 82, 18, L""},
    {IDC_CHANNEL_HUMIDITY_LABEL, TEXT_LEFT, V, Q, 15, 192, 85, 16, L"Humidity"},
    {IDC_CHANNEL_HUMIDITY, TEXT_LEFT, H, Q, 18, 214, 82, 18, L""},
    {IDC_RAIN_TITLE, TEXT_LEFT, V, Q, 125, 133, 42, 12, L"RAIN"},
    {IDC_DAILY_RAIN_LABEL, TEXT_LEFT, V, Q, 125, 151, 91, 19, L"Daily Rainfall"},
    {IDC_DAILY_RAIN, TEXT_LEFT, H, Q, 127, 169, 90, 18, L""},
    {IDC_RAIN_RATE_LABEL, TEXT_LEFT, V, Q, 125, 192, 93, 16, L"Rain Rate"},
    {IDC_RAIN_RATE, TEXT_LEFT, H, Q, 127, 214, 89, 18, L""},
    {IDC_INDEX_TITLE, TEXT_LEFT, V, Q, 235, 133, 42, 12, L"INDEX"},
    {IDC_PRESSURE_LABEL, TEXT_LEFT, V, Q, 235, 147, 105, 16, L""},
    {IDC_PRESSURE, TEXT_LEFT, H, Q, 238, 169, 82, 18, L""},
    {IDC_UV_LABEL, TEXT_LEFT, V, Q, 346, 148, 51, 15, L"UV Index"},
    {IDC_UV, TEXT_CENTRE, H, Q, 374, 169, 30, 18, L""},
    {IDC_DEW_POINT_LABEL, TEXT_LEFT, V, Q, 234, 194, 101, 19, L"Outdoor Dew Point"},
    {IDC_DEW_POINT, TEXT_LEFT, H, Q, 237, 214, 82, 18, L""},
    {IDC_HEAT_INDEX_LABEL, TEXT_LEFT, V, Q, 341, 193, 92, 21, L"Outdoor Heat  Index"},
    {IDC_HEAT_INDEX, TEXT_LEFT, H, Q, 347, 214, 82, 18, L""},
    {IDC_READ_TIME_LABEL, TEXT_RIGHT, V, Q, 235, 2, 112, 14, L"Last data read at"},
    {IDC_READ_TIME, TEXT_RIGHT, V, Q, 351, 3, 76, 13, L"10 / 18 / 2017, 20:15 AM"},
    {IDC_REFRESH, OWNER_DRAWN, V, Q, 433, 5, 7, 7, nullptr},
};

// Controls without an id, in template order.
const Control DASHBOARD_UNNAMED[] = {
    {IDC_STATIC, ICON, V, Q, 89, 20, 20, 20, nullptr},
    {IDC_STATIC, ICON, V, Q, 199, 20, 20, 20, nullptr},
    {IDC_STATIC, ICON, V, Q, 418, 20, 20, 20, nullptr},
    {IDC_STATIC, ICON, V, Q, 89, 133, 20, 20, nullptr},
    {IDC_STATIC, ICON, V, Q, 199, 133, 20, 20, nullptr},
    {IDC_STATIC, ICON, V, Q, 418, 133, 20, 20, nullptr},
};

const Control SETUP[] = {
    {IDC_UNIT_GROUP, GROUP, H, Q, 6, 3, 236, 71, nullptr},
    {IDC_SERVER_GROUP, GROUP, H, Q, 244, 3, 197, 71, nullptr},
    {IDC_EXPORT_GROUP, GROUP, H, Q, 6, 76, 435, 160, nullptr},
    {IDC_UNIT_HEADING, TEXT_LEFT, V, Q, 12, 7, 185, 12, nullptr},
    {IDC_SERVER_HEADING, TEXT_LEFT, V, Q, 250, 6, 173, 13, nullptr},
    {IDC_EXPORT_HEADING, TEXT_LEFT, V, Q, 13, 81, 209, 12, nullptr},
    {IDC_TEMP_UNIT_LABEL, TEXT_LEFT, V, Q, 13, 20, 62, 10, nullptr},
    {IDC_TEMP_UNIT, DROP_DOWN, V, Q, 14, 31, 30, 30, nullptr},
    {IDC_RAIN_UNIT_LABEL, TEXT_LEFT, V, Q, 14, 46, 39, 8, nullptr},
    {IDC_RAIN_UNIT, DROP_DOWN, V, Q, 14, 54, 30, 30, nullptr},
    {IDC_PRESSURE_UNIT_LABEL, TEXT_LEFT, V, Q, 77, 20, 69, 10, nullptr},
    {IDC_PRESSURE_UNIT, DROP_DOWN, V, Q, 77, 31, 34, 69, nullptr},
    {IDC_WIND_UNIT_LABEL, TEXT_LEFT, V, Q, 77, 44, 68, 10, nullptr},
    {IDC_WIND_UNIT, DROP_DOWN, V, Q, 77, 54, 34, 51, nullptr},
    {IDC_PRESSURE_KIND_LABEL, TEXT_LEFT, V, Q, 151, 20, 86, 10, nullptr},
    {IDC_PRESSURE_KIND, DROP_DOWN, V, Q, 151, 31, 30, 54, nullptr},
    {IDC_DIRECTION_STYLE_LABEL, TEXT_LEFT, V, Q, 150, 43, 88, 11, nullptr},
    {IDC_DIRECTION_STYLE, DROP_DOWN, V, Q, 150, 54, 30, 44, nullptr},
    {IDC_SERVICE, DROP_DOWN, V, Q, 297, 19, 141, 54, nullptr},
    {IDC_STATION_ID_LABEL, TEXT_RIGHT, V, Q, 259, 34, 77, 8, nullptr},
    {IDC_STATION_KEY_LABEL, TEXT_RIGHT, V, Q, 259, 45, 77, 9, nullptr},
    {IDC_STATION_ID, EDIT, V, Q, 344, 31, 94, 12, nullptr},
    {IDC_STATION_KEY, EDIT, V, Q, 344, 44, 94, 12, nullptr},
    {IDC_AUTO_UPLOAD, CHECK, V, Q, 245, 58, 105, 8, nullptr},
    {IDC_UPLOAD_ICON, ICON, H, Q, 419, 56, 20, 20, nullptr},
    {IDC_UPLOAD_TEXT, TEXT_RIGHT, H, Q, 354, 59, 64, 8, nullptr},
    {IDC_PERIOD_HEADING, TEXT_LEFT, V, Q, 16, 94, 160, 13, nullptr},
    {IDC_START_LABEL, TEXT_RIGHT, V, Q, 16, 108, 49, 12, nullptr},
    {IDC_START_YEAR, DIGITS, V, Q, 67, 108, 36, 12, L""},
    {IDC_START_MONTH, DIGITS, V, Q, 115, 108, 22, 12, L""},
    {IDC_START_DAY, DIGITS, V, Q, 148, 108, 22, 12, L""},
    {IDC_END_LABEL, TEXT_RIGHT, V, Q, 17, 121, 48, 12, nullptr},
    {IDC_END_YEAR, DIGITS, V, Q, 67, 121, 36, 12, L""},
    {IDC_END_MONTH, DIGITS, V, Q, 115, 121, 22, 12, L""},
    {IDC_END_DAY, DIGITS, V, Q, 148, 121, 22, 12, L""},
    {IDC_WHOLE_PERIOD, CHECK, V, Q, 267, 123, 75, 12, nullptr},
    {IDC_DATA_SET_HEADING, TEXT_LEFT, V, Q, 16, 138, 97, 15, nullptr},
    {IDC_SET_PRESSURE, CHECK, V, Q, 19, 151, 142, 11, nullptr},
    {IDC_SET_INDOOR, CHECK, V, Q, 19, 163, 158, 11, nullptr},
    {IDC_SET_OUTDOOR, CHECK, V, Q, 19, 175, 158, 10, nullptr},
    {IDC_SET_RAIN, CHECK, V, Q, 177, 152, 86, 10, nullptr},
    {IDC_SET_UV, CHECK, V, Q, 177, 163, 85, 12, nullptr},
    {IDC_SET_WIND, CHECK, V, Q, 177, 174, 90, 11, nullptr},
    {IDC_SET_HEAT_INDEX, CHECK, V, Q, 267, 151, 127, 11, nullptr},
    {IDC_SET_DEW_POINT, CHECK, V, Q, 267, 163, 128, 12, nullptr},
    {IDC_CHANNELS_LABEL, TEXT_LEFT, V, Q, 19, 189, 189, 10, nullptr},
    {IDC_SET_CH1, CHECK, V, Q, 20, 198, 28, 15, L"CH1"},
    {IDC_SET_CH2, CHECK, V, Q, 57, 198, 30, 15, L"CH2"},
    {IDC_SET_CH3, CHECK, V, Q, 96, 198, 30, 15, L"CH3"},
    {IDC_SET_CH4, CHECK, V, Q, 135, 198, 30, 15, L"CH4"},
    {IDC_SET_CH5, CHECK, V, Q, 174, 198, 30, 15, L"CH5"},
    {IDC_SET_CH6, CHECK, V, Q, 213, 198, 30, 15, L"CH6"},
    {IDC_SET_CH7, CHECK, V, Q, 252, 198, 30, 15, L"CH7"},
    {IDC_SELECT_ALL, OWNER_DRAWN, V, Q, 20, 215, 45, 13, nullptr},
    {IDC_CLEAR_ALL, OWNER_DRAWN, V, Q, 72, 215, 45, 13, nullptr},
    {IDC_EXPORT, OWNER_DRAWN, V, Q, 236, 215, 45, 13, nullptr},
    {IDC_VERSION_LABEL, TEXT_RIGHT, V, Q, 361, 220, 55, 12, nullptr},
};

const Control SETUP_UNNAMED[] = {
    {IDC_STATIC, TEXT_CENTRE, V, Q, 103, 108, 11, 12, L"--"},
    {IDC_STATIC, TEXT_CENTRE, V, Q, 136, 107, 11, 12, L"--"},
    {IDC_STATIC, TEXT_LEFT, V, Q, 172, 107, 77, 12, L"(YYYY - MM - DD)"},
    {IDC_STATIC, TEXT_CENTRE, V, Q, 103, 121, 11, 12, L"--"},
    {IDC_STATIC, TEXT_CENTRE, V, Q, 136, 121, 11, 12, L"--"},
    {IDC_STATIC, TEXT_LEFT, V, Q, 172, 120, 77, 12, L"(YYYY - MM - DD)"},
    {IDC_STATIC, FRAME, V, Q, 18, 137, 410, 1, nullptr},
    {IDC_STATIC, TEXT_LEFT, V, Q, 419, 220, 15, 12, L"1.02"},
};

RECT rect_in(HWND page, HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

// Each of x, y, cx, cy in pixels, as the dialog manager converts them.
RECT pixels(HWND page, int x, int y, int cx, int cy)
{
    RECT r = {x, y, cx, cy};
    MapDialogRect(page, &r);
    return r;
}

void check_control(HWND page, HWND h, const Control &c)
{
    wchar_t cls[64] = {};
    GetClassNameW(h, cls, 64);
    EXPECT_EQ(0, _wcsicmp(cls, class_of(c.kind))) << "class " << std::wstring(cls).c_str();

    LONG style = GetWindowLongW(h, GWL_STYLE);
    DWORD mask = 0, value = 0;
    style_of(c.kind, &mask, &value);
    EXPECT_EQ(static_cast<DWORD>(style) & mask, value) << "kind " << c.kind;
    EXPECT_EQ((style & WS_VISIBLE) != 0, c.visible) << "visibility";
    if (_wcsicmp(class_of(c.kind), L"Static") == 0) {
        EXPECT_EQ((style & SS_NOTIFY) != 0, c.notify) << "notify";
    }
    if (c.kind == ICON) {
        EXPECT_NE(SendMessageW(h, STM_GETICON, 0, 0), 0) << "icon not loaded";
    }
    if (c.kind == BITMAP_IMAGE) {
        EXPECT_NE(SendMessageW(h, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "bitmap not loaded";
    }
    if (c.text) {
        wchar_t text[128] = {};
        GetWindowTextW(h, text, 128);
        EXPECT_STREQ(text, c.text);
    }
    if (c.x >= 0) {
        RECT want = pixels(page, c.x, c.y, c.cx, c.cy);
        RECT got = rect_in(page, h);
        EXPECT_EQ(got.left, want.left);
        EXPECT_EQ(got.top, want.top);
        if (keeps_size(c.kind)) {
            EXPECT_EQ(got.right - got.left, want.right);
            EXPECT_EQ(got.bottom - got.top, want.bottom);
        }
    }
}

template <size_t n>
void check_controls(HWND page, const Control (&table)[n])
{
    for (const Control &c : table) {
        SCOPED_TRACE("control " + std::to_string(c.id));
        HWND h = GetDlgItem(page, c.id);
        ASSERT_NE(h, nullptr);
        check_control(page, h, c);
    }
}

std::vector<HWND> unnamed_children(HWND page)
{
    std::vector<HWND> found;
    for (HWND h = GetWindow(page, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (static_cast<WORD>(GetDlgCtrlID(h)) == 0xFFFF) found.push_back(h);
    }
    return found;
}

template <size_t n>
void check_unnamed(HWND page, const Control (&table)[n])
{
    std::vector<HWND> found = unnamed_children(page);
    ASSERT_EQ(found.size(), n);
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE("unnamed control " + std::to_string(i));
        check_control(page, found[i], table[i]);
    }
}

// Every child inside the page and none covering another: a bar is laid out
// by us, and an overlap there hides text or clicks.
void check_bar_layout(HWND page)
{
    RECT client;
    GetClientRect(page, &client);
    std::vector<std::pair<int, RECT>> rects;
    for (HWND h = GetWindow(page, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        RECT r = rect_in(page, h);
        int id = GetDlgCtrlID(h);
        EXPECT_GE(r.left, client.left) << id;
        EXPECT_GE(r.top, client.top) << id;
        EXPECT_LE(r.right, client.right) << id;
        wchar_t cls[64] = {};
        GetClassNameW(h, cls, 64);
        // A combo box's window includes its list, which drops below the bar.
        if (_wcsicmp(cls, L"ComboBox") != 0) {
            EXPECT_LE(r.bottom, client.bottom) << id;
        }
        for (auto &other : rects) {
            RECT both;
            EXPECT_FALSE(IntersectRect(&both, &r, &other.second))
                << "controls " << id << " and " << other.first << " overlap";
        }
        rects.push_back({id, r});
    }
}

struct PageFixture : testing::Test {
    HWND parent = nullptr;
    void SetUp() override
    {
        parent = make_parent();
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override { DestroyWindow(parent); }
};

// ---- templates ----------------------------------------------------------------

TEST_F(PageFixture, EachTemplateCreatesAsAHiddenChildPageOfItsSize)
{
    const struct { int id; int cx, cy; } templates[] = {
        {IDD_TABBAR, 448, 16}, {IDD_DASHBOARD, 448, 240}, {IDD_SETUP, 448, 240}, {IDD_STATUSBAR, 448, 16}};
    for (const auto &t : templates) {
        SCOPED_TRACE("template " + std::to_string(t.id));
        HWND page = make_page(parent, t.id);
        ASSERT_NE(page, nullptr);
        LONG style = GetWindowLongW(page, GWL_STYLE);
        EXPECT_TRUE(style & WS_CHILD);
        EXPECT_FALSE(style & WS_VISIBLE) << "the main window decides what shows";
        EXPECT_FALSE(style & WS_CAPTION);
        EXPECT_EQ(GetParent(page), parent);
        RECT client, want = pixels(page, 0, 0, t.cx, t.cy);
        GetClientRect(page, &client);
        EXPECT_EQ(client.right, want.right);
        EXPECT_EQ(client.bottom, want.bottom);
        DestroyWindow(page);
    }
}

TEST_F(PageFixture, TabBarControls)
{
    HWND page = make_page(parent, IDD_TABBAR);
    ASSERT_NE(page, nullptr);
    check_controls(page, TAB_BAR);
    check_bar_layout(page);
}

// The tab outline is painted on the tab bar around the two labels; each of
// its lines has to fall on a pixel that no label covers.
TEST_F(PageFixture, TabOutlineLinesFallBesideTheLabels)
{
    HWND page = make_page(parent, IDD_TABBAR);
    ASSERT_NE(page, nullptr);
    RECT client, dash = rect_in(page, GetDlgItem(page, IDC_TAB_DASHBOARD)),
                 setup = rect_in(page, GetDlgItem(page, IDC_TAB_SETUP));
    GetClientRect(page, &client);
    int separator = setup.right - setup.left;
    EXPECT_EQ(dash.left, 0);
    EXPECT_EQ(dash.right - dash.left, separator) << "both tabs have one width";
    EXPECT_LE(dash.right, separator);
    EXPECT_GT(setup.left, separator) << "the separator is hidden under the second tab";
    EXPECT_GT(dash.top, 1);
    EXPECT_GT(setup.top, 1) << "the top line at y = 1 is hidden";
    EXPECT_LT(setup.bottom, client.bottom) << "the bottom line is outside the bar";
    EXPECT_EQ(dash.bottom, setup.bottom);
    // The chooser and the help button sit to the right of the tabs.
    EXPECT_GT(rect_in(page, GetDlgItem(page, IDC_LANGUAGE)).left, setup.right);
    EXPECT_GT(rect_in(page, GetDlgItem(page, IDC_HELP_BUTTON)).left, setup.right);
}

TEST_F(PageFixture, LanguageChooserShowsAllFiveLanguages)
{
    HWND page = make_page(parent, IDD_TABBAR);
    ASSERT_NE(page, nullptr);
    HWND combo = GetDlgItem(page, IDC_LANGUAGE);
    const wchar_t *names[] = {L"English", L"Deutsch", L"Fran\u00e7ais", L"Italiano", L"Espa\u00f1ol"};
    for (const wchar_t *name : names) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetComboBoxInfo(combo, &info));
    RECT list;
    GetClientRect(info.hwndList, &list);
    LRESULT item = SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0);
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_GE(list.bottom, 5 * item) << "the list needs a scroll bar for five languages";
}

TEST_F(PageFixture, StatusBarControls)
{
    HWND page = make_page(parent, IDD_STATUSBAR);
    ASSERT_NE(page, nullptr);
    check_controls(page, STATUS_BAR);
    check_bar_layout(page);
    // The connection icon is swapped at run time; it must stay in the bar
    // and keep a size the icon shows in.
    for (int id : {IDC_MEMORY_ICON, IDC_CONNECTION_ICON}) {
        SCOPED_TRACE("icon control " + std::to_string(id));
        HWND h = GetDlgItem(page, id);
        HICON dot = LoadIconW(instance(), MAKEINTRESOURCEW(IDI_CONNECTED));
        SendMessageW(h, STM_SETICON, reinterpret_cast<WPARAM>(dot), 0);
        RECT r = rect_in(page, h), bar;
        GetClientRect(page, &bar);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.bottom, bar.bottom);
        EXPECT_GE(r.right - r.left, 16);
        EXPECT_GE(r.bottom - r.top, 16);
    }
    // "Logger --%" and "Exporting 100% ...." have to fit their areas.
    RECT logger = rect_in(page, GetDlgItem(page, IDC_LOGGER_AREA));
    RECT progress = rect_in(page, GetDlgItem(page, IDC_PROGRESS_AREA));
    HDC dc = GetDC(page);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0)));
    SIZE text;
    GetTextExtentPoint32W(dc, L"Logger 100%", 11, &text);
    EXPECT_LE(text.cx, logger.right - logger.left);
    GetTextExtentPoint32W(dc, L"Exporting 100% ....", 19, &text);
    EXPECT_LE(text.cx, progress.right - progress.left);
    SelectObject(dc, old);
    ReleaseDC(page, dc);
}

TEST_F(PageFixture, DashboardControls)
{
    HWND page = make_page(parent, IDD_DASHBOARD);
    ASSERT_NE(page, nullptr);
    check_controls(page, DASHBOARD);
    check_unnamed(page, DASHBOARD_UNNAMED);
}

TEST_F(PageFixture, SetupPageControls)
{
    HWND page = make_page(parent, IDD_SETUP);
    ASSERT_NE(page, nullptr);
    check_controls(page, SETUP);
    check_unnamed(page, SETUP_UNNAMED);
}

// ---- icons --------------------------------------------------------------------

const int ICONS[] = {IDI_APP, IDI_RAIN, IDI_CONNECTED, IDI_THERMOMETER, IDI_INDEX, IDI_WIND,
                     IDI_ARROW_LEFT, IDI_ARROW_RIGHT, IDI_MEMORY, IDI_NOT_CONNECTED,
                     IDI_UPLOAD_FAIL, IDI_UPLOAD_OK};

// An icon drawn for each size, not one image stretched: the image the system
// picks for a size is that size, 32-bit with alpha.
TEST(Icons, EachSizeHasItsOwnImage)
{
    for (int id : ICONS) {
        HRSRC group = FindResourceW(instance(), MAKEINTRESOURCEW(id), RT_GROUP_ICON);
        ASSERT_NE(group, nullptr) << "icon " << id;
        auto *dir = static_cast<BYTE *>(LockResource(LoadResource(instance(), group)));
        for (int size : {16, 20, 24, 32, 48}) {
            SCOPED_TRACE("icon " + std::to_string(id) + " at " + std::to_string(size));
            int image = LookupIconIdFromDirectoryEx(dir, TRUE, size, size, LR_DEFAULTCOLOR);
            ASSERT_NE(image, 0);
            HRSRC res = FindResourceW(instance(), MAKEINTRESOURCEW(image), RT_ICON);
            ASSERT_NE(res, nullptr);
            auto *header = static_cast<BITMAPINFOHEADER *>(LockResource(LoadResource(instance(), res)));
            EXPECT_EQ(header->biWidth, size);
            EXPECT_EQ(header->biHeight, 2 * size);
            EXPECT_EQ(header->biBitCount, 32);
        }
    }
}

TEST(Icons, LoadAtSixteenAndThirtyTwoPixels)
{
    for (int id : ICONS) {
        for (int size : {16, 32}) {
            SCOPED_TRACE("icon " + std::to_string(id) + " at " + std::to_string(size));
            HICON icon = static_cast<HICON>(LoadImageW(instance(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
            ASSERT_NE(icon, nullptr);
            ICONINFO info = {};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP bm = {};
            GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
            EXPECT_EQ(bm.bmWidth, size);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
    }
}

// ---- bitmaps ------------------------------------------------------------------

struct Picture {
    int id;
    int cx, cy;
};

std::vector<Picture> all_bitmaps()
{
    std::vector<Picture> list = {{IDB_HELP, 22, 22}, {IDB_HELP_PRESSED, 22, 22}, {IDB_CANCEL, 16, 16},
                                 {IDB_REFRESH, 14, 16}, {IDB_REFRESH_PRESSED, 14, 16}};
    for (int id : {170, 171, 175, 176, 177, 178}) list.push_back({id, 90, 28});
    for (int id = 237; id <= 242; ++id) list.push_back({id, 90, 28});
    for (int id = 261; id <= 278; ++id) list.push_back({id, 90, 28});
    for (int i = 0; i <= 16; ++i) list.push_back({IDB_COMPASS_FIRST + i, 160, 160});
    return list;
}

HBITMAP load_dib(int id)
{
    return static_cast<HBITMAP>(LoadImageW(instance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

TEST(Bitmaps, EachHasItsExactSizeAndTwentyFourBits)
{
    for (const Picture &p : all_bitmaps()) {
        SCOPED_TRACE("bitmap " + std::to_string(p.id));
        HBITMAP bmp = load_dib(p.id);
        ASSERT_NE(bmp, nullptr);
        BITMAP bm = {};
        GetObjectW(bmp, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, p.cx);
        EXPECT_EQ(bm.bmHeight, p.cy);
        EXPECT_EQ(bm.bmBitsPixel, 24);
        DeleteObject(bmp);
    }
}

// The help button's bitmap and the not-connected icon share the number 168.
TEST(Bitmaps, HelpBitmapAndRedDotIconAreBothThere)
{
    EXPECT_NE(FindResourceW(instance(), MAKEINTRESOURCEW(168), RT_BITMAP), nullptr);
    EXPECT_NE(FindResourceW(instance(), MAKEINTRESOURCEW(168), RT_GROUP_ICON), nullptr);
}

std::string pixels_of(int id)
{
    HBITMAP bmp = load_dib(id);
    if (!bmp) return {};
    DIBSECTION dib = {};
    GetObjectW(bmp, sizeof dib, &dib);
    std::string bytes(static_cast<const char *>(dib.dsBm.bmBits),
                      static_cast<size_t>(dib.dsBm.bmWidthBytes) * dib.dsBm.bmHeight);
    DeleteObject(bmp);
    return bytes;
}

// A button picture under a wrong number shows the wrong caption or state.
TEST(Bitmaps, ButtonPicturesAreThirtyDifferentOnes)
{
    std::set<std::string> seen;
    int count = 0;
    for (const Picture &p : all_bitmaps()) {
        if (p.cx != 90) continue;
        ++count;
        EXPECT_TRUE(seen.insert(pixels_of(p.id)).second) << "bitmap " << p.id << " repeats another";
    }
    EXPECT_EQ(count, 30);
}

// Black is the transparent colour the dashboard draws the compass with.
TEST(Compass, NoPictureHasABlackPixel)
{
    for (int i = 0; i <= 16; ++i) {
        SCOPED_TRACE("compass " + std::to_string(IDB_COMPASS_FIRST + i));
        std::string px = pixels_of(IDB_COMPASS_FIRST + i);
        ASSERT_EQ(px.size(), 160u * 480u);
        int black = 0;
        for (size_t row = 0; row < 160; ++row) {
            for (size_t x = 0; x < 160; ++x) {
                const char *p = px.data() + row * 480 + x * 3;
                if (p[0] == 0 && p[1] == 0 && p[2] == 0) ++black;
            }
        }
        EXPECT_EQ(black, 0);
    }
}

// The dial has no pointer; picture i has one at compass point i, N at the top
// and going clockwise in steps of 22.5 degrees.
TEST(Compass, PointersGoClockwiseFromNorth)
{
    for (int i = 0; i <= 16; ++i) {
        SCOPED_TRACE("compass " + std::to_string(IDB_COMPASS_FIRST + i));
        std::string px = pixels_of(IDB_COMPASS_FIRST + i);
        ASSERT_EQ(px.size(), 160u * 480u);
        double sx = 0, sy = 0;
        int blue = 0;
        for (int row = 0; row < 160; ++row) {
            for (int x = 0; x < 160; ++x) {
                auto *p = reinterpret_cast<const unsigned char *>(px.data()) + row * 480 + x * 3;
                if (p[0] > p[2] + 80) { // blue well above red
                    int y = 159 - row;   // rows are stored bottom-up
                    sx += x + 0.5 - 80;
                    sy += y + 0.5 - 80;
                    ++blue;
                }
            }
        }
        if (i == 0) {
            EXPECT_EQ(blue, 0);
            continue;
        }
        ASSERT_GT(blue, 50);
        double bearing = std::atan2(sx, -sy) * 180 / 3.14159265358979;
        if (bearing < 0) bearing += 360;
        double want = (i - 1) * 22.5;
        double off = std::fabs(bearing - want);
        EXPECT_LT(std::min(off, 360 - off), 3.0) << "bearing " << bearing;
        // On the ring, not at the centre where the direction text goes.
        double r = std::hypot(sx / blue, sy / blue);
        EXPECT_GT(r, 55);
    }
}

// ---- the four pages in a main window --------------------------------------------

// Lays the pages out as the main window does. With NIMBREL_HOLD_MS set it
// keeps them on screen that long, for a screenshot from outside.
TEST_F(PageFixture, FourPagesFillTheMainWindow)
{
    HWND bar = make_page(parent, IDD_TABBAR), dash = make_page(parent, IDD_DASHBOARD),
         setup = make_page(parent, IDD_SETUP), status = make_page(parent, IDD_STATUSBAR);
    ASSERT_TRUE(bar && dash && setup && status);
    RECT client, r;
    GetClientRect(parent, &client);
    GetClientRect(bar, &r);
    int top = r.bottom;
    GetWindowRect(status, &r);
    int bottom = client.bottom - (r.bottom - r.top);
    MoveWindow(bar, 0, 0, client.right, top, TRUE);
    MoveWindow(dash, 0, top, client.right, bottom - top, TRUE);
    MoveWindow(setup, 0, top, client.right, bottom - top, TRUE);
    MoveWindow(status, 0, bottom, client.right, client.bottom - bottom, TRUE);

    // Every visible control of the pages lies inside the window.
    for (HWND page : {bar, dash, setup, status}) {
        RECT pr;
        GetWindowRect(page, &pr);
        for (HWND h = GetWindow(page, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
            if (!(GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE)) continue;
            RECT cr = rect_in(parent, h);
            wchar_t cls[64] = {};
            GetClassNameW(h, cls, 64);
            EXPECT_LE(cr.right, client.right) << "control " << GetDlgCtrlID(h);
            if (_wcsicmp(cls, L"ComboBox") != 0) {
                EXPECT_LE(cr.bottom, client.bottom) << "control " << GetDlgCtrlID(h);
            }
        }
    }

    const char *hold = getenv("NIMBREL_HOLD_MS");
    if (hold) {
        const char *which = getenv("NIMBREL_HOLD_PAGE");
        ShowWindow(bar, SW_SHOW);
        ShowWindow(which && which[0] == '2' ? setup : dash, SW_SHOW);
        ShowWindow(status, SW_SHOW);
        ShowWindow(GetDlgItem(status, IDC_CANCEL_DOWNLOAD), SW_SHOW);
        ShowWindow(parent, SW_SHOW);
        DWORD end = GetTickCount() + static_cast<DWORD>(atoi(hold));
        while (GetTickCount() < end) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            Sleep(20);
        }
    }
}

} // namespace

namespace {

// The help button opens the guide from the executable's own folder.
TEST(UserGuide, PdfLiesBesideTheExecutable)
{
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    wchar_t *slash = wcsrchr(path, L'\\');
    ASSERT_NE(slash, nullptr);
    wcscpy(slash + 1, L"Nimbrel_help.pdf");
    FILE *f = _wfopen(path, L"rb");
    ASSERT_NE(f, nullptr) << "no Nimbrel_help.pdf beside the test";
    char head[5] = {};
    size_t got = fread(head, 1, 4, f);
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fclose(f);
    EXPECT_EQ(got, 4u);
    EXPECT_STREQ(head, "%PDF");
    EXPECT_GT(size, 10000) << "a guide of a few pages, not an empty document";
}

} // namespace
