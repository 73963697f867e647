// The application shell: published window handles, the main window and the
// start-up steps that tests can run in-process.
#pragma once
#include <windows.h>

// Published once on the interface thread; read by the pages and the reader.
extern HINSTANCE app_instance;
extern HWND main_window;
extern HWND tab_bar;
extern HWND dashboard_page;
extern HWND setup_page;
extern HWND status_bar;
extern int current_page; // PAGE_DASHBOARD or PAGE_SETUP

// Registers the "TARVO" class with icon 107; 1 on success.
int register_main_window_class(HINSTANCE instance);
// Reads "ls", installs the languages, creates and shows the 900 x 600
// main window (which creates the four pages), runs discovery and starts the
// upload worker. 0 when the window cannot be created.
int init_instance(HINSTANCE instance, int show);

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
