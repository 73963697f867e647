#include "report/report_days.h"

#include "archive/summaries.h"
#include "common/calendar.h"

namespace {

ReadingStat stat_of(const ReadingSums &r)
{
    return ReadingStat{r.min, r.max, r.sum, r.min_at, r.max_at, static_cast<long>(r.count)};
}

DaySummary day_of(long long start, const PeriodSummary &s)
{
    const CivilTime t = civil_from_minutes(start);
    DaySummary d = empty_day(t.year, t.month, t.day);
    d.temperature = stat_of(s.reading[SUM_OUTDOOR_TEMPERATURE]);
    d.wind = stat_of(s.reading[SUM_WIND_SPEED]);
    d.gust = stat_of(s.reading[SUM_WIND_GUST]);
    // The console's daily counter starts again at midnight: the day's
    // highest is what fell that day.
    d.have_rain = s.reading[SUM_DAILY_RAIN].count > 0;
    d.rain = d.have_rain ? s.reading[SUM_DAILY_RAIN].max : 0;
    d.wind_east = s.wind_east;
    d.wind_north = s.wind_north;
    d.records = static_cast<long>(s.records);
    return d;
}

// The days' summaries made from their records: each day's records into a
// summary of its own, whatever order the clock's set-backs sent them in.
int scan_days(Archive *archive, long long from, long long to, std::vector<DaySummary> *days,
              ArchiveError *failure)
{
    std::vector<std::pair<long long, PeriodSummary>> summaries;
    RecordReadings got;
    const int read = archive_each(archive, from, to, [&](const ArchiveRecord &r) {
        const long long start = day_of_minute(r.minute) * 1440;
        auto at = summaries.rbegin();
        while (at != summaries.rend() && at->first != start)
            ++at;
        if (at == summaries.rend()) {
            summaries.emplace_back(start, PeriodSummary{});
            period_summary_clear(&summaries.back().second);
            at = summaries.rbegin();
        }
        record_readings(r.text, r.length, &got);
        period_summary_add(&at->second, got, r.minute, 0);
        return 1;
    }, failure);
    for (const auto &s : summaries)
        days->push_back(day_of(s.first, s.second));
    return read;
}

} // namespace

int report_days(Archive *archive, int year, int month, std::vector<DaySummary> *days, std::string *error,
                DaySource source)
{
    days->clear();
    const int first = month ? month : 1, last = month ? month : 12;
    const long long from = days_from_civil(year, first, 1) * 1440;
    const long long to = days_from_civil(year, last, days_in_month(year, last)) * 1440 + 1439;
    ArchiveError failure;
    const int read = source == DaySource::records
                         ? scan_days(archive, from, to, days, &failure)
                         : archive_each_period(archive, 1440, from, to,
                                               [&](long long start, const PeriodSummary &s) {
                                                   days->push_back(day_of(start, s));
                                                   return 1;
                                               },
                                               &failure);
    if (!read)
        *error = failure.message;
    return read;
}
