// The DATA EXPORT SETUP group of the EXPORT & SETUP page: Select All,
// Clear All, Whole period and Export with its checks and save dialog.
#pragma once
#include <windows.h>

// Handles a WM_COMMAND of the page meant for the export group; 1 when it
// was one of them.
int export_group_command(HWND page, WPARAM wparam);

// Reads the whole-period box, the six date fields and the data-set boxes of
// the page into the export request; shows the page's message and returns 0
// when a date is refused.
int check_export_request(HWND page);

// The save dialog and the name check; 1 when a name was stored in the
// export request. A cancelled dialog is silent.
int choose_export_file(HWND owner);
