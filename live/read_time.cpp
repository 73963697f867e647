#include "live/read_time.h"

#include <cstdio>

void make_read_time_text(char16_t out[READ_TIME_UNITS], int year, int month, int day, int hour,
                         int minute)
{
    char text[80];
    std::snprintf(text, sizeof text, "%.2d/ %.2d/ %.2d, %.2d:%.2d %s", month, day, year, hour,
                  minute, hour <= 12 ? "AM" : "PM");
    int i = 0;
    for (; text[i] && i < READ_TIME_UNITS - 1; ++i)
        out[i] = static_cast<char16_t>(text[i]);
    out[i] = 0;
}
