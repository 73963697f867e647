#include "station/commands_win32.h"

#include "station/commands.h"
#include "station/station_device_win32.h"

int sync_station_clock(HWND)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    const LocalTime time = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    std::uint8_t date_frame[FRAME_BYTES], time_frame[FRAME_BYTES];
    build_date_frame(time, date_frame);
    build_time_frame(time, time_frame);
    send_command(date_frame);
    Sleep(100);
    return send_command(time_frame);
}

void send_connect_greeting()
{
    send_command(CMD_STOP_TRANSFER);
    Sleep(100);
    send_command(CMD_READ_LIVE);
}
