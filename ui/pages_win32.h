// Dialog procedures of the four child pages of the main window and the few
// operations one page performs on another.
#pragma once
#include <windows.h>

INT_PTR CALLBACK tab_bar_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK dashboard_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK setup_page_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK status_bar_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam);

// The EXPORT & SETUP page's part of a disconnection: upload state of both
// services off, status hidden, "Auto Upload" unticked, ID and key editable.
void setup_page_reset_on_disconnect(HWND page);

// What the status bar draws in its two text areas; read by tests.
struct StatusBarTexts {
    wchar_t logger[32];   // "Logger --%" until the first value arrives
    wchar_t progress[64]; // "Exporting 50% ...." during a download
    long total;           // pages announced by UM_HISTORY_START
};
extern StatusBarTexts status_bar_texts;
