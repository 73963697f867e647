// Program entry of nimbrel.exe.
#include <windows.h>
#include <commctrl.h>

#include "app/shell_win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    // One copy at a time: a second one leaves silently.
    HANDLE single = CreateSemaphoreW(nullptr, 0, 1, L"Pelmar");
    if (single && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(single);
        return 0;
    }
    InitCommonControls();
    register_main_window_class(instance);
    if (!init_instance(instance, show))
        return 0;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
