// The tab bar: the DASHBOARD and EXPORT & SETUP tabs with their painted
// outline, the language chooser and the help button. Being the first page
// created, it also owns the drawing resources all pages share.
#include <windows.h>

#include "ui/app_state.h"
#include "ui/languages.h"
#include "ui/languages_win32.h"
#include "ui/pages_win32.h"
#include "ui/shared_drawing_win32.h"
#include "ui/shell_open_win32.h"
#include "app/shell_win32.h"
#include "resources/resource.h"
#include "station/messages.h"

namespace {
HBITMAP help_bitmap;
HBITMAP help_pressed_bitmap;
SIZE help_bitmap_size;

const COLORREF outline_grey = RGB(145, 145, 145);
const COLORREF tab_text = RGB(100, 100, 100);

void set_font(HWND dlg, int control, SharedFont font)
{
    SendDlgItemMessageW(dlg, control, WM_SETFONT,
                        reinterpret_cast<WPARAM>(shared_drawing.fonts[font]), TRUE);
}

// French and Spanish need the narrower bold face for "EXPORT & SETUP".
void label_tabs(HWND dlg)
{
    SetDlgItemTextW(dlg, IDC_TAB_DASHBOARD, ui_text(4));
    const bool narrow = language_index == 2 || language_index == 4;
    set_font(dlg, IDC_TAB_SETUP, narrow ? FONT_COMBO : FONT_TAB);
    SetDlgItemTextW(dlg, IDC_TAB_SETUP, ui_text(5));
}

void open_help_file(HWND dlg)
{
    wchar_t path[MAX_PATH] = {};
    const wchar_t name[] = L"Nimbrel_help.pdf";
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    wchar_t *slash = wcsrchr(path, L'\\');
    wchar_t *end = slash ? slash + 1 : path;
    if ((end - path) + static_cast<ptrdiff_t>(sizeof name / sizeof name[0]) > MAX_PATH)
        return;
    wcscpy(end, name);
    shell_open(dlg, L"open", path);
}

INT_PTR on_init(HWND dlg)
{
    create_shared_drawing();
    help_bitmap = LoadBitmapW(app_instance, MAKEINTRESOURCEW(IDB_HELP));
    help_pressed_bitmap = LoadBitmapW(app_instance, MAKEINTRESOURCEW(IDB_HELP_PRESSED));
    help_bitmap_size = bitmap_size(help_bitmap);

    set_font(dlg, IDC_TAB_DASHBOARD, FONT_TAB);
    set_font(dlg, IDC_TAB_SETUP, FONT_TAB);
    set_font(dlg, IDC_LANGUAGE, FONT_COMBO);
    for (int language = 0; language < LANGUAGE_COUNT; ++language)
        SendDlgItemMessageW(dlg, IDC_LANGUAGE, CB_INSERTSTRING, language,
                            reinterpret_cast<LPARAM>(language_text(language, 1)));
    SendDlgItemMessageW(dlg, IDC_LANGUAGE, CB_SETCURSEL, language_index, 0);
    label_tabs(dlg);
    return TRUE;
}

void change_language(HWND dlg)
{
    LRESULT selection = SendDlgItemMessageW(dlg, IDC_LANGUAGE, CB_GETCURSEL, 0, 0);
    // A notification without a selection (the list dropping down with
    // nothing picked) must not turn into an index outside the tables.
    if (selection < 0 || selection >= LANGUAGE_COUNT)
        return;
    language_index = static_cast<int>(selection);
    SendMessageW(tab_bar, UM_LANG_TABBAR, 0, 0);
    SendMessageW(dashboard_page, UM_LANG_DASHBOARD, 0, 0);
    SendMessageW(setup_page, UM_LANG_SETUP, 0, 0);
    SendMessageW(status_bar, UM_LANG_STATUSBAR, 0, 0);
}

INT_PTR on_command(HWND dlg, WPARAM wparam)
{
    switch (LOWORD(wparam)) {
    case IDC_TAB_DASHBOARD:
        SendMessageW(main_window, UM_SHOW_PAGE, PAGE_DASHBOARD, 0);
        break;
    case IDC_TAB_SETUP:
        SendMessageW(main_window, UM_SHOW_PAGE, PAGE_SETUP, 0);
        break;
    case IDC_LANGUAGE:
        change_language(dlg);
        break;
    case IDC_HELP_BUTTON:
        open_help_file(dlg);
        break;
    }
    return TRUE;
}

INT_PTR on_draw_item(const DRAWITEMSTRUCT *item)
{
    if (item->CtlID != IDC_HELP_BUTTON)
        return FALSE;
    HBITMAP face = (item->itemState & ODS_SELECTED) ? help_pressed_bitmap : help_bitmap;
    stretch_bitmap(item->hDC, face, help_bitmap_size, item->rcItem);
    return TRUE;
}

void line(HDC dc, int x0, int y0, int x1, int y1)
{
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

// The outline of the two tabs; the active tab's bottom is drawn in the page
// colour so that it opens into the page below.
INT_PTR on_paint(HWND dlg)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dlg, &ps);
    RECT client;
    GetClientRect(dlg, &client);
    const RECT setup_tab = child_rect(dlg, IDC_TAB_SETUP);
    const int separator = setup_tab.right - setup_tab.left;
    const int bottom = setup_tab.bottom;

    HPEN grey = CreatePen(PS_SOLID, 1, outline_grey);
    HPEN open = CreatePen(PS_SOLID, 1, shared_drawing.page_colour);
    HGDIOBJ old_pen = SelectObject(dc, grey);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(HOLLOW_BRUSH));

    line(dc, 0, 1, setup_tab.right, 1);
    line(dc, setup_tab.right, 1, setup_tab.right, bottom);
    line(dc, setup_tab.right, bottom, client.right, bottom);
    line(dc, separator, 1, separator, bottom);

    const bool dashboard_active = current_page != PAGE_SETUP;
    SelectObject(dc, dashboard_active ? grey : open);
    line(dc, separator, bottom, setup_tab.right, bottom);
    SelectObject(dc, dashboard_active ? open : grey);
    line(dc, separator, bottom, 0, bottom);

    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(grey);
    DeleteObject(open);
    EndPaint(dlg, &ps);
    return TRUE;
}

INT_PTR on_ctl_colour_static(HDC dc, HWND control)
{
    const int id = GetDlgCtrlID(control);
    if (id == IDC_TAB_DASHBOARD || id == IDC_TAB_SETUP) {
        const bool active = (id == IDC_TAB_DASHBOARD) == (current_page != PAGE_SETUP);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, tab_text);
        return active ? reinterpret_cast<INT_PTR>(shared_drawing.page_brush)
                      : reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    return page_background(dc);
}

INT_PTR on_language_changed(HWND dlg)
{
    label_tabs(dlg);
    InvalidateRect(GetDlgItem(dlg, IDC_TAB_DASHBOARD), nullptr, TRUE);
    InvalidateRect(GetDlgItem(dlg, IDC_TAB_SETUP), nullptr, TRUE);
    return TRUE;
}

INT_PTR on_destroy()
{
    if (help_bitmap)
        DeleteObject(help_bitmap);
    if (help_pressed_bitmap)
        DeleteObject(help_pressed_bitmap);
    help_bitmap = help_pressed_bitmap = nullptr;
    delete_shared_drawing();
    return TRUE;
}
} // namespace

INT_PTR CALLBACK tab_bar_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return on_init(dlg);
    case WM_COMMAND:
        return on_command(dlg, wparam);
    case WM_DRAWITEM:
        return on_draw_item(reinterpret_cast<const DRAWITEMSTRUCT *>(lparam));
    case WM_PAINT:
        return on_paint(dlg);
    case WM_CTLCOLORSTATIC:
        return on_ctl_colour_static(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_CTLCOLORDLG:
        return page_background(reinterpret_cast<HDC>(wparam));
    case UM_LANG_TABBAR:
        return on_language_changed(dlg);
    case WM_DESTROY:
        return on_destroy();
    default:
        return FALSE;
    }
}
