// The status bar: the console's logger value, the connection state, and
// the progress of a history download with the button that cancels it.
#include <windows.h>

#include "ui/languages_win32.h"
#include "ui/pages_win32.h"
#include "ui/shared_drawing_win32.h"
#include "ui/status_text.h"
#include "resources/resource.h"
#include "station/commands.h"
#include "station/link_state.h"
#include "station/messages.h"
#include "station/station_device_win32.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UI text is UTF-16");

StatusBarTexts status_bar_texts;

namespace {
RECT logger_area;
RECT progress_area;
const COLORREF status_grey = RGB(145, 145, 145);

void apply_texts(HWND dlg)
{
    SetDlgItemTextW(dlg, IDC_LOGGER_LABEL, ui_text(54));
    SetDlgItemTextW(dlg, IDC_CONNECTION_TEXT, ui_text(link_flags.connected == 1 ? 55 : 56));
}

void clear_progress(HWND dlg)
{
    status_bar_texts.progress[0] = 0;
    InvalidateRect(dlg, &progress_area, FALSE);
}

INT_PTR on_init(HWND dlg)
{
    logger_area = child_rect(dlg, IDC_LOGGER_AREA);
    progress_area = child_rect(dlg, IDC_PROGRESS_AREA);
    ShowWindow(GetDlgItem(dlg, IDC_CANCEL_DOWNLOAD), SW_HIDE);
    lstrcpynW(status_bar_texts.logger, L"Logger --%", 32);
    status_bar_texts.progress[0] = 0;
    apply_texts(dlg);
    return TRUE;
}

// The whole area first, in the opaque default background, to wipe the old
// text however long it was.
void draw_area(HDC dc, RECT area, const wchar_t *text, UINT align)
{
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &area, nullptr, 0, nullptr);
    DrawTextW(dc, text, -1, &area, align | DT_SINGLELINE | DT_VCENTER);
}

INT_PTR on_paint(HWND dlg)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dlg, &ps);
    HGDIOBJ old_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0)));
    SetTextColor(dc, status_grey);
    draw_area(dc, logger_area, status_bar_texts.logger, DT_RIGHT);
    draw_area(dc, progress_area, status_bar_texts.progress, DT_LEFT);
    SelectObject(dc, old_font);
    EndPaint(dlg, &ps);
    return TRUE;
}

INT_PTR on_ctl_colour_static(HDC dc, HWND control)
{
    const int id = GetDlgCtrlID(control);
    if (id == IDC_LOGGER_AREA || id == IDC_MEMORY_ICON || id == IDC_CONNECTION_TEXT ||
        id == IDC_LOGGER_LABEL)
        return transparent_text(dc, status_grey);
    return page_background(dc);
}

void cancel_download(HWND dlg)
{
    link_flags.history_cancel = 1;
    link_flags.export_cancel = 1;
    send_command(CMD_STOP_TRANSFER);
    ShowWindow(GetDlgItem(dlg, IDC_CANCEL_DOWNLOAD), SW_HIDE);
    clear_progress(dlg);
    link_flags.history_active = 0;
}

INT_PTR on_logger_text(HWND dlg, LPARAM lparam)
{
    const wchar_t *value = reinterpret_cast<const wchar_t *>(lparam);
    make_logger_text(reinterpret_cast<char16_t *>(status_bar_texts.logger),
                     value ? reinterpret_cast<const char16_t *>(value) : u"");
    InvalidateRect(dlg, &logger_area, FALSE);
    return TRUE;
}

INT_PTR on_history_progress(HWND dlg, LPARAM done)
{
    status_bar_texts.progress[0] = 0;
    if (link_flags.history_cancel == 0)
        make_progress_text(reinterpret_cast<char16_t *>(status_bar_texts.progress),
                           reinterpret_cast<const char16_t *>(ui_text(53)),
                           progress_percent(static_cast<long>(done), status_bar_texts.total));
    InvalidateRect(dlg, &progress_area, FALSE);
    return TRUE;
}
} // namespace

INT_PTR CALLBACK status_bar_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return on_init(dlg);
    case WM_PAINT:
        return on_paint(dlg);
    case WM_CTLCOLORSTATIC:
        return on_ctl_colour_static(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_CTLCOLORDLG:
        return page_background(reinterpret_cast<HDC>(wparam));
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_CANCEL_DOWNLOAD)
            cancel_download(dlg);
        return TRUE;
    case UM_LOGGER_TEXT:
        return on_logger_text(dlg, lparam);
    case UM_HISTORY_START:
        status_bar_texts.total = static_cast<long>(lparam);
        ShowWindow(GetDlgItem(dlg, IDC_CANCEL_DOWNLOAD), SW_SHOW);
        return TRUE;
    case UM_HISTORY_PROGRESS:
        return on_history_progress(dlg, lparam);
    case UM_HISTORY_END:
        ShowWindow(GetDlgItem(dlg, IDC_CANCEL_DOWNLOAD), SW_HIDE);
        clear_progress(dlg);
        return TRUE;
    case UM_LANG_STATUSBAR:
        apply_texts(dlg);
        return TRUE;
    default:
        return FALSE;
    }
}
