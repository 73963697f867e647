// The DASHBOARD page: the live readings, the channel and refresh buttons,
// the read-time stamp, and the receiver of the reader's notifications.
#pragma once
#include <windows.h>

#include "live/station_record.h"

// The dashboard's value table, reset by the main window on disconnection.
extern LiveValues dashboard_values;
// Upload status icons (FAIL, UPLOAD) loaded by the dashboard for the setup page.
extern HICON upload_fail_icon;
extern HICON upload_ok_icon;
