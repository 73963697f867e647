// Every message box of the program goes through here, so that tests can
// answer it instead of a user.
#pragma once
#include <windows.h>

using MessageBoxFunction = int (*)(HWND owner, const wchar_t *text, const wchar_t *caption,
                                   UINT type);

// Null shows real message boxes; a test installs its own function.
extern MessageBoxFunction message_box_hook;

int show_message(HWND owner, const wchar_t *text, const wchar_t *caption, UINT type);
