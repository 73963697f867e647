// The "Last data read at" stamp: month, day, four-digit year, 24-hour time,
// "AM" up to hour 12 and "PM" after, e.g. "08/ 03/ 2026, 15:07 PM". Stored
// as "Data" and shown on the dashboard.
#pragma once

constexpr int READ_TIME_UNITS = 32;

void make_read_time_text(char16_t out[READ_TIME_UNITS], int year, int month, int day, int hour,
                         int minute);
