// The simulated console on Windows: a thread that serves the virtual
// console on a message-mode named pipe, so that the program reaches it
// through the same CreateFileW flags, 65-byte reads and 9-byte writes as the
// HID interface. Reports go out as 65-byte messages and commands come in
// as 9-byte messages.
//
// "unplug" closes every pipe instance (a pending read of the program
// fails, and opening the path fails like an absent device) and sends the
// main window the WM_DEVICECHANGE removal notice a USB console would
// cause; "plug" opens a new instance and sends the arrival notice.
#pragma once
#include <windows.h>

#include <cstddef>

// Starts the console: the built-in weather when scenario_path is null,
// otherwise a replay of that scenario file. Writes the pipe path and points
// the station discovery at it (station_device_use_path). Returns 1, or 0
// with a message in error when the scenario cannot be read or is
// malformed, or the pipe cannot be made; nothing runs then.
// main_window receives the device notices; it may be null and set later.
int sim_console_start(const wchar_t *scenario_path, HWND main_window, wchar_t *pipe_path,
                      std::size_t pipe_capacity, wchar_t *error, std::size_t error_capacity);
void sim_console_set_window(HWND main_window);
// Ends the console thread and closes the pipe. Safe to call when not
// started; sent messages to the calling thread are handled while it waits.
void sim_console_stop();
