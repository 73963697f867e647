// The save dialog of the export goes through here, so that tests can answer
// it instead of a user.
#pragma once
#include <windows.h>

// Fills path (capacity wide characters, zeroed by the caller) and returns
// non-zero when the user saved; 0 when the dialog was cancelled or failed.
using SaveDialogFunction = int (*)(HWND owner, wchar_t *path, DWORD capacity);

// Null shows the real dialog; a test installs its own function.
extern SaveDialogFunction save_dialog_hook;

// The export file's dialog: "(*.csv)" and "(*.xls)" filters, default
// extension "csv", no overwrite prompt.
int ask_save_file_name(HWND owner, wchar_t *path, DWORD capacity);
