#include "ui/save_dialog_win32.h"

#include <commdlg.h>

SaveDialogFunction save_dialog_hook;

int ask_save_file_name(HWND owner, wchar_t *path, DWORD capacity)
{
    if (save_dialog_hook)
        return save_dialog_hook(owner, path, capacity);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"(*.csv)\0*.csv\0(*.xls)\0*.xls\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = capacity;
    dialog.lpstrDefExt = L"csv";
    dialog.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_NOREADONLYRETURN |
                   OFN_NONETWORKBUTTON | OFN_LONGNAMES;
    return GetSaveFileNameW(&dialog) ? 1 : 0;
}
