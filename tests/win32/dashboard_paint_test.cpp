// Dashboard painting under Wine: a page built from an in-memory dialog
// template with the dashboard's hidden frames and value areas is painted into
// a memory DC on a 32-bit DIB section, and the pixels are checked.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ui/shared_drawing_win32.h"
#include "live/dashboard_paint_win32.h"
#include "live/station_record.h"
#include "resources/resource.h"

namespace {

constexpr COLORREF GREY = RGB(145, 145, 145);
constexpr COLORREF INDOOR = RGB(19, 137, 114);
constexpr COLORREF CHANNEL = RGB(209, 113, 42);
constexpr COLORREF WHITE = RGB(255, 255, 255);
constexpr COLORREF MARKER = RGB(10, 200, 30); // what the page showed before a paint

// ---- an in-memory dashboard template -----------------------------------------

struct Item {
    int id;
    WORD class_atom; // 0x0080 button, 0x0082 static
    DWORD style;
    short x, y, cx, cy;
    const wchar_t *text;
};

constexpr DWORD HIDDEN_GROUP = WS_CHILD | BS_GROUPBOX;
constexpr DWORD HIDDEN_STATIC = WS_CHILD | SS_LEFT;
constexpr DWORD LABEL = WS_CHILD | WS_VISIBLE | SS_LEFT;

// Frames, value areas and (for the screenshot) the item labels of dialog 101.
const Item items[] = {
    {IDC_INDOOR_FRAME, 0x80, HIDDEN_GROUP, 6, 16, 106, 108, L""},
    {IDC_OUTDOOR_FRAME, 0x80, HIDDEN_GROUP, 116, 16, 106, 108, L""},
    {IDC_WIND_FRAME, 0x80, HIDDEN_GROUP, 226, 16, 215, 108, L""},
    {IDC_CHANNEL_FRAME, 0x80, HIDDEN_GROUP, 6, 128, 106, 108, L""},
    {IDC_RAIN_FRAME, 0x80, HIDDEN_GROUP, 116, 128, 106, 108, L""},
    {IDC_INDEX_FRAME, 0x80, HIDDEN_GROUP, 226, 128, 215, 108, L""},
    {IDC_INDOOR_TEMP, 0x82, HIDDEN_STATIC, 15, 57, 82, 18, L""},
    {IDC_INDOOR_HUMIDITY, 0x82, HIDDEN_STATIC, 16, 101, 82, 18, L""},
    {IDC_OUTDOOR_TEMP, 0x82, HIDDEN_STATIC, 129, 57, 82, 18, L""},
    {IDC_OUTDOOR_HUMIDITY, 0x82, HIDDEN_STATIC, 127, 101, 82, 18, L""},
    {IDC_WIND_SPEED, 0x82, HIDDEN_STATIC, 236, 57, 77, 18, L""},
    {IDC_GUST, 0x82, HIDDEN_STATIC, 236, 101, 77, 18, L""},
    {IDC_DIRECTION, 0x82, HIDDEN_STATIC | SS_CENTER, 365, 70, 49, 17, L""},
    {IDC_CHANNEL_TEMP, 0x82, HIDDEN_STATIC, 19, 169, 82, 18, L""},
    {IDC_CHANNEL_HUMIDITY, 0x82, HIDDEN_STATIC, 18, 214, 82, 18, L""},
    {IDC_DAILY_RAIN, 0x82, HIDDEN_STATIC, 127, 169, 90, 18, L""},
    {IDC_RAIN_RATE, 0x82, HIDDEN_STATIC, 127, 214, 89, 18, L""},
    {IDC_PRESSURE, 0x82, HIDDEN_STATIC, 238, 169, 82, 18, L""},
    {IDC_DEW_POINT, 0x82, HIDDEN_STATIC, 237, 214, 82, 18, L""},
    {IDC_UV, 0x82, HIDDEN_STATIC | SS_CENTER, 374, 169, 30, 18, L""},
    {IDC_HEAT_INDEX, 0x82, HIDDEN_STATIC, 347, 214, 82, 18, L""},
    {IDC_INDOOR_TITLE, 0x82, LABEL, 13, 20, 70, 13, L"INDOOR"},
    {IDC_INDOOR_TEMP_LABEL, 0x82, LABEL, 12, 38, 80, 16, L"Temperature"},
    {IDC_INDOOR_HUMIDITY_LABEL, 0x82, LABEL, 14, 82, 77, 16, L"Humidity"},
    {IDC_OUTDOOR_TITLE, 0x82, LABEL, 123, 20, 70, 13, L"OUTDOOR"},
    {IDC_OUTDOOR_TEMP_LABEL, 0x82, LABEL, 123, 38, 70, 16, L"Temperature"},
    {IDC_OUTDOOR_HUMIDITY_LABEL, 0x82, LABEL, 124, 82, 70, 16, L"Humidity"},
    {IDC_WIND_TITLE, 0x82, LABEL, 233, 20, 42, 14, L"WIND"},
    {IDC_WIND_SPEED_LABEL, 0x82, LABEL, 233, 38, 79, 16, L"Speed"},
    {IDC_GUST_LABEL, 0x82, LABEL, 234, 82, 43, 16, L"Gust"},
    {IDC_DIRECTION_LABEL, 0x82, LABEL, 316, 38, 45, 16, L"Direction"},
    {IDC_CHANNEL_TITLE, 0x82, LABEL | SS_CENTER, 29, 133, 29, 14, L"CH 3"},
    {IDC_CHANNEL_TEMP_LABEL, 0x82, LABEL, 14, 149, 80, 16, L"Temperature"},
    {IDC_CHANNEL_HUMIDITY_LABEL, 0x82, LABEL, 15, 192, 85, 16, L"Humidity"},
    {IDC_RAIN_TITLE, 0x82, LABEL, 125, 133, 42, 12, L"RAIN"},
    {IDC_DAILY_RAIN_LABEL, 0x82, LABEL, 125, 151, 91, 19, L"Daily Rainfall"},
    {IDC_RAIN_RATE_LABEL, 0x82, LABEL, 125, 192, 93, 16, L"Rain Rate"},
    {IDC_INDEX_TITLE, 0x82, LABEL, 235, 133, 42, 12, L"INDEX"},
    {IDC_PRESSURE_LABEL, 0x82, LABEL, 235, 147, 105, 16, L"Relative Pressure"},
    {IDC_UV_LABEL, 0x82, LABEL, 346, 148, 51, 15, L"UV Index"},
    {IDC_DEW_POINT_LABEL, 0x82, LABEL, 234, 194, 101, 19, L"Outdoor Dew Point"},
    {IDC_HEAT_INDEX_LABEL, 0x82, LABEL, 341, 193, 92, 21, L"Outdoor Heat  Index"},
};

const Item *item_of(int id)
{
    for (const Item &item : items)
        if (item.id == id)
            return &item;
    return nullptr;
}

void put_text(std::vector<WORD> &t, const wchar_t *s)
{
    do
        t.push_back(static_cast<WORD>(*s));
    while (*s++);
}

void put_dword(std::vector<WORD> &t, DWORD v)
{
    t.push_back(LOWORD(v));
    t.push_back(HIWORD(v));
}

std::vector<WORD> dashboard_template()
{
    std::vector<WORD> t;
    put_dword(t, WS_CHILD | DS_SETFONT | DS_CONTROL);
    put_dword(t, 0);
    t.push_back(static_cast<WORD>(sizeof items / sizeof items[0]));
    for (short v : {0, 0, 448, 240})
        t.push_back(static_cast<WORD>(v));
    t.push_back(0); // no menu
    t.push_back(0); // default class
    t.push_back(0); // no title
    t.push_back(11);
    put_text(t, L"Arial");
    for (const Item &item : items) {
        if (t.size() % 2)
            t.push_back(0); // items are DWORD-aligned
        put_dword(t, item.style);
        put_dword(t, 0);
        for (short v : {item.x, item.y, item.cx, item.cy})
            t.push_back(static_cast<WORD>(v));
        t.push_back(static_cast<WORD>(item.id));
        t.push_back(0xFFFF);
        t.push_back(item.class_atom);
        put_text(t, item.text);
        t.push_back(0); // no creation data
    }
    return t;
}

// The view painted by the test page's own WM_PAINT (screenshot only).
DashboardView *shown_view = nullptr;

INT_PTR CALLBACK page_proc(HWND page, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_PAINT && shown_view) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(page, &ps);
        paint_dashboard(page, dc, *shown_view);
        EndPaint(page, &ps);
        return TRUE;
    }
    if (msg == WM_CTLCOLORSTATIC) {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
        const int title = id == IDC_INDOOR_TITLE || id == IDC_OUTDOOR_TITLE ||
                          id == IDC_WIND_TITLE || id == IDC_CHANNEL_TITLE || id == IDC_RAIN_TITLE ||
                          id == IDC_INDEX_TITLE;
        return transparent_text(reinterpret_cast<HDC>(wparam),
                                title ? RGB(99, 99, 99) : RGB(5, 93, 160));
    }
    if (msg == WM_CTLCOLORDLG)
        return page_background(reinterpret_cast<HDC>(wparam));
    return FALSE;
}

LRESULT CALLBACK host_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

// ---- pictures and the memory canvas --------------------------------------------

// A 160 x 160 24-bit picture of one colour with a black square in its
// top-left quarter, where the page must show through.
HBITMAP make_picture(COLORREF colour)
{
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 160;
    bi.bmiHeader.biHeight = -160;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto *p = static_cast<std::uint8_t *>(bits);
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < 160; ++x) {
            std::uint8_t *px = p + y * 480 + x * 3;
            const bool hole = x >= 10 && x < 40 && y >= 10 && y < 40;
            px[0] = hole ? 0 : GetBValue(colour);
            px[1] = hole ? 0 : GetGValue(colour);
            px[2] = hole ? 0 : GetRValue(colour);
        }
    return bmp;
}

COLORREF picture_colour(int index) { return RGB(200, 10 * index + 5, 60); }

struct Canvas {
    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
    std::uint32_t *bits = nullptr;
    int w = 0, h = 0;

    Canvas(int width, int height) : w(width), h(height)
    {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void *p = nullptr;
        bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<std::uint32_t *>(p);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bmp);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bmp);
    }
    void fill(COLORREF c)
    {
        GdiFlush();
        for (int i = 0; i < w * h; ++i)
            bits[i] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
    COLORREF at(int x, int y) const
    {
        GdiFlush();
        const std::uint32_t v = bits[y * w + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    // Pixels of r that are not colour c.
    int count_other(const RECT &r, COLORREF c) const
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += at(x, y) != c;
        return n;
    }
    std::vector<std::uint32_t> copy(const RECT &r) const
    {
        std::vector<std::uint32_t> out;
        GdiFlush();
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                out.push_back(bits[y * w + x]);
        return out;
    }
};

// A realistic live record: channel 3 holds 22.3 / 52, UV index 3.
const char record[] =
    "71 2026-12-08 14:30 21.3 45 -5.3 80 1.2 0.4 3.6 7.2 225 SW 1013.2 1009.8 3 -8.1 -5.3 "
    "20.1 50 --.- -- 22.3 52 23.3 53 24.3 54 25.3 55 26.3 56 -9.0 0.3 4.5 30.7";

void set_slot(LiveValues &v, int token, const char16_t *text)
{
    std::memset(v.slot[token], 0, sizeof v.slot[token]);
    for (int i = 0; text[i] != 0; ++i)
        v.slot[token][i] = text[i];
}

class DashboardPaint : public ::testing::Test {
protected:
    HWND host = nullptr;
    HWND page = nullptr;
    LiveValues values{};
    UnitSettings units{};
    DashboardView view{};

    static void SetUpTestSuite()
    {
        create_shared_drawing();
        WNDCLASSW wc{};
        wc.lpfnWndProc = host_proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNHIGHLIGHT + 1);
        wc.lpszClassName = L"DashboardPaintHost";
        RegisterClassW(&wc);
    }

    void SetUp() override
    {
        host = CreateWindowExW(0, L"DashboardPaintHost", L"", WS_POPUP, 0, 0, 900, 600, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(host, nullptr);
        const std::vector<WORD> t = dashboard_template();
        page = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                          reinterpret_cast<const DLGTEMPLATE *>(t.data()), host,
                                          page_proc, 0);
        ASSERT_NE(page, nullptr);
        decode_station_record(record, &values);
        view.values = &values;
        view.units = &units;
        view.channel = 1;
        for (int i = 0; i < COMPASS_PICTURE_COUNT; ++i)
            view.compass[i] = make_picture(picture_colour(i));
        measure_dashboard_view(page, &view);
    }

    void TearDown() override
    {
        shown_view = nullptr;
        for (HBITMAP &b : view.compass)
            if (b)
                DeleteObject(b);
        DestroyWindow(host);
    }

    RECT client() const
    {
        RECT r;
        GetClientRect(page, &r);
        return r;
    }

    RECT control(int id) const
    {
        RECT r{};
        GetWindowRect(GetDlgItem(page, id), &r);
        MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT *>(&r), 2);
        return r;
    }

    RECT area(int id) const { return view.areas[dashboard_area_index(id)]; }

    // The part of a left-aligned area that its blank run covers: the whole
    // width, one line of the value font high.
    RECT blanked(int id) const
    {
        RECT r = area(id);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, shared_drawing.fonts[FONT_VALUE]);
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        SelectObject(dc, old);
        DeleteDC(dc);
        if (r.bottom > r.top + tm.tmHeight)
            r.bottom = r.top + tm.tmHeight;
        return r;
    }

    void paint(Canvas &c, COLORREF before = WHITE)
    {
        c.fill(before);
        paint_dashboard(page, c.dc, view);
    }
};

// ---- geometry ----------------------------------------------------------------------

TEST_F(DashboardPaint, AreasAreTheControlsTemplateRectanglesInClientPixels)
{
    for (int i = 0; i < DASHBOARD_AREA_COUNT; ++i) {
        const Item *item = item_of(dashboard_area_controls[i]);
        ASSERT_NE(item, nullptr);
        // Position and size are mapped separately, as the dialog manager does.
        RECT mapped{item->x, item->y, item->cx, item->cy};
        MapDialogRect(page, &mapped);
        RECT expected{mapped.left, mapped.top, mapped.left + mapped.right,
                      mapped.top + mapped.bottom};
        SCOPED_TRACE(item->id);
        EXPECT_TRUE(EqualRect(&expected, &view.areas[i]) != 0);
        EXPECT_GT(view.areas[i].right, view.areas[i].left);
    }
    EXPECT_EQ(dashboard_area_index(IDC_INDOOR_FRAME), -1);
}

TEST_F(DashboardPaint, CompassIsCentredOnTheDirectionAreaFromPictureOnesSize)
{
    const RECT a = area(IDC_DIRECTION);
    EXPECT_EQ(view.compass_size.cx, 160);
    EXPECT_EQ(view.compass_size.cy, 160);
    EXPECT_EQ(view.compass_position.x, a.left + (a.right - a.left) / 2 - 80 + 1);
    EXPECT_EQ(view.compass_position.y, a.top + (a.bottom - a.top) / 2 - 80 - 2);
    const RECT r = compass_picture_rect(view);
    EXPECT_EQ(r.right - r.left, 160);
    EXPECT_EQ(r.bottom - r.top, 160);

    // Without picture 1 there is no size to centre and nothing to invalidate.
    DeleteObject(view.compass[1]);
    view.compass[1] = nullptr;
    measure_dashboard_view(page, &view);
    EXPECT_EQ(view.compass_size.cx, 0);
    EXPECT_EQ(view.compass_position.x, a.left + (a.right - a.left) / 2 + 1);
}

// ---- frames ------------------------------------------------------------------------

TEST_F(DashboardPaint, FramesHaveTheirPanelColoursOnTheirEdges)
{
    struct Case {
        int id;
        COLORREF colour;
    } cases[] = {{IDC_INDOOR_FRAME, INDOOR}, {IDC_OUTDOOR_FRAME, GREY}, {IDC_WIND_FRAME, GREY},
                 {IDC_CHANNEL_FRAME, CHANNEL}, {IDC_RAIN_FRAME, GREY}, {IDC_INDEX_FRAME, GREY}};
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    paint(c);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.id);
        const RECT r = control(k.id);
        EXPECT_EQ(c.at(r.left, r.top + 30), k.colour) << "left edge";
        EXPECT_EQ(c.at(r.right - 1, r.top + 30), k.colour) << "right edge";
        EXPECT_EQ(c.at(r.left + 30, r.top), k.colour) << "top edge";
        // Rounded corners: the very corner pixel stays page.
        EXPECT_EQ(c.at(r.left, r.top), WHITE) << "corner";
        // No fill: the inside keeps what was there.
        EXPECT_EQ(c.at(r.left + 8, r.top + 8), WHITE) << "inside";
    }
}

TEST_F(DashboardPaint, BottomFramesReachThePageBottomAndDividersStay)
{
    // A page 120 pixels taller than its template.
    RECT cl = client();
    SetWindowPos(page, nullptr, 0, 0, cl.right, cl.bottom + 120, SWP_NOMOVE | SWP_NOZORDER);
    cl = client();
    Canvas c(cl.right, cl.bottom);
    paint(c);
    struct Case {
        int id;
        bool stretched;
        COLORREF colour;
    } cases[] = {{IDC_INDOOR_FRAME, false, INDOOR}, {IDC_OUTDOOR_FRAME, false, GREY},
                 {IDC_WIND_FRAME, false, GREY},     {IDC_CHANNEL_FRAME, true, CHANNEL},
                 {IDC_RAIN_FRAME, true, GREY},      {IDC_INDEX_FRAME, true, GREY}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.id);
        const RECT r = control(k.id);
        const int x = r.left + 30;
        if (k.stretched) {
            EXPECT_EQ(c.at(x, cl.bottom - 2), k.colour) << "bottom edge one above the page bottom";
            EXPECT_EQ(c.at(x, cl.bottom - 1), WHITE);
            EXPECT_EQ(c.at(x, r.bottom - 1), WHITE) << "template bottom left open";
        } else {
            EXPECT_EQ(c.at(x, r.bottom - 1), k.colour) << "template bottom kept";
        }
        // The divider stays in the middle of the template rectangle.
        const int y = r.top + (r.bottom - r.top) / 2 + 16;
        EXPECT_EQ(c.at(r.left + 20, y), k.colour) << "divider";
        EXPECT_EQ(c.at(r.left + 12, y), WHITE) << "divider starts at left + 16";
    }
}

TEST_F(DashboardPaint, DividersEndWhereEachPanelNeedsThem)
{
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    paint(c);
    auto y_of = [](const RECT &r) { return r.top + (r.bottom - r.top) / 2 + 16; };

    const RECT wind = control(IDC_WIND_FRAME);
    const int ww = wind.right - wind.left;
    EXPECT_EQ(c.at(wind.left + (2 * ww) / 5 - 1, y_of(wind)), GREY);
    EXPECT_EQ(c.at(wind.left + (2 * ww) / 5 + 2, y_of(wind)), WHITE) << "WIND line is short";

    const RECT index = control(IDC_INDEX_FRAME);
    const int iw = index.right - index.left;
    const int y = y_of(index);
    EXPECT_EQ(c.at(index.left + (2 * iw) / 5 + 39, y), GREY) << "first INDEX line";
    const int gap = index.left + (2 * iw) / 5 + 41;
    if (gap < index.left + (3 * iw) / 5 - 16) {
        EXPECT_EQ(c.at(gap, y), WHITE) << "gap between the INDEX lines";
    }
    EXPECT_EQ(c.at(index.left + (3 * iw) / 5 - 16, y), GREY) << "second INDEX line";
    EXPECT_EQ(c.at(index.right - 31, y), GREY);
    EXPECT_EQ(c.at(index.right - 29, y), WHITE);

    const RECT indoor = control(IDC_INDOOR_FRAME);
    EXPECT_EQ(c.at(indoor.right - 17, y_of(indoor)), INDOOR);
    EXPECT_EQ(c.at(indoor.right - 15, y_of(indoor)), WHITE);
}

TEST_F(DashboardPaint, SetupPageFramesHaveNoDividerAndAMissingControlDrawsNothing)
{
    // The setup page's frame ids on a page that has the control 1109.
    HWND frame = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | BS_GROUPBOX, 20, 20, 200, 100,
                                 page, reinterpret_cast<HMENU>(IDC_EXPORT_GROUP), nullptr, nullptr);
    ASSERT_NE(frame, nullptr);
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    c.fill(WHITE);
    draw_panel_frame(page, c.dc, IDC_EXPORT_GROUP, GREY);
    EXPECT_EQ(c.at(20, 50), GREY);
    EXPECT_EQ(c.at(60, 20 + 50 + 16), WHITE) << "no divider";
    EXPECT_EQ(c.at(60, cl.bottom - 2), GREY) << "1109 is a bottom frame";
    DestroyWindow(frame);

    c.fill(WHITE);
    draw_panel_frame(page, c.dc, 4242, GREY);
    EXPECT_EQ(c.count_other(cl, WHITE), 0);
}

// ---- values --------------------------------------------------------------------------

TEST_F(DashboardPaint, RecordValuesAppearInEveryArea)
{
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    paint(c, MARKER);
    for (int id : dashboard_area_controls) {
        SCOPED_TRACE(id);
        const RECT a = area(id);
        const RECT b = blanked(id);
        // The blank run wipes the old text, the value leaves grey-ish pixels.
        EXPECT_EQ(c.count_other(b, MARKER), (b.right - b.left) * (b.bottom - b.top));
        EXPECT_GT(c.count_other(a, WHITE), 0);
    }
}

TEST_F(DashboardPaint, EmptyTokensOfPressureWindAndUvDrawNothingOthersAPlaceholder)
{
    struct Case {
        int id;
        int token;
        bool drawn;
    } cases[] = {
        {IDC_PRESSURE, token::rel_pressure, false}, {IDC_WIND_SPEED, token::wind_speed, false},
        {IDC_GUST, token::wind_gust, false},    {IDC_UV, token::uv_index, false},
        {IDC_INDOOR_TEMP, token::indoor_temp, true},
        {IDC_INDOOR_HUMIDITY, token::indoor_humidity, true},
        {IDC_DAILY_RAIN, token::daily_rain, true},    {IDC_RAIN_RATE, token::rain_rate, true},
        {IDC_DIRECTION, token::wind_dir_point, true},
    };
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.id);
        decode_station_record(record, &values);
        set_slot(values, k.token, u"");
        paint(c, MARKER);
        const RECT a = area(k.id);
        const RECT b = blanked(k.id);
        const int untouched = (b.right - b.left) * (b.bottom - b.top) - c.count_other(b, MARKER);
        if (k.drawn)
            EXPECT_EQ(untouched, 0);
        else
            EXPECT_EQ(c.count_other(a, MARKER), 0) << "area keeps what it showed";
    }
}

TEST_F(DashboardPaint, ChannelAreasShowTheSelectedChannelsTokens)
{
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    view.channel = 3;
    paint(c);
    const auto temp3 = c.copy(area(IDC_CHANNEL_TEMP));
    const auto hum3 = c.copy(area(IDC_CHANNEL_HUMIDITY));

    // Other channels' tokens do not matter to channel 3.
    for (int n = 1; n <= 7; ++n)
        if (n != 3) {
            set_slot(values, 16 + 2 * n, u"88.8");
            set_slot(values, 17 + 2 * n, u"88");
        }
    paint(c);
    EXPECT_EQ(c.copy(area(IDC_CHANNEL_TEMP)), temp3);
    EXPECT_EQ(c.copy(area(IDC_CHANNEL_HUMIDITY)), hum3);

    // Its own do.
    set_slot(values, token::ch3_temp, u"88.8");
    set_slot(values, token::ch3_humidity, u"88");
    paint(c);
    EXPECT_NE(c.copy(area(IDC_CHANNEL_TEMP)), temp3);
    EXPECT_NE(c.copy(area(IDC_CHANNEL_HUMIDITY)), hum3);

    // Channel 1 shows tokens 18 and 19, which were set to 88.8 / 88 above.
    const auto own = c.copy(area(IDC_CHANNEL_TEMP));
    view.channel = 1;
    paint(c);
    EXPECT_EQ(c.copy(area(IDC_CHANNEL_TEMP)), own);

    // A channel out of 1 .. 7 must not read past the table: it shows channel 1.
    for (int bad : {0, 8, 40, -3}) {
        view.channel = bad;
        paint(c);
        EXPECT_EQ(c.copy(area(IDC_CHANNEL_TEMP)), own) << bad;
    }
}

TEST_F(DashboardPaint, AmpersandsAreShownAsSent)
{
    // As mnemonic prefixes "&&" would show as "&" and "&5" as an underlined 5.
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    set_slot(values, token::uv_index, u"&&");
    paint(c);
    const auto two = c.copy(area(IDC_UV));
    set_slot(values, token::uv_index, u"&");
    paint(c);
    EXPECT_NE(c.copy(area(IDC_UV)), two);
}

TEST_F(DashboardPaint, UnitLabelFollowsTheValueText)
{
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    const RECT a = area(IDC_INDOOR_HUMIDITY); // indoor humidity "45" then "%"
    paint(c);
    SIZE text{};
    HGDIOBJ old = SelectObject(c.dc, shared_drawing.fonts[FONT_VALUE]);
    GetTextExtentPoint32W(c.dc, L"45", 2, &text);
    SelectObject(c.dc, old);
    // The label starts 8 pixels after the text and a quarter of its height down.
    RECT label{a.left + text.cx + 8, a.top + text.cy / 4, a.left + text.cx + 30,
               a.top + text.cy / 4 + 20};
    EXPECT_GT(c.count_other(label, WHITE), 0);
    RECT gap{a.left + text.cx + 1, a.top, a.left + text.cx + 7, a.bottom};
    EXPECT_EQ(c.count_other(gap, WHITE), 0);
}

// ---- wind direction ----------------------------------------------------------------

TEST_F(DashboardPaint, CompassPictureFollowsTheDirectionAndLetsThePageThroughBlack)
{
    struct Case {
        const char *name;
        int style;
        int token;
        const char16_t *text;
        int picture;
    } cases[] = {
        {"points SW", 0, token::wind_dir_point, u"SW", 11},
        {"degrees 225", 1, token::wind_dir_degrees, u"225", 11},
        {"degrees 0", 1, token::wind_dir_degrees, u"0", 1},
        {"empty points", 0, token::wind_dir_point, u"", 0},
        {"empty degrees", 1, token::wind_dir_degrees, u"", 0},
        {"lower case", 0, token::wind_dir_point, u"sw", 0},
    };
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    const POINT p = view.compass_position;
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        units.direction_style = static_cast<std::uint8_t>(k.style);
        set_slot(values, k.token, k.text);
        paint(c, MARKER);
        EXPECT_EQ(c.at(p.x + 5, p.y + 5), picture_colour(k.picture));
        EXPECT_EQ(c.at(p.x + 159, p.y + 159), picture_colour(k.picture));
        EXPECT_EQ(c.at(p.x + 20, p.y + 20), MARKER) << "black is left out";
        EXPECT_EQ(c.at(p.x + 160, p.y + 159), MARKER) << "nothing past the picture";
    }
}

TEST_F(DashboardPaint, DrawTransparentLeavesThePictureUnchanged)
{
    Canvas c(200, 200);
    c.fill(MARKER);
    ASSERT_EQ(draw_transparent(c.dc, view.compass[4], 10, 10, RGB(0, 0, 0)), 1);
    EXPECT_EQ(c.at(10 + 25, 10 + 25), MARKER);
    // Copied plainly afterwards, the picture still has its black square.
    HDC src = CreateCompatibleDC(c.dc);
    HGDIOBJ old = SelectObject(src, view.compass[4]);
    BitBlt(c.dc, 0, 0, 160, 160, src, 0, 0, SRCCOPY);
    SelectObject(src, old);
    DeleteDC(src);
    EXPECT_EQ(c.at(25, 25), RGB(0, 0, 0));
    EXPECT_EQ(c.at(5, 5), picture_colour(4));

    EXPECT_EQ(draw_transparent(c.dc, nullptr, 0, 0, RGB(0, 0, 0)), 0);
}

TEST_F(DashboardPaint, MissingPicturesAreSkipped)
{
    for (HBITMAP &b : view.compass) {
        DeleteObject(b);
        b = nullptr;
    }
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    paint(c, MARKER);
    const POINT p = view.compass_position;
    EXPECT_EQ(c.at(p.x + 5, p.y + 5), MARKER);
    EXPECT_GT(c.count_other(area(IDC_DIRECTION), MARKER), 0) << "the text is still drawn";
}

TEST_F(DashboardPaint, DegreeSignOnlyInDegreesStyleWithoutDash)
{
    struct Case {
        const char *name;
        int style;
        int token;
        const char16_t *text;
        bool sign;
    } cases[] = {
        {"degrees 225", 1, token::wind_dir_degrees, u"225", true},
        {"degrees dashes", 1, token::wind_dir_degrees, u"---", false},
        {"degrees empty", 1, token::wind_dir_degrees, u"", false},
        {"points SW", 0, token::wind_dir_point, u"SW", false},
    };
    // Without the picture only the text and the sign are on the page.
    for (HBITMAP &b : view.compass) {
        DeleteObject(b);
        b = nullptr;
    }
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    const RECT a = area(IDC_DIRECTION);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        units.direction_style = static_cast<std::uint8_t>(k.style);
        set_slot(values, k.token, k.text);
        paint(c);
        const wchar_t *shown = k.text[0] ? reinterpret_cast<const wchar_t *>(k.text) : L"--";
        SIZE text{};
        HGDIOBJ old = SelectObject(c.dc, shared_drawing.fonts[FONT_DIRECTION]);
        GetTextExtentPoint32W(c.dc, shown, static_cast<int>(wcslen(shown)), &text);
        SelectObject(c.dc, old);
        const int x = a.left + (a.right - a.left) / 2 + text.cx / 2 + 2;
        RECT sign{x, a.top, x + 14, a.top + 14};
        if (k.sign)
            EXPECT_GT(c.count_other(sign, WHITE), 0);
        else
            EXPECT_EQ(c.count_other(sign, WHITE), 0);
    }
}

// ---- GDI hygiene -----------------------------------------------------------------------

// The index of the GDI handle the next new object gets. Freed handle slots
// are reused last-freed-first, so a paint that frees everything it makes
// leaves the next index as it found it, and a leaked object changes it.
WORD next_handle_index()
{
    HPEN probe = CreatePen(PS_SOLID, 1, GREY);
    const WORD index = LOWORD(reinterpret_cast<UINT_PTR>(probe));
    DeleteObject(probe);
    return index;
}

TEST_F(DashboardPaint, PaintingPutsBackEverySelectedObjectAndLeaksNone)
{
    const RECT cl = client();
    Canvas c(cl.right, cl.bottom);
    const HGDIOBJ font = GetCurrentObject(c.dc, OBJ_FONT);
    const HGDIOBJ pen = GetCurrentObject(c.dc, OBJ_PEN);
    const HGDIOBJ brush = GetCurrentObject(c.dc, OBJ_BRUSH);
    const HGDIOBJ bitmap = GetCurrentObject(c.dc, OBJ_BITMAP);
    units.direction_style = 1;
    paint(c); // the first paint may create cached objects of the system

    // The probe sees a leak where there is one.
    const WORD free_slot = next_handle_index();
    HPEN leaked = CreatePen(PS_SOLID, 1, GREY);
    EXPECT_NE(next_handle_index(), free_slot);
    DeleteObject(leaked);
    ASSERT_EQ(next_handle_index(), free_slot);

    const DWORD objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 5; ++i) {
        paint(c);
        EXPECT_EQ(next_handle_index(), free_slot) << "paint " << i;
    }
    // Zero where the count is not reported (Wine); exact on Windows.
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects);
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_FONT), font);
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_BITMAP), bitmap);

    // The EXPORT & SETUP page's frame call alone frees its pen too.
    draw_panel_frame(page, c.dc, IDC_INDOOR_FRAME, INDOOR);
    EXPECT_EQ(next_handle_index(), free_slot);
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_PEN), pen);
}

// ---- on screen -------------------------------------------------------------------------

TEST_F(DashboardPaint, ShownPagePaintsThroughItsWindowProcedure)
{
    // NIMBREL_HOLD_MS keeps the window up for a screenshot of the display.
    const char *hold = std::getenv("NIMBREL_HOLD_MS");
    units.direction_style = hold && std::strchr(hold, 'd') ? 1 : 0;
    view.channel = 3;
    for (HBITMAP &b : view.compass)
        DeleteObject(b);
    for (int i = 0; i < COMPASS_PICTURE_COUNT; ++i) {
        view.compass[i] = make_picture(i == 0 ? RGB(230, 230, 230) : RGB(120, 160, 230));
    }
    measure_dashboard_view(page, &view);
    for (const Item &item : items)
        if (item.style & WS_VISIBLE) {
            const bool title = item.cy <= 14;
            SendDlgItemMessageW(page, item.id, WM_SETFONT,
                                reinterpret_cast<WPARAM>(shared_drawing.fonts[title ? FONT_TITLE : FONT_LABEL]), 0);
        }
    shown_view = &view;
    RECT cl = client();
    SetWindowPos(host, nullptr, 0, 0, cl.right + 20, cl.bottom + 40, SWP_NOZORDER);
    SetWindowPos(page, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(page, SW_SHOW);
    ShowWindow(host, SW_SHOW);
    UpdateWindow(host);
    const DWORD until = GetTickCount() + (hold ? std::strtoul(hold, nullptr, 10) : 200);
    MSG msg;
    while (static_cast<long>(until - GetTickCount()) > 0) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(10);
    }
    // The window shows what the same view paints on a canvas, but for the
    // labels, which are windows of their own: both get them blacked out.
    Canvas expected(cl.right, cl.bottom), shown(cl.right, cl.bottom);
    paint(expected, shared_drawing.page_colour);
    HDC dc = GetDC(page);
    BitBlt(shown.dc, 0, 0, cl.right, cl.bottom, dc, 0, 0, SRCCOPY);
    ReleaseDC(page, dc);
    for (const Item &item : items)
        if (item.style & WS_VISIBLE)
            for (Canvas *c : {&expected, &shown}) {
                const RECT label = control(item.id);
                FillRect(c->dc, &label, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            }
    const std::vector<std::uint32_t> want = expected.copy(cl), got = shown.copy(cl);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < want.size(); ++i)
        differing += got[i] != want[i];
    EXPECT_EQ(differing, 0u) << "of " << want.size() << " pixels";
}

} // namespace
