// The DASHBOARD page's dialog procedure. What it paints in its panels lives
// with the panel rendering; this file handles its controls and messages.
#include "live/dashboard_win32.h"

#include <cstring>
#include <initializer_list>

#include "ui/captions_win32.h"
#include "ui/languages_win32.h"
#include "ui/message_box_win32.h"
#include "ui/pages_win32.h"
#include "ui/shared_drawing_win32.h"
#include "ui/window_handles_win32.h"
#include "history/export_worker_win32.h"
#include "history/history_store.h"
#include "live/dashboard_paint_win32.h"
#include "live/read_time.h"
#include "live/units.h"
#include "resources/resource.h"
#include "settings/settings_store_win32.h"
#include "settings/unit_settings.h"
#include "station/commands.h"
#include "station/commands_win32.h"
#include "station/link_state.h"
#include "station/messages.h"
#include "station/station_device_win32.h"
#include "upload/request_win32.h"

LiveValues dashboard_values;
HICON upload_fail_icon;
HICON upload_ok_icon;

namespace {

constexpr int title_controls[] = {IDC_INDOOR_TITLE, IDC_OUTDOOR_TITLE, IDC_WIND_TITLE,
                                  IDC_CHANNEL_TITLE, IDC_RAIN_TITLE,   IDC_INDEX_TITLE};
constexpr int label_controls[] = {
    IDC_INDOOR_TEMP_LABEL,      IDC_INDOOR_HUMIDITY_LABEL, IDC_OUTDOOR_TEMP_LABEL,
    IDC_OUTDOOR_HUMIDITY_LABEL, IDC_WIND_SPEED_LABEL,      IDC_GUST_LABEL,
    IDC_DIRECTION_LABEL,        IDC_CHANNEL_TEMP_LABEL,    IDC_CHANNEL_HUMIDITY_LABEL,
    IDC_DAILY_RAIN_LABEL,       IDC_RAIN_RATE_LABEL,       IDC_PRESSURE_LABEL,
    IDC_DEW_POINT_LABEL,        IDC_UV_LABEL,              IDC_HEAT_INDEX_LABEL};
constexpr int value_text_controls[] = {
    IDC_INDOOR_TEMP, IDC_INDOOR_HUMIDITY, IDC_OUTDOOR_TEMP,     IDC_OUTDOOR_HUMIDITY,
    IDC_WIND_SPEED,  IDC_GUST,            IDC_DIRECTION,        IDC_CHANNEL_TEMP,
    IDC_CHANNEL_HUMIDITY, IDC_DAILY_RAIN, IDC_RAIN_RATE,        IDC_PRESSURE,
    IDC_DEW_POINT,   IDC_UV,              IDC_HEAT_INDEX,       IDC_READ_TIME_LABEL,
    IDC_READ_TIME};

constexpr Caption captions[] = {
    {IDC_INDOOR_TITLE, 6},            {IDC_INDOOR_TEMP_LABEL, 8},
    {IDC_OUTDOOR_TEMP_LABEL, 8},      {IDC_CHANNEL_TEMP_LABEL, 8},
    {IDC_INDOOR_HUMIDITY_LABEL, 9},   {IDC_OUTDOOR_HUMIDITY_LABEL, 9},
    {IDC_CHANNEL_HUMIDITY_LABEL, 9},  {IDC_OUTDOOR_TITLE, 7},
    {IDC_WIND_TITLE, 10},             {IDC_WIND_SPEED_LABEL, 11},
    {IDC_GUST_LABEL, 13},             {IDC_READ_TIME_LABEL, 58},
    {IDC_DIRECTION_LABEL, 12},        {IDC_RAIN_TITLE, 14},
    {IDC_DAILY_RAIN_LABEL, 15},       {IDC_RAIN_RATE_LABEL, 16},
    {IDC_INDEX_TITLE, 17},            {IDC_UV_LABEL, 20},
    {IDC_DEW_POINT_LABEL, 21},        {IDC_HEAT_INDEX_LABEL, 22},
};

int channel = 1;
DashboardView view;
HBITMAP refresh_bitmap;
HBITMAP refresh_pressed_bitmap;
SIZE refresh_size;

template <size_t N> bool contains(const int (&ids)[N], int id)
{
    for (int x : ids)
        if (x == id)
            return true;
    return false;
}

void apply_language(HWND dlg)
{
    apply_captions(dlg, captions, sizeof captions / sizeof captions[0]);
    SetDlgItemTextW(dlg, IDC_PRESSURE_LABEL,
                    ui_text(pressure_caption_key(unit_settings.pressure_kind)));
}

void invalidate_values(HWND dlg)
{
    for (const RECT &r : view.areas)
        InvalidateRect(dlg, &r, FALSE);
    const RECT picture = compass_picture_rect(view);
    InvalidateRect(dlg, &picture, FALSE);
}

void send_logger_text()
{
    SendMessageW(status_bar, UM_LOGGER_TEXT, 0,
                 reinterpret_cast<LPARAM>(dashboard_values.slot[token::logger_percent]));
}

INT_PTR on_init(HWND dlg)
{
    // The compass pictures live as long as the process.
    for (int i = 0; i < COMPASS_PICTURE_COUNT; ++i)
        if (!view.compass[i])
            view.compass[i] = LoadBitmapW(app_instance, MAKEINTRESOURCEW(IDB_COMPASS_FIRST + i));
    view.values = &dashboard_values;
    view.units = &unit_settings;
    view.channel = channel;
    measure_dashboard_view(dlg, &view);

    refresh_bitmap = LoadBitmapW(app_instance, MAKEINTRESOURCEW(IDB_REFRESH));
    refresh_pressed_bitmap = LoadBitmapW(app_instance, MAKEINTRESOURCEW(IDB_REFRESH_PRESSED));
    refresh_size = bitmap_size(refresh_bitmap);
    upload_fail_icon = LoadIconW(app_instance, MAKEINTRESOURCEW(IDI_UPLOAD_FAIL));
    upload_ok_icon = LoadIconW(app_instance, MAKEINTRESOURCEW(IDI_UPLOAD_OK));

    for (int id : title_controls)
        SendDlgItemMessageW(dlg, id, WM_SETFONT,
                            reinterpret_cast<WPARAM>(shared_drawing.fonts[FONT_TITLE]), FALSE);
    for (int id : label_controls)
        SendDlgItemMessageW(dlg, id, WM_SETFONT,
                            reinterpret_cast<WPARAM>(shared_drawing.fonts[FONT_LABEL]), FALSE);

    reset_live_values(&dashboard_values);
    wchar_t stamp[32] = {};
    read_setting_data(stamp);
    if (stamp[0]) {
        SetDlgItemTextW(dlg, IDC_READ_TIME, L"");
        SetDlgItemTextW(dlg, IDC_READ_TIME, stamp);
    }
    read_setting_unit(unit_settings);
    apply_language(dlg);
    return TRUE;
}

INT_PTR on_live_record(HWND dlg, LPARAM lparam)
{
    const char *record = reinterpret_cast<const char *>(lparam);
    if (!record)
        return TRUE;
    char text[256];
    std::memcpy(text, record, 255);
    text[255] = 0;
    decode_station_record(text, &dashboard_values);
    send_logger_text();
    invalidate_values(dlg);
    SendMessageW(dlg, UM_STAMP_READ_TIME, 0, 0);
    return TRUE;
}

INT_PTR on_stamp_read_time(HWND dlg)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[READ_TIME_UNITS];
    make_read_time_text(reinterpret_cast<char16_t *>(stamp), now.wYear, now.wMonth, now.wDay,
                        now.wHour, now.wMinute);
    SetDlgItemTextW(dlg, IDC_READ_TIME, L"");
    SetDlgItemTextW(dlg, IDC_READ_TIME, stamp);
    write_setting_data(stamp);
    return TRUE;
}

INT_PTR on_device_lost(HWND dlg)
{
    send_logger_text();
    link_flags.history_active = 0;
    invalidate_values(dlg);
    return TRUE;
}

INT_PTR on_export_done(HWND dlg, LPARAM result)
{
    if (result == EXPORT_FAILED) {
        link_flags.history_cancel = 1;
        SendMessageW(status_bar, UM_HISTORY_END, 0, 0);
        show_message(main_window, L"write file failed !", L"Error", MB_OK);
    } else {
        SendMessageW(dlg, UM_STAMP_READ_TIME, 0, 0);
        SendMessageW(status_bar, UM_HISTORY_END, 0, 0);
    }
    return TRUE;
}

INT_PTR on_history_complete(HWND dlg)
{
    // Cancelled before its file began: the cancel is the user's last word.
    if (link_flags.export_cancel == 1) {
        link_flags.history_complete = 0;
        link_flags.history_active = 0;
        SendMessageW(status_bar, UM_HISTORY_END, 0, 0);
        return TRUE;
    }
    // A download completed while a file is written is written after it.
    if (export_running() && defer_completion())
        return TRUE;
    // Export stays refused while this file is written, also when the
    // completion comes back from an earlier worker that cleared the flag.
    link_flags.history_active = 1;
    // Without a worker nobody would clear history_active, and Export would
    // stay refused for the rest of the run.
    if (!start_export_worker(reinterpret_cast<const wchar_t *>(export_request.file_name))) {
        SendMessageW(dlg, UM_EXPORT_DONE, 0, EXPORT_FAILED);
        link_flags.history_active = 0;
    }
    return TRUE;
}

void step_channel(HWND dlg, int step)
{
    const int next = channel + step;
    if (next < 1 || next > 7)
        return;
    channel = next;
    view.channel = channel;
    wchar_t title[16];
    wsprintfW(title, L"CH %d", channel);
    SetDlgItemTextW(dlg, IDC_CHANNEL_TITLE, title);
    for (int id : {IDC_CHANNEL_TEMP, IDC_CHANNEL_HUMIDITY})
        InvalidateRect(dlg, &view.areas[dashboard_area_index(id)], FALSE);
}

// The live record that answers leaves a running download alone.
void refresh(HWND dlg)
{
    if (link_flags.connected != 1) {
        show_message(dlg, L"the Usb Device is not ready!", L"Error", MB_OK);
        return;
    }
    if (!send_command(CMD_READ_LIVE))
        show_message(dlg, L" Send command Failed! ", L"Error", MB_OK);
}

INT_PTR on_command(HWND dlg, WPARAM wparam)
{
    switch (LOWORD(wparam)) {
    case IDC_CHANNEL_PREV:
        step_channel(dlg, -1);
        break;
    case IDC_CHANNEL_NEXT:
        step_channel(dlg, +1);
        break;
    case IDC_REFRESH:
        refresh(dlg);
        break;
    }
    return TRUE;
}

INT_PTR on_draw_item(const DRAWITEMSTRUCT *item)
{
    if (item->CtlID != IDC_REFRESH)
        return FALSE;
    HBITMAP face = (item->itemState & ODS_SELECTED) ? refresh_pressed_bitmap : refresh_bitmap;
    stretch_bitmap(item->hDC, face, refresh_size, item->rcItem);
    return TRUE;
}

INT_PTR on_paint(HWND dlg)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dlg, &ps);
    paint_dashboard(dlg, dc, view);
    EndPaint(dlg, &ps);
    return TRUE;
}

INT_PTR on_ctl_colour_static(HDC dc, HWND control)
{
    const int id = GetDlgCtrlID(control);
    if (shared_drawing.page_brush) {
        if (contains(title_controls, id))
            return transparent_text(dc, RGB(99, 99, 99));
        if (contains(label_controls, id))
            return transparent_text(dc, RGB(5, 93, 160));
        if (contains(value_text_controls, id))
            return transparent_text(dc, RGB(145, 145, 145));
    }
    return page_background(dc);
}

INT_PTR on_destroy()
{
    for (HBITMAP *bitmap : {&refresh_bitmap, &refresh_pressed_bitmap}) {
        if (*bitmap)
            DeleteObject(*bitmap);
        *bitmap = nullptr;
    }
    return TRUE;
}
} // namespace

INT_PTR CALLBACK dashboard_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return on_init(dlg);
    case WM_COMMAND:
        return on_command(dlg, wparam);
    case WM_PAINT:
        return on_paint(dlg);
    case WM_DRAWITEM:
        return on_draw_item(reinterpret_cast<const DRAWITEMSTRUCT *>(lparam));
    case WM_CTLCOLORSTATIC:
        return on_ctl_colour_static(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_CTLCOLORDLG:
        return page_background(reinterpret_cast<HDC>(wparam));
    case WM_DESTROY:
        return on_destroy();
    case UM_LIVE_RECORD:
        return on_live_record(dlg, lparam);
    case UM_DEVICE_LOST:
        return on_device_lost(dlg);
    case UM_EXPORT_DONE:
        return on_export_done(dlg, lparam);
    case UM_STAMP_READ_TIME:
        return on_stamp_read_time(dlg);
    case UM_HISTORY_COMPLETE:
        return on_history_complete(dlg);
    case UM_NO_HISTORY:
        show_message(main_window, L"Not history data NOW!", L"Note", MB_OK);
        return TRUE;
    case UM_WU_BODY:
        // Nothing goes back to the reader, whatever became of the body.
        post_upload_request(0, reinterpret_cast<const char *>(lparam));
        return TRUE;
    case UM_WC_BODY:
        post_upload_request(1, reinterpret_cast<const char *>(lparam));
        return TRUE;
    case UM_TIME_SYNC:
        sync_station_clock(dlg);
        return TRUE;
    case UM_LANG_DASHBOARD:
        apply_language(dlg);
        return TRUE;
    default:
        return FALSE;
    }
}
