// The program's windows, published once by the shell on the interface
// thread and read by the pages and the reader.
#pragma once
#include <windows.h>

extern HINSTANCE app_instance;
extern HWND main_window;
extern HWND tab_bar;
extern HWND dashboard_page;
extern HWND setup_page;
extern HWND status_bar;
extern int current_page; // PAGE_DASHBOARD or PAGE_SETUP
