// The main window: start-up, the four child pages, layout, page routing,
// connect and disconnect, shutdown.
#include "app/shell_win32.h"

#include <commctrl.h>
#include <dbt.h>

#include <cstdint>
#include <new>

#include "ui/app_state.h"
#include "ui/languages_win32.h"
#include "ui/pages_win32.h"
#include "history/export_worker_win32.h"
#include "live/dashboard_win32.h"
#include "resources/resource.h"
#include "settings/server_group_win32.h"
#include "settings/settings_layout.h"
#include "settings/settings_store_win32.h"
#include "station/commands_win32.h"
#include "station/link_state.h"
#include "station/messages.h"
#include "station/reader_win32.h"
#include "station/station_device_win32.h"
#include "upload/upload_worker_win32.h"

HINSTANCE app_instance;
HWND main_window;
HWND tab_bar;
HWND dashboard_page;
HWND setup_page;
HWND status_bar;
int current_page = PAGE_DASHBOARD;

static HDEVNOTIFY device_notices;
static wchar_t window_title[100];
static wchar_t window_class[100];

int register_main_window_class(HINSTANCE instance)
{
    LoadStringW(instance, IDS_APP_TITLE, window_title, 100);
    LoadStringW(instance, IDS_WINDOW_CLASS, window_class, 100);

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = main_window_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = window_class;
    return RegisterClassExW(&wc) != 0;
}

int init_instance(HINSTANCE instance, int show)
{
    app_instance = instance;

    std::uint8_t ls[4] = {};
    read_setting_ls(ls);
    parse_ls_setting(ls, language_index, upload_service);
    install_languages(instance);

    HWND hwnd = CreateWindowExW(0, window_class, window_title,
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                CW_USEDEFAULT, CW_USEDEFAULT, 900, 600, nullptr, nullptr,
                                instance, nullptr);
    if (!hwnd)
        return 0;
    main_window = hwnd;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);

    station_device = new (std::nothrow) StationDevice;
    if (station_device) {
        station_device_init(station_device);
        SendMessageW(hwnd, UM_DEVICE_STATE,
                     station_device_discover(station_device) ? DEVICE_FOUND : DEVICE_ABSENT, 0);
    }
    start_upload_worker();
    return 1;
}

// ---- message handlers ------------------------------------------------------

static HWND create_page(HWND parent, int template_id, DLGPROC proc, bool shown)
{
    HWND page = CreateDialogParamW(app_instance, MAKEINTRESOURCEW(template_id), parent, proc, 0);
    ShowWindow(page, shown ? SW_SHOW : SW_HIDE);
    UpdateWindow(page);
    return page;
}

static LRESULT on_create(HWND hwnd)
{
    main_window = hwnd;
    device_notices = register_device_notices(hwnd);
    tab_bar = create_page(hwnd, IDD_TABBAR, tab_bar_proc, true);
    dashboard_page = create_page(hwnd, IDD_DASHBOARD, dashboard_proc, true);
    setup_page = create_page(hwnd, IDD_SETUP, setup_page_proc, false);
    status_bar = create_page(hwnd, IDD_STATUSBAR, status_bar_proc, true);
    return 0;
}

static int window_height(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    return r.bottom - r.top;
}

static int client_height(HWND hwnd)
{
    RECT r;
    GetClientRect(hwnd, &r);
    return r.bottom;
}

static LRESULT on_size(HWND hwnd)
{
    RECT client;
    GetClientRect(hwnd, &client);
    const int width = client.right;
    const int tab_height = client_height(tab_bar);
    const int status_height = window_height(status_bar);
    const int page_height = client.bottom - tab_height - status_height;

    struct Placement {
        HWND child;
        int top, height;
    } const placements[] = {
        {tab_bar, 0, tab_height},
        {dashboard_page, tab_height, page_height},
        {setup_page, tab_height, page_height},
        {status_bar, client.bottom - status_height, status_height},
    };
    HDWP batch = BeginDeferWindowPos(4);
    for (const Placement &p : placements)
        if (batch && p.child)
            batch = DeferWindowPos(batch, p.child, nullptr, 0, p.top, width, p.height,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
    if (batch)
        EndDeferWindowPos(batch);
    for (const Placement &p : placements)
        if (p.child)
            MoveWindow(p.child, 0, p.top, width, p.height, TRUE);
    return 0;
}

static LRESULT on_show_page(WPARAM page)
{
    current_page = static_cast<int>(page);
    if (page == PAGE_DASHBOARD) {
        ShowWindow(setup_page, SW_HIDE);
        ShowWindow(dashboard_page, SW_SHOW);
        UpdateWindow(dashboard_page);
        InvalidateRect(tab_bar, nullptr, TRUE);
    } else if (page == PAGE_SETUP) {
        ShowWindow(dashboard_page, SW_HIDE);
        ShowWindow(setup_page, SW_SHOW);
        UpdateWindow(setup_page);
        InvalidateRect(tab_bar, nullptr, TRUE);
    }
    return 1;
}

static void show_connection(int key, int icon)
{
    SetDlgItemTextW(status_bar, IDC_CONNECTION_TEXT, ui_text(key));
    HICON handle = LoadIconW(app_instance, MAKEINTRESOURCEW(icon));
    SendDlgItemMessageW(status_bar, IDC_CONNECTION_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(handle), 0);
}

static LRESULT on_device_state(WPARAM state)
{
    if (state == DEVICE_FOUND) {
        show_connection(55, IDI_CONNECTED);
        link_flags.connected = 1;
        link_flags.history_cancel = 0;
        start_reader(dashboard_page, status_bar);
        send_connect_greeting();
        server_group_connected(setup_page);
    } else if (state == DEVICE_ABSENT) {
        link_flags.reader_stop = 1;
        link_flags.history_cancel = 1;
        show_connection(56, IDI_NOT_CONNECTED);
        reset_live_values(&dashboard_values);
        SendMessageW(dashboard_page, UM_DEVICE_LOST, 0, 0);
        link_flags.connected = 0;
        // A file being written stops too: history_cancel is set above.
        SendMessageW(status_bar, UM_HISTORY_END, 0, 0);
        setup_page_reset_on_disconnect(setup_page);
    }
    return 1;
}

// Reads an edit box of the setup page into a cleared 64-unit buffer: at
// most 63 characters are kept.
static void read_credential(int control, wchar_t text[64])
{
    ZeroMemory(text, 64 * sizeof(wchar_t));
    GetDlgItemTextW(setup_page, control, text, 64);
}

static LRESULT on_destroy()
{
    // A file being written is finished rather than left cut but looking whole.
    finish_export_worker();
    // The reader must be gone before the device record it reads is freed.
    const int reader_ended = finish_reader();
    if (station_device) {
        station_device_close(station_device);
        if (reader_ended) {
            delete station_device;
            station_device = nullptr;
        }
    }

    wchar_t id[64], key[64];
    read_credential(IDC_STATION_ID, id); // station ID box of the setup page
    read_credential(IDC_STATION_KEY, key); // station key box
    if (upload_service == 0) {
        if (id[0])
            write_setting_id(id);
        if (key[0])
            write_setting_key(key);
    } else {
        if (id[0])
            write_setting_id1(id);
        if (key[0])
            write_setting_key1(key);
    }
    std::uint8_t ls[4];
    serialise_ls_setting(language_index, upload_service, ls);
    write_setting_ls(ls);

    if (device_notices)
        UnregisterDeviceNotification(device_notices);
    device_notices = nullptr;
    PostQuitMessage(0);
    return 0;
}

static LRESULT on_paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_CREATE:
        return on_create(hwnd);
    case WM_DESTROY:
        return on_destroy();
    case WM_SIZE:
        return on_size(hwnd);
    case WM_PAINT:
        return on_paint(hwnd);
    case WM_ERASEBKGND:
        return 0;
    case WM_DEVICECHANGE:
        return handle_device_change(hwnd, wparam, lparam);
    case UM_DEVICE_STATE:
        return on_device_state(wparam);
    case UM_SHOW_PAGE:
        return on_show_page(wparam);
    default:
        return DefWindowProcW(hwnd, msg, wparam, lparam);
    }
}
