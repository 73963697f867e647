// Commands that need the PC clock or a pause between frames.
#pragma once
#include <windows.h>

// Sets the console's clock: reads the local time once, writes the date
// frame, waits 100 ms, writes the time frame. Returns the second write's
// result (non-zero on success). The window is not used.
int sync_station_clock(HWND window);

// The first words to a station just found: CMD_STOP_TRANSFER, 100 ms, then
// CMD_READ_LIVE. Results are not needed by anyone.
void send_connect_greeting();
