// The EXPORT & SETUP page: unit choices, the weather-server group and the
// data-export group.
#include <windows.h>

#include <initializer_list>

#include "ui/app_state.h"
#include "ui/captions_win32.h"
#include "ui/languages_win32.h"
#include "ui/pages_win32.h"
#include "ui/shared_drawing_win32.h"
#include "ui/window_handles_win32.h"
#include "history/export_group_win32.h"
#include "live/dashboard_paint_win32.h"
#include "live/dashboard_win32.h"
#include "resources/resource.h"
#include "settings/server_group_win32.h"
#include "settings/settings_store_win32.h"
#include "settings/unit_settings.h"
#include "settings/upload_state.h"
#include "station/messages.h"

namespace {
static_assert(IDC_DIRECTION_STYLE == IDC_TEMP_UNIT + 5 && IDC_PRESSURE_KIND == IDC_TEMP_UNIT + 4,
              "one unit combo box per UnitSettings byte, in its order");
constexpr int date_edits[] = {IDC_START_YEAR, IDC_START_MONTH, IDC_START_DAY,
                              IDC_END_YEAR,   IDC_END_MONTH,   IDC_END_DAY};
constexpr int date_limits[] = {4, 2, 2, 4, 2, 2};

constexpr Caption captions[] = {
    {IDC_UNIT_HEADING, 23},        {IDC_SERVER_HEADING, 28},      {IDC_EXPORT_HEADING, 37},
    {IDC_TEMP_UNIT_LABEL, 8},      {IDC_RAIN_UNIT_LABEL, 14},     {IDC_PRESSURE_UNIT_LABEL, 25},
    {IDC_WIND_UNIT_LABEL, 26},     {IDC_PRESSURE_KIND_LABEL, 24}, {IDC_DIRECTION_STYLE_LABEL, 27},
    {IDC_PERIOD_HEADING, 38},      {IDC_START_LABEL, 39},         {IDC_END_LABEL, 40},
    {IDC_WHOLE_PERIOD, 42},        {IDC_DATA_SET_HEADING, 41},    {IDC_SET_PRESSURE, 43},
    {IDC_SET_INDOOR, 45},          {IDC_SET_OUTDOOR, 46},         {IDC_SET_RAIN, 44},
    {IDC_SET_UV, 20},              {IDC_SET_WIND, 48},            {IDC_SET_HEAT_INDEX, 22},
    {IDC_SET_DEW_POINT, 21},       {IDC_CHANNELS_LABEL, 47},      {IDC_VERSION_LABEL, 52},
    {IDC_AUTO_UPLOAD, 34},
};

// Select All, Clear All and Export: a bitmap per language and state.
constexpr int bitmap_buttons[3] = {IDC_SELECT_ALL, IDC_CLEAR_ALL, IDC_EXPORT};
constexpr int button_bitmaps[3][2][5] = {
    // English, German, French, Italian, Spanish
    {{170, 273, 267, 261, 237}, {171, 274, 268, 262, 238}},
    {{177, 275, 269, 263, 239}, {178, 276, 270, 264, 240}},
    {{175, 277, 271, 265, 241}, {176, 278, 272, 266, 242}},
};
HBITMAP button_faces[3][2][5];
SIZE button_face_size;

std::uint8_t *unit_field(int index)
{
    std::uint8_t *fields[] = {&unit_settings.temperature_unit, &unit_settings.rain_unit,
                              &unit_settings.pressure_unit,    &unit_settings.wind_unit,
                              &unit_settings.pressure_kind,    &unit_settings.direction_style};
    return fields[index];
}

void fill_unit_combos(HWND dlg)
{
    const wchar_t *items[6][4] = {
        {L"\u00B0C", L"\u00B0F"},
        {L"mm", L"in"},
        {L"hPa", L"mmHg", L"inHg"},
        {L"mph", L"m/s", L"km/h", L"knots"},
        {L"Abs", L"Rel"},
        {L"16", L"360\u00B0"},
    };
    for (int combo = 0; combo < 6; ++combo) {
        for (const wchar_t *item : items[combo])
            if (item)
                SendDlgItemMessageW(dlg, IDC_TEMP_UNIT + combo, CB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>(item));
    }
}

void select_unit_items(HWND dlg)
{
    for (int combo = 0; combo < 6; ++combo)
        SendDlgItemMessageW(dlg, IDC_TEMP_UNIT + combo, CB_SETCURSEL, *unit_field(combo), 0);
}

void make_read_only(HWND dlg, int combo)
{
    // The edit field of a drop-down combo is its first child.
    HWND edit = GetWindow(GetDlgItem(dlg, combo), GW_CHILD);
    if (edit)
        SendMessageW(edit, EM_SETREADONLY, TRUE, 0);
}

void apply_language(HWND dlg)
{
    apply_captions(dlg, captions, sizeof captions / sizeof captions[0]);
    SetDlgItemTextW(dlg, IDC_STATION_ID_LABEL, ui_text(upload_service == 0 ? 29 : 31));
    SetDlgItemTextW(dlg, IDC_STATION_KEY_LABEL, ui_text(upload_service == 0 ? 30 : 32));
    const int status = upload_state.upload_status[upload_service];
    if (status == 1 || status == 2)
        SetDlgItemTextW(dlg, IDC_UPLOAD_TEXT, ui_text(status == 1 ? 35 : 36));
}

void load_button_faces()
{
    for (int b = 0; b < 3; ++b)
        for (int state = 0; state < 2; ++state)
            for (int language = 0; language < 5; ++language)
                button_faces[b][state][language] = LoadBitmapW(
                    app_instance, MAKEINTRESOURCEW(button_bitmaps[b][state][language]));
    button_face_size = bitmap_size(button_faces[0][0][0]);
}

INT_PTR on_draw_item(const DRAWITEMSTRUCT *item)
{
    int b = 0;
    while (b < 3 && bitmap_buttons[b] != static_cast<int>(item->CtlID))
        ++b;
    if (b == 3)
        return FALSE;
    const int language = language_index >= 0 && language_index < 5 ? language_index : 0;
    HBITMAP face = button_faces[b][(item->itemState & ODS_SELECTED) ? 1 : 0][language];
    stretch_bitmap(item->hDC, face, button_face_size, item->rcItem);
    return TRUE;
}

INT_PTR on_language_changed(HWND dlg)
{
    apply_language(dlg);
    for (int button : bitmap_buttons)
        InvalidateRect(GetDlgItem(dlg, button), nullptr, FALSE);
    return TRUE;
}

INT_PTR on_init(HWND dlg)
{
    load_button_faces();
    for (int heading : {IDC_UNIT_HEADING, IDC_SERVER_HEADING, IDC_EXPORT_HEADING})
        SendDlgItemMessageW(dlg, heading, WM_SETFONT,
                            reinterpret_cast<WPARAM>(shared_drawing.fonts[FONT_TITLE]), FALSE);
    for (int heading : {IDC_PERIOD_HEADING, IDC_DATA_SET_HEADING})
        SendDlgItemMessageW(dlg, heading, WM_SETFONT,
                            reinterpret_cast<WPARAM>(shared_drawing.fonts[FONT_TAB]), FALSE);
    ShowWindow(GetDlgItem(dlg, IDC_UPLOAD_ICON), SW_HIDE);
    ShowWindow(GetDlgItem(dlg, IDC_UPLOAD_TEXT), SW_HIDE);
    for (int combo = IDC_TEMP_UNIT; combo < IDC_TEMP_UNIT + 6; ++combo)
        make_read_only(dlg, combo);
    make_read_only(dlg, IDC_SERVICE);

    SendDlgItemMessageW(dlg, IDC_SERVICE, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(L"Weather Underground"));
    SendDlgItemMessageW(dlg, IDC_SERVICE, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(L"Weathercloud"));
    SendDlgItemMessageW(dlg, IDC_SERVICE, CB_SETCURSEL, upload_service == 1 ? 1 : 0, 0);
    fill_unit_combos(dlg);

    SendDlgItemMessageW(dlg, IDC_STATION_ID, EM_SETLIMITTEXT, 64, 0);
    SendDlgItemMessageW(dlg, IDC_STATION_KEY, EM_SETLIMITTEXT, 64, 0);
    for (int i = 0; i < 6; ++i)
        SendDlgItemMessageW(dlg, date_edits[i], EM_SETLIMITTEXT, date_limits[i], 0);
    server_group_load_credentials(dlg, true);

    read_setting_unit(unit_settings);
    select_unit_items(dlg);
    apply_language(dlg);
    return TRUE;
}

INT_PTR on_command(HWND dlg, WPARAM wparam)
{
    if (export_group_command(dlg, wparam))
        return TRUE;
    const int id = LOWORD(wparam);
    if (id >= IDC_TEMP_UNIT && id < IDC_TEMP_UNIT + 6) {
        const LRESULT selection = SendDlgItemMessageW(dlg, id, CB_GETCURSEL, 0, 0);
        // A combo without a selection leaves the stored choice alone.
        if (selection >= 0)
            *unit_field(id - IDC_TEMP_UNIT) = static_cast<std::uint8_t>(selection);
        if (id == IDC_PRESSURE_KIND && selection >= 0)
            SetDlgItemTextW(dashboard_page, IDC_PRESSURE_LABEL,
                            selection == 0 ? L"Absolute Pressure" : L"Relative Pressure");
        return TRUE;
    }
    return TRUE;
}

INT_PTR on_ctl_colour_static(HDC dc, HWND control)
{
    const int id = GetDlgCtrlID(control);
    if (id == IDC_STATION_ID || id == IDC_STATION_KEY || !shared_drawing.page_brush)
        return FALSE;
    return transparent_text(dc, RGB(120, 120, 120));
}

// The three group frames are painted over their hidden group boxes.
INT_PTR on_paint(HWND dlg)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dlg, &ps);
    for (int frame : {IDC_UNIT_GROUP, IDC_SERVER_GROUP, IDC_EXPORT_GROUP})
        draw_panel_frame(dlg, dc, frame, RGB(145, 145, 145));
    EndPaint(dlg, &ps);
    return TRUE;
}

INT_PTR on_destroy(HWND dlg)
{
    for (auto &button : button_faces)
        for (auto &state : button)
            for (HBITMAP &face : state) {
                if (face)
                    DeleteObject(face);
                face = nullptr;
            }
    write_setting_unit(unit_settings);
    KillTimer(dlg, 1);
    KillTimer(dlg, 2);
    return TRUE;
}
} // namespace

void setup_page_reset_on_disconnect(HWND page)
{
    server_group_disconnected(page);
}

INT_PTR CALLBACK setup_page_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    INT_PTR result;
    if (server_group_message(dlg, msg, wparam, lparam, &result))
        return result;
    switch (msg) {
    case WM_INITDIALOG:
        return on_init(dlg);
    case WM_COMMAND:
        return on_command(dlg, wparam);
    case WM_PAINT:
        return on_paint(dlg);
    case WM_CTLCOLORSTATIC:
        return on_ctl_colour_static(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
        return page_background(reinterpret_cast<HDC>(wparam));
    case WM_DRAWITEM:
        return on_draw_item(reinterpret_cast<const DRAWITEMSTRUCT *>(lparam));
    case UM_LANG_SETUP:
        return on_language_changed(dlg);
    case WM_DESTROY:
        return on_destroy(dlg);
    default:
        return FALSE;
    }
}
