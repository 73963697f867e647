// Dashboard painting. Texts and labels come from the unit rules shared with
// the export; this file only places them. Each draw selects its font, pen
// or brush, uses it and puts the previous one back at once, so a paint holds
// no GDI object afterwards.
#include "live/dashboard_paint_win32.h"

#include "ui/shared_drawing_win32.h"
#include "live/units.h"
#include "resources/resource.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UI text is UTF-16");

const int dashboard_area_controls[DASHBOARD_AREA_COUNT] = {
    IDC_INDOOR_TEMP, IDC_INDOOR_HUMIDITY, IDC_OUTDOOR_TEMP, IDC_OUTDOOR_HUMIDITY,
    IDC_WIND_SPEED,  IDC_GUST,            IDC_DIRECTION,    IDC_CHANNEL_TEMP,
    IDC_CHANNEL_HUMIDITY, IDC_DAILY_RAIN, IDC_RAIN_RATE,    IDC_PRESSURE,
    IDC_DEW_POINT,   IDC_UV,              IDC_HEAT_INDEX};

namespace {

constexpr COLORREF VALUE_COLOUR = RGB(145, 145, 145);
constexpr int DIRECTION_AREA = IDC_DIRECTION;
constexpr int UV_AREA = IDC_UV;
constexpr int UV_BLANK_RUN = 13;
constexpr int DIRECTION_BLANK_RUN = 49;
constexpr int UNIT_GAP = 8; // pixels between a value and its unit label

// Long enough for the longest blank run.
const wchar_t blanks[] = L"                                                  ";
static_assert(sizeof blanks / sizeof blanks[0] > DIRECTION_BLANK_RUN, "blank run fits");

// Token numbers that depend on the settings or the channel.
enum : int { PRESSURE = -1, CHANNEL_TEMP = -2, CHANNEL_HUMIDITY = -3 };

struct ValueArea {
    int control;
    int token;
    ReadingKind kind;
    int blank_run;
};

// The left-aligned values in the order they are painted.
const ValueArea value_areas[] = {
    {IDC_INDOOR_TEMP, token::indoor_temp, ReadingKind::temperature, 29},
    {IDC_OUTDOOR_TEMP, token::outdoor_temp, ReadingKind::temperature, 29},
    {IDC_CHANNEL_TEMP, CHANNEL_TEMP, ReadingKind::temperature, 29},
    {IDC_CHANNEL_HUMIDITY, CHANNEL_HUMIDITY, ReadingKind::humidity, 33},
    {IDC_DEW_POINT, token::dew_point, ReadingKind::temperature, 29},
    {IDC_HEAT_INDEX, token::heat_index, ReadingKind::temperature, 29},
    {IDC_PRESSURE, PRESSURE, ReadingKind::pressure, 29},
    {IDC_WIND_SPEED, token::wind_speed, ReadingKind::wind_speed, 29},
    {IDC_GUST, token::wind_gust, ReadingKind::wind_speed, 29},
    {IDC_DAILY_RAIN, token::daily_rain, ReadingKind::rain_amount, 29},
    {IDC_RAIN_RATE, token::rain_rate, ReadingKind::rain_rate, 32},
    {IDC_INDOOR_HUMIDITY, token::indoor_humidity, ReadingKind::humidity, 29},
    {IDC_OUTDOOR_HUMIDITY, token::outdoor_humidity, ReadingKind::humidity, 29},
};

struct Frame {
    int control;
    COLORREF colour;
};

const Frame frames[] = {
    {IDC_INDOOR_FRAME, RGB(19, 137, 114)},
    {IDC_OUTDOOR_FRAME, RGB(145, 145, 145)},
    {IDC_WIND_FRAME, RGB(145, 145, 145)},
    {IDC_RAIN_FRAME, RGB(145, 145, 145)},
    {IDC_INDEX_FRAME, RGB(145, 145, 145)},
    {IDC_CHANNEL_FRAME, RGB(209, 113, 42)},
};

const wchar_t *wide(const char16_t *text) { return reinterpret_cast<const wchar_t *>(text); }

int text_length(const wchar_t *text)
{
    int n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

// A control's rectangle in the page's client coordinates; 0 when the page
// has no such control.
int control_client_rect(HWND page, int control, RECT *rect)
{
    *rect = RECT{};
    HWND item = GetDlgItem(page, control);
    if (!item || !GetWindowRect(item, rect))
        return 0;
    MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT *>(rect), 2);
    return 1;
}

// Selects a shared font and the value colour; returns the font to put back
// (null when the font does not exist and nothing was selected).
HGDIOBJ select_text(HDC dc, SharedFont font)
{
    SetTextColor(dc, VALUE_COLOUR);
    return shared_drawing.fonts[font] ? SelectObject(dc, shared_drawing.fonts[font]) : nullptr;
}

void put_back(HDC dc, HGDIOBJ previous)
{
    if (previous)
        SelectObject(dc, previous);
}

// Blank run, then the text, in the same rectangle and the same way; an "&"
// from the console is shown as sent, not taken as a mnemonic.
void draw_over(HDC dc, const wchar_t *text, const RECT &area, int blank_run, UINT align)
{
    RECT r = area;
    DrawTextW(dc, blanks, blank_run, &r, align | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    r = area;
    DrawTextW(dc, text, text_length(text), &r, align | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

SIZE measure(HDC dc, const wchar_t *text)
{
    SIZE size{};
    GetTextExtentPoint32W(dc, text, text_length(text), &size);
    return size;
}

int channel_of(const DashboardView &view)
{
    return view.channel >= 1 && view.channel <= 7 ? view.channel : 1;
}

int token_of(const ValueArea &area, const DashboardView &view)
{
    switch (area.token) {
    case PRESSURE: return pressure_token(view.units->pressure_kind);
    case CHANNEL_TEMP: return 16 + 2 * channel_of(view);
    case CHANNEL_HUMIDITY: return 17 + 2 * channel_of(view);
    default: return area.token;
    }
}

const RECT &area_rect(const DashboardView &view, int control)
{
    return view.areas[dashboard_area_index(control)];
}

// The hidden area control carries the text painted over it, so that
// screen readers and automation can read what the page shows.
void describe(HWND page, int control, const wchar_t *text, const wchar_t *label)
{
    wchar_t shown[80];
    wsprintfW(shown, label[0] ? L"%s %s" : L"%s", text, label);
    wchar_t current[80] = {};
    HWND item = GetDlgItem(page, control);
    if (item && GetWindowTextW(item, current, 80) >= 0 && lstrcmpW(current, shown) != 0)
        SetWindowTextW(item, shown);
}

void paint_values(HWND page, HDC dc, const DashboardView &view)
{
    for (const ValueArea &area : value_areas) {
        const char16_t *token = view.values->slot[token_of(area, view)];
        FormattedText shown;
        // Pressure and wind speed without a token leave the area as it is.
        if (!dashboard_value_text(area.kind, token, *view.units, &shown))
            continue;
        const wchar_t *label = wide(value_label(area.kind, shown.text, *view.units));
        draw_value(dc, wide(shown.text), area_rect(view, area.control), area.blank_run, 0, label);
        describe(page, area.control, wide(shown.text), label);
    }
}

void paint_direction(HWND page, HDC dc, const DashboardView &view)
{
    const UnitSettings &units = *view.units;
    const char16_t *token = view.values->slot[direction_token(units.direction_style)];
    FormattedText shown;
    dashboard_value_text(ReadingKind::direction, token, units, &shown);
    // No token means no pointer; direction_index would read "--" as 0 degrees.
    const int index = token[0] != 0 ? direction_index(token, units.direction_style) : 0;
    draw_transparent(dc, view.compass[index], view.compass_position.x, view.compass_position.y,
                     RGB(0, 0, 0));

    const RECT &area = area_rect(view, DIRECTION_AREA);
    HGDIOBJ previous = select_text(dc, FONT_DIRECTION);
    draw_over(dc, wide(shown.text), area, DIRECTION_BLANK_RUN, DT_CENTER);
    const SIZE size = measure(dc, wide(shown.text));
    put_back(dc, previous);

    const wchar_t *label = wide(value_label(ReadingKind::direction, shown.text, units));
    describe(page, DIRECTION_AREA, wide(shown.text), label);
    if (label[0] == 0)
        return;
    previous = select_text(dc, FONT_UNIT);
    TextOutW(dc, area.left + (area.right - area.left) / 2 + size.cx / 2 + 2, area.top, label,
             text_length(label));
    put_back(dc, previous);
}

void paint_uv_index(HWND page, HDC dc, const DashboardView &view)
{
    FormattedText shown;
    if (!dashboard_value_text(ReadingKind::text, view.values->slot[token::uv_index], *view.units,
                              &shown))
        return;
    draw_value(dc, wide(shown.text), area_rect(view, UV_AREA), UV_BLANK_RUN, 1, L"");
    describe(page, UV_AREA, wide(shown.text), L"");
}

} // namespace

int dashboard_area_index(int control)
{
    for (int i = 0; i < DASHBOARD_AREA_COUNT; ++i)
        if (dashboard_area_controls[i] == control)
            return i;
    return -1;
}

void measure_dashboard_view(HWND page, DashboardView *view)
{
    for (int i = 0; i < DASHBOARD_AREA_COUNT; ++i)
        control_client_rect(page, dashboard_area_controls[i], &view->areas[i]);
    BITMAP bm{};
    view->compass_size = SIZE{};
    if (view->compass[1] && GetObjectW(view->compass[1], sizeof bm, &bm))
        view->compass_size = SIZE{bm.bmWidth, bm.bmHeight};
    const RECT &a = area_rect(*view, DIRECTION_AREA);
    view->compass_position.x = a.left + (a.right - a.left) / 2 - view->compass_size.cx / 2 + 1;
    view->compass_position.y = a.top + (a.bottom - a.top) / 2 - view->compass_size.cy / 2 - 2;
}

void paint_dashboard(HWND page, HDC dc, const DashboardView &view)
{
    for (const Frame &frame : frames)
        draw_panel_frame(page, dc, frame.control, frame.colour);
    if (!view.values || !view.units)
        return;
    paint_values(page, dc, view);
    paint_direction(page, dc, view);
    paint_uv_index(page, dc, view);
}

RECT compass_picture_rect(const DashboardView &view)
{
    const POINT p = view.compass_position;
    return RECT{p.x, p.y, p.x + view.compass_size.cx, p.y + view.compass_size.cy};
}

void draw_panel_frame(HWND page, HDC dc, int frame_control, COLORREF colour)
{
    RECT r;
    if (!control_client_rect(page, frame_control, &r))
        return;
    int frame_bottom = r.bottom;
    const int bottom_row = frame_control == IDC_CHANNEL_FRAME || frame_control == IDC_RAIN_FRAME ||
                           frame_control == IDC_INDEX_FRAME || frame_control == IDC_EXPORT_GROUP;
    RECT client;
    if (bottom_row && GetClientRect(page, &client) && client.bottom - r.bottom > 1)
        frame_bottom = client.bottom - 1;

    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    if (!pen)
        return;
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, r.left, r.top, r.right, frame_bottom, 8, 8);

    // Dividers stay at the template's middle even when the frame is stretched.
    const int y = r.top + (r.bottom - r.top) / 2 + 16;
    const int w = r.right - r.left;
    switch (frame_control) {
    case IDC_UNIT_GROUP: case IDC_SERVER_GROUP: case IDC_EXPORT_GROUP:
        break;
    case IDC_WIND_FRAME:
        MoveToEx(dc, r.left + 16, y, nullptr);
        LineTo(dc, r.left + (2 * w) / 5, y);
        break;
    case IDC_INDEX_FRAME:
        MoveToEx(dc, r.left + 16, y, nullptr);
        LineTo(dc, r.left + (2 * w) / 5 + 40, y);
        MoveToEx(dc, r.left + (3 * w) / 5 - 16, y, nullptr);
        LineTo(dc, r.right - 30, y);
        break;
    default:
        MoveToEx(dc, r.left + 16, y, nullptr);
        LineTo(dc, r.right - 16, y);
        break;
    }
    SelectObject(dc, old_brush);
    SelectObject(dc, old_pen);
    DeleteObject(pen);
}

void draw_value(HDC dc, const wchar_t *text, const RECT &area, int blank_run, int centred,
                const wchar_t *unit_label)
{
    if (blank_run < 0)
        blank_run = 0;
    if (blank_run > DIRECTION_BLANK_RUN)
        blank_run = DIRECTION_BLANK_RUN;
    HGDIOBJ previous = select_text(dc, FONT_VALUE);
    draw_over(dc, text, area, blank_run, centred ? DT_CENTER : DT_LEFT);
    const SIZE size = measure(dc, text);
    put_back(dc, previous);
    if (centred || unit_label == nullptr || unit_label[0] == 0)
        return;
    previous = select_text(dc, FONT_UNIT);
    TextOutW(dc, area.left + size.cx + UNIT_GAP, area.top + size.cy / 4, unit_label,
             text_length(unit_label));
    put_back(dc, previous);
}

int draw_transparent(HDC dc, HBITMAP picture, int x, int y, COLORREF transparent)
{
    BITMAP bm{};
    if (!picture || !GetObjectW(picture, sizeof bm, &bm))
        return 0;
    HDC source = CreateCompatibleDC(dc);
    if (!source)
        return 0;
    HGDIOBJ previous = SelectObject(source, picture);
    const BOOL drawn = TransparentBlt(dc, x, y, bm.bmWidth, bm.bmHeight, source, 0, 0,
                                      bm.bmWidth, bm.bmHeight, transparent);
    SelectObject(source, previous);
    DeleteDC(source);
    return drawn ? 1 : 0;
}
