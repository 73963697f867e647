// The application shell: the main window and the start-up steps that tests
// can run in-process; the windows it publishes.
#pragma once
#include <windows.h>

#include "ui/window_handles_win32.h"

// Registers the "TARVO" class with icon 107; 1 on success.
int register_main_window_class(HINSTANCE instance);
// Reads "ls", installs the languages, creates and shows the 900 x 600
// main window (which creates the four pages), runs discovery and starts the
// upload worker. 0 when the window cannot be created.
int init_instance(HINSTANCE instance, int show);

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
