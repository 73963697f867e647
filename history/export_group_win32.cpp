#include "history/export_group_win32.h"

#include "ui/message_box_win32.h"
#include "ui/save_dialog_win32.h"
#include "ui/window_handles_win32.h"
#include "history/export_checks.h"
#include "history/export_worker_win32.h"
#include "history/history_store.h"
#include "resources/resource.h"
#include "station/commands.h"
#include "station/link_state.h"
#include "station/station_device_win32.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UI text is UTF-16 here");

namespace {
constexpr int date_edits[6] = {IDC_START_YEAR, IDC_START_MONTH, IDC_START_DAY,
                               IDC_END_YEAR,   IDC_END_MONTH,   IDC_END_DAY};
// The data-set boxes in the order of the export request's flags.
constexpr int data_set_boxes[15] = {IDC_SET_PRESSURE, IDC_SET_INDOOR, IDC_SET_OUTDOOR,
                                    IDC_SET_RAIN,     IDC_SET_UV,     IDC_SET_WIND,
                                    IDC_SET_DEW_POINT, IDC_SET_HEAT_INDEX,
                                    IDC_SET_CH1, IDC_SET_CH2, IDC_SET_CH3, IDC_SET_CH4,
                                    IDC_SET_CH5, IDC_SET_CH6, IDC_SET_CH7};
constexpr int dialog_path_units = 1024;

const wchar_t *wide(const char16_t *text)
{
    return reinterpret_cast<const wchar_t *>(text);
}

void tick_data_sets(HWND page, UINT state)
{
    for (int box : data_set_boxes)
        CheckDlgButton(page, box, state);
}

void whole_period_changed(HWND page)
{
    const int whole = IsDlgButtonChecked(page, IDC_WHOLE_PERIOD) == BST_CHECKED;
    for (int edit : date_edits) {
        if (whole)
            SetDlgItemTextW(page, edit, L"");
        EnableWindow(GetDlgItem(page, edit), !whole);
    }
}

int export_busy()
{
    return link_flags.history_active == 1 || export_running() || link_flags.connected != 1;
}

// 1 while a press waits in its save dialog: a second press reaching the page
// through the dialog's message loop would open a second dialog on the same
// path buffer and send a second history request into the first download.
int choosing_file = 0;

void export_pressed(HWND page)
{
    if (export_busy() || choosing_file)
        return;
    choosing_file = 1;
    // The dialog answers messages: a download may have begun under it.
    const int chosen = check_export_request(page) && choose_export_file(page);
    choosing_file = 0;
    if (!chosen || export_busy())
        return;
    link_flags.history_cancel = 0;
    link_flags.export_cancel = 0;
    link_flags.history_requested = 1;
    clear_history_store(history_store);
    if (!send_command(CMD_READ_HISTORY))
        show_message(main_window, L"Command send failed !", L"Error", MB_OK);
}
} // namespace

int check_export_request(HWND page)
{
    wchar_t texts[6][8] = {};
    DateFields fields{};
    for (int i = 0; i < 6; ++i) {
        GetDlgItemTextW(page, date_edits[i], texts[i], 8);
        fields.text[i] = reinterpret_cast<const char16_t *>(texts[i]);
    }
    int data_set[15];
    for (int i = 0; i < 15; ++i)
        data_set[i] = IsDlgButtonChecked(page, data_set_boxes[i]) == BST_CHECKED;
    const int whole = IsDlgButtonChecked(page, IDC_WHOLE_PERIOD) == BST_CHECKED;
    const char16_t *message = check_export_fields(whole, fields, data_set, export_request);
    if (message == nullptr)
        return 1;
    show_message(page, wide(message), L"Error", MB_OK | MB_ICONERROR);
    return 0;
}

int choose_export_file(HWND owner)
{
    static wchar_t path[dialog_path_units];
    ZeroMemory(path, sizeof path);
    if (!ask_save_file_name(owner, path, dialog_path_units) || path[0] == 0)
        return 0;
    path[dialog_path_units - 1] = 0;
    const char16_t *name = reinterpret_cast<const char16_t *>(path);
    if (const char16_t *message = check_export_file_name(name)) {
        show_message(owner, wide(message), L"ERROR", MB_OK);
        return 0;
    }
    store_export_file_name(name, export_request);
    return 1;
}

int export_group_command(HWND page, WPARAM wparam)
{
    // A double click on an owner-drawn button must not start a second export.
    if (HIWORD(wparam) != BN_CLICKED)
        return 0;
    switch (LOWORD(wparam)) {
    case IDC_SELECT_ALL:
        tick_data_sets(page, BST_CHECKED);
        return 1;
    case IDC_CLEAR_ALL:
        tick_data_sets(page, BST_UNCHECKED);
        return 1;
    case IDC_WHOLE_PERIOD:
        whole_period_changed(page);
        return 1;
    case IDC_EXPORT:
        export_pressed(page);
        return 1;
    default:
        return 0;
    }
}
