#include "web/archive_answers.h"

namespace {

long long floor_to(long long minute, long long step)
{
    return minute - ((minute % step) + step) % step;
}

// Records from..to into the chart, in the order they were sent.
int scan(Archive *archive, SeriesBuilder *b, long long from, long long to, ArchiveError *error)
{
    return from > to || archive_each(archive, from, to, [&](const ArchiveRecord &r) {
        series_add(b, WebRecord{r.minute, r.text});
        return 1;
    }, error);
}

int periods(Archive *archive, SeriesBuilder *b, int span, long long from, long long to,
            ArchiveError *error)
{
    return from > to || archive_each_period(archive, span, from, to,
                                            [&](long long start, const PeriodSummary &s) {
                                                series_add_period(b, start, s);
                                                return 1;
                                            },
                                            error);
}

} // namespace

int series_from_archive(Archive *archive, SeriesBuilder *b, AnswerSource source, ArchiveError *error)
{
    const SeriesRequest &r = b->request;
    // Whole days, so that the first bucket's rain is what fell in it rather
    // than since midnight, and the last one's does not hang on where it ends.
    const long long day_start = floor_to(r.from, 1440), day_end = floor_to(r.to, 1440) + 1439;
    // The whole hours inside the range, when each lies inside one bucket.
    const long long hours_from = floor_to(r.from + 59, 60), hours_end = floor_to(r.to + 1, 60);
    if (source == AnswerSource::records || r.bucket_minutes % 60 != 0 ||
        hours_end - hours_from < 2 * 1440)
        return scan(archive, b, day_start, day_end, error);
    b->summarised_from = hours_from;
    b->summarised_to = hours_end - 1;
    // Whole days too when buckets are whole days.
    long long days_from = hours_end, days_end = hours_end;
    if (r.bucket_minutes % 1440 == 0) {
        days_from = floor_to(hours_from + 1439, 1440);
        days_end = floor_to(hours_end, 1440);
    }
    // The minutes before the first whole hour and after the last come
    // from records; the rest of those days' records only feed the rain.
    return scan(archive, b, day_start, hours_from - 1, error) &&
           periods(archive, b, 60, hours_from, days_from - 1, error) &&
           periods(archive, b, 1440, days_from, days_end - 1, error) &&
           periods(archive, b, 60, days_end, hours_end - 1, error) &&
           scan(archive, b, floor_to(hours_end, 1440), day_end, error);
}

int summary_from_archive(Archive *archive, SummaryBuilder *b, AnswerSource source, ArchiveError *error)
{
    const SummaryRequest &r = b->request;
    if (source == AnswerSource::records)
        return archive_each(archive, r.from, r.to, [&](const ArchiveRecord &rec) {
            summary_add(b, WebRecord{rec.minute, rec.text});
            return 1;
        }, error);
    // Every period is whole days.
    return archive_each_period(archive, 1440, r.from, r.to,
                               [&](long long start, const PeriodSummary &s) {
                                   summary_add_day(b, start, s);
                                   return 1;
                               },
                               error);
}
