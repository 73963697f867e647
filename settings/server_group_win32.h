// The WEATHER SERVER SETUP group of the EXPORT & SETUP page: the service in
// view with its ID and key, the "Auto Upload" switch, and the UPLOAD / FAIL
// status that the worker's success reports and a ten-minute timer per
// service make.
#pragma once
#include <windows.h>

// Puts the stored ID and key of the service in view into the boxes; with
// `keep_when_empty` an empty stored text leaves its box as it is.
void server_group_load_credentials(HWND page, bool keep_when_empty);

// Handles the group's messages: the service switch, "Auto Upload", the
// success reports and the status timers. 1 with *result set when handled.
int server_group_message(HWND page, UINT msg, WPARAM wparam, LPARAM lparam, INT_PTR *result);

// How long a status interval lasts: ten minutes; tests shorten it.
extern UINT upload_status_period_ms;

// At each connect: the status interval of every service switched on starts,
// also of one switched on while the console was absent.
void server_group_connected(HWND page);

// At a disconnect: both services off, their status hidden, their queued
// and unanswered uploads no longer counted.
void server_group_disconnected(HWND page);
