#include "ui/shell_open_win32.h"

#include <shellapi.h>

ShellOpenFunction shell_open_hook;

void shell_open(HWND owner, const wchar_t *verb, const wchar_t *path)
{
    if (shell_open_hook) {
        shell_open_hook(owner, verb, path);
        return;
    }
    ShellExecuteW(owner, verb, path, L"", L"", SW_SHOW);
}
