// The reader thread: overlapped reads of 65-byte reports, handed to the
// portable report handler, whose replies and notifications it carries out.
#pragma once
#include <windows.h>

// Starts the reader for a connected station. Notifications go to the target
// window (the dashboard) and the status bar. At most one reader runs: a
// start while a reader is still ending waits for it first. Returns 1 when a
// reader runs, 0 when its event or thread could not be created.
int start_reader(HWND target_window, HWND status_bar);

// Sets reader_stop and wakes a waiting reader (shutdown and disconnect).
void stop_reader();

// Shutdown: stops the reader and waits (a few seconds at most, answering
// the messages it sends meanwhile) until it has ended, so that the device
// record can go. 1 when no reader runs any more.
int finish_reader();
