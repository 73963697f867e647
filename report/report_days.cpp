#include "report/report_days.h"

#include <cmath>
#include <cstdio>

#include "live/station_record.h"
#include "live/units.h"
#include "common/calendar.h"
#include "web/api.h"

namespace {

constexpr double PI = 3.14159265358979323846;

// A reading of a record, 0 when it is missing or not a number.
int reading(const LiveValues &values, int token, ReadingKind kind, double *out)
{
    const char16_t *text = values.slot[token];
    float v;
    if (!text[0] || is_missing_reading(kind, text) || !read_leading_float(text, &v) || !std::isfinite(v))
        return 0;
    *out = v;
    return 1;
}

void add_record(DaySummary *d, long long minutes, const std::string &text)
{
    LiveValues values;
    decode_station_record_n(text.c_str(), text.size(), &values);
    double v, direction;
    if (reading(values, token::outdoor_temp, ReadingKind::temperature, &v))
        stat_add(&d->temperature, v, minutes);
    if (reading(values, token::wind_speed, ReadingKind::wind_speed, &v)) {
        stat_add(&d->wind, v, minutes);
        if (reading(values, token::wind_dir_degrees, ReadingKind::direction, &direction)) {
            d->wind_east += v * std::sin(direction * PI / 180);
            d->wind_north += v * std::cos(direction * PI / 180);
        }
    }
    if (reading(values, token::wind_gust, ReadingKind::wind_speed, &v))
        stat_add(&d->gust, v, minutes);
    // The console's daily counter starts again at midnight: the day's
    // highest is what fell that day.
    if (reading(values, token::daily_rain, ReadingKind::rain_amount, &v) && (!d->have_rain || v > d->rain)) {
        d->rain = v;
        d->have_rain = 1;
    }
    ++d->records;
}

} // namespace

int report_days(Archive *archive, int year, int month, std::vector<DaySummary> *days, std::string *error)
{
    days->clear();
    const int last = month ? month : 12;
    const long long last_day = (seconds_from_civil({last == 12 ? year + 1 : year, last % 12 + 1, 1, 0, 0, 0}) -
                                seconds_from_civil({year, last, 1, 0, 0, 0})) / 86400;
    const long long from = seconds_from_civil({year, month ? month : 1, 1, 0, 0, 0}) / 60;
    const long long to = seconds_from_civil({year, last, static_cast<int>(last_day), 23, 59, 0}) / 60;
    ArchiveError failure;
    return archive_each(
        archive, from, to,
        [&](const ArchiveRecord &r) {
            const long long minutes = r.minute;
            const CivilTime t = civil_from_seconds(minutes * 60);
            // A clock set back over midnight brings a day back after the next.
            DaySummary *day = nullptr;
            for (auto d = days->rbegin(); d != days->rend() && !day; ++d)
                if (d->month == t.month && d->day == t.day)
                    day = &*d;
            if (!day) {
                days->push_back(empty_day(t.year, t.month, t.day));
                day = &days->back();
            }
            add_record(day, minutes, r.text);
            return 1;
        },
        &failure) ||
        (*error = failure.message, 0);
}
