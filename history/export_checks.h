// What an Export press must pass before a download starts: the period typed
// into the page's six date fields and the name chosen in the save dialog.
// The page's controls are read by the Win32 layer; the rules live here.
#pragma once
#include "history/history_store.h"

// The page's date fields in order: start year, month, day, end year, month,
// day. Each is read up to its field's limit of 4, 2, 2, 4, 2, 2 characters.
struct DateFields {
    const char16_t *text[6];
};

// A field's number: its text read as a decimal integer the way atoi does
// (white space, sign, digits; no digits give 0).
int field_number(const char16_t *text);

// Judges the period unless whole_period is 1 and fills the request as it
// goes: the whole-period flag always, the start text once the start date
// passed, the end text once the end date passed, the 15 data-set flags only
// when everything passed. Returns null when accepted, else the message to
// show ("Year input error !", "Month input error !", "Day input error !"),
// also when a field holds anything but digits.
const char16_t *check_export_fields(int whole_period, const DateFields &fields,
                                    const int data_set[15], ExportRequest &request);

// Longest path the export request holds.
constexpr int EXPORT_PATH_UNITS = 255;

// The message refusing a chosen path, or null when it is taken: the name
// must end in ".csv" or ".xls" (A-Z in any case) and fit the request.
const char16_t *check_export_file_name(const char16_t *path);
// Stores an accepted path in the request's zeroed file name.
void store_export_file_name(const char16_t *path, ExportRequest &request);
