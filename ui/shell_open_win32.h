// Opening a document with the shell (the help file), through one seam so
// that tests can see what would be opened instead of starting a viewer.
#pragma once
#include <windows.h>

using ShellOpenFunction = void (*)(HWND owner, const wchar_t *verb, const wchar_t *path);

// Null opens for real; a test installs its own function.
extern ShellOpenFunction shell_open_hook;

void shell_open(HWND owner, const wchar_t *verb, const wchar_t *path);
