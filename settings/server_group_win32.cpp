#include "settings/server_group_win32.h"

#include "ui/app_state.h"
#include "ui/languages_win32.h"
#include "live/dashboard_win32.h"
#include "resources/resource.h"
#include "settings/settings_store_win32.h"
#include "settings/upload_state.h"
#include "upload/service_table.h"
#include "station/link_state.h"
#include "station/messages.h"

namespace {

void show_status(HWND page, int status)
{
    const bool shown = status == 1 || status == 2;
    if (shown) {
        SendDlgItemMessageW(page, IDC_UPLOAD_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(status == 1 ? upload_ok_icon : upload_fail_icon), 0);
        SetDlgItemTextW(page, IDC_UPLOAD_TEXT, ui_text(status == 1 ? 35 : 36));
    }
    ShowWindow(GetDlgItem(page, IDC_UPLOAD_ICON), shown ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(page, IDC_UPLOAD_TEXT), shown ? SW_SHOW : SW_HIDE);
}

void enable_boxes(HWND page, bool enabled)
{
    EnableWindow(GetDlgItem(page, IDC_STATION_ID), enabled);
    EnableWindow(GetDlgItem(page, IDC_STATION_KEY), enabled);
}

void switch_service(HWND page)
{
    const LRESULT selection = SendDlgItemMessageW(page, IDC_SERVICE, CB_GETCURSEL, 0, 0);
    if (selection != 0 && selection != 1)
        return;
    upload_service = static_cast<int>(selection);
    server_group_load_credentials(page, false);
    const bool on = upload_state.auto_upload[upload_service] == 1;
    CheckDlgButton(page, IDC_AUTO_UPLOAD, on ? BST_CHECKED : BST_UNCHECKED);
    enable_boxes(page, !on);
    show_status(page, upload_state.upload_status[upload_service]);
    SetDlgItemTextW(page, IDC_STATION_ID_LABEL, ui_text(upload_service == 0 ? 29 : 31));
    SetDlgItemTextW(page, IDC_STATION_KEY_LABEL, ui_text(upload_service == 0 ? 30 : 32));
}

void switch_auto_upload(HWND page)
{
    const int service = upload_service == 1 ? 1 : 0;
    wchar_t id[64] = {}, key[64] = {};
    GetDlgItemTextW(page, IDC_STATION_ID, id, 64);
    GetDlgItemTextW(page, IDC_STATION_KEY, key, 64);
    if (!id[0] || !key[0]) {
        CheckDlgButton(page, IDC_AUTO_UPLOAD, BST_UNCHECKED);
        show_status(page, 0);
        upload_state.upload_status[service] = 0;
        return;
    }
    // Whatever was queued or is under way belongs to the switch's old state.
    ++upload_round[service];
    if (IsDlgButtonChecked(page, IDC_AUTO_UPLOAD) == BST_CHECKED) {
        upload_state.auto_upload[service] = 1;
        if (service == 0) {
            write_setting_id(id);
            write_setting_key(key);
        } else {
            write_setting_id1(id);
            write_setting_key1(key);
        }
        if (link_flags.connected == 1) {
            upload_state.upload_ok_count[service] = 0;
            SetTimer(page, service + 1, upload_status_period_ms, nullptr);
        }
        enable_boxes(page, false);
        return;
    }
    show_status(page, 0);
    enable_boxes(page, true);
    upload_state.upload_ok_count[service] = 0;
    KillTimer(page, service + 1);
    upload_state.auto_upload[service] = 0;
    upload_state.upload_status[service] = 0;
}

void upload_succeeded(HWND page, int service, WPARAM round)
{
    // A reply to a request from before a switch or a disconnect.
    if (upload_state.auto_upload[service] != 1 || round != upload_round[service])
        return;
    if (upload_state.upload_ok_count[service]++ != 0)
        return;
    upload_state.upload_status[service] = 1;
    if (service == upload_service)
        show_status(page, 1);
}

void status_tick(HWND page, int service)
{
    if (link_flags.connected != 1)
        return;
    if (upload_state.upload_ok_count[service] > 0) {
        upload_state.upload_status[service] = 1;
        upload_state.upload_ok_count[service] = 0;
    } else {
        upload_state.upload_status[service] = 2;
    }
    if (service == upload_service)
        show_status(page, upload_state.upload_status[service]);
}
} // namespace

UINT upload_status_period_ms = 600000;

void server_group_load_credentials(HWND page, bool keep_when_empty)
{
    wchar_t id[64] = {}, key[64] = {};
    if (upload_service == 0) {
        read_setting_id(id);
        read_setting_key(key);
    } else {
        read_setting_id1(id);
        read_setting_key1(key);
    }
    if (id[0] || !keep_when_empty)
        SetDlgItemTextW(page, IDC_STATION_ID, id);
    if (key[0] || !keep_when_empty)
        SetDlgItemTextW(page, IDC_STATION_KEY, key);
}

int server_group_message(HWND page, UINT msg, WPARAM wparam, LPARAM, INT_PTR *result)
{
    *result = TRUE;
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_SERVICE && HIWORD(wparam) == CBN_SELCHANGE) {
            switch_service(page);
            return 1;
        }
        if (LOWORD(wparam) == IDC_AUTO_UPLOAD) {
            switch_auto_upload(page);
            return 1;
        }
        return 0;
    case UM_WU_UPLOAD_OK:
        upload_succeeded(page, 0, wparam);
        return 1;
    case UM_WC_UPLOAD_OK:
        upload_succeeded(page, 1, wparam);
        return 1;
    case WM_TIMER:
        if (wparam != 1 && wparam != 2)
            return 0;
        status_tick(page, static_cast<int>(wparam) - 1);
        return 1;
    default:
        return 0;
    }
}

namespace {
// Set by the connect notice that started the timers, cleared at the
// disconnect: a second notice of the same connection must not restart
// them and lose their counts.
int timers_connected = 0;
} // namespace

void server_group_connected(HWND page)
{
    if (timers_connected)
        return;
    timers_connected = 1;
    for (int service = 0; service < UPLOAD_SERVICE_COUNT; ++service) {
        if (upload_state.auto_upload[service] != 1)
            continue;
        upload_state.upload_ok_count[service] = 0;
        SetTimer(page, service + 1, upload_status_period_ms, nullptr);
    }
}

void server_group_disconnected(HWND page)
{
    timers_connected = 0;
    ShowWindow(GetDlgItem(page, IDC_UPLOAD_ICON), SW_HIDE);
    ShowWindow(GetDlgItem(page, IDC_UPLOAD_TEXT), SW_HIDE);
    CheckDlgButton(page, IDC_AUTO_UPLOAD, BST_UNCHECKED);
    enable_boxes(page, true);
    for (int service = 0; service < UPLOAD_SERVICE_COUNT; ++service) {
        ++upload_round[service];
        upload_state.upload_ok_count[service] = 0;
        KillTimer(page, service + 1);
        upload_state.auto_upload[service] = 0;
        upload_state.upload_status[service] = 0;
    }
}
