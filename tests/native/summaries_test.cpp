// The archive's hour and day summaries against a scan over the records, on
// real SQLite files: random archives with the repeated autumn hour, clock
// set-backs (some over midnight), gaps, missing readings and merges that
// land in the middle of what is kept; and an archive of the version before
// summaries, brought up to date.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "common/calendar.h"
#include "report/climate_report.h"
#include "report/report_days.h"
#include "web/archive_answers.h"

namespace {

struct TempFile {
    std::string path;
    TempFile()
    {
        char name[] = "/tmp/summaries_test_XXXXXX";
        close(mkstemp(name));
        path = name;
        std::remove(name);
    }
    ~TempFile()
    {
        for (const char *suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
    }
};

// A station record at a clock minute; `gone` blanks some readings.
std::string record_at(long long minute, std::mt19937 &random, double rain_counter)
{
    const CivilTime t = civil_from_minutes(minute);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    // Few distinct values, so that equal highs and lows are common.
    auto tenths = [&](int low, int high) {
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", pick(low, high) / 10.0);
        return std::string(text);
    };
    auto gone = [&](const std::string &value, const char *missing) {
        return pick(0, 9) == 0 ? std::string(missing) : value;
    };
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d %d:%02d", t.year, t.month, t.day, t.hour, t.minute);
    char rain[16];
    std::snprintf(rain, sizeof rain, "%.1f", rain_counter);
    return std::string("40 ") + date + " " + gone(tenths(180, 220), "--.-") + " " +
           gone(std::to_string(pick(40, 50)), "--") + " " + gone(tenths(-30, 30), "--.-") + " " +
           gone(std::to_string(pick(60, 99)), "--") + " " + gone(rain, "--.-") + " " +
           gone(tenths(0, 20), "--.-") + " " + gone(tenths(0, 40), "--.-") + " " +
           gone(tenths(0, 60), "--.-") + " " + gone(std::to_string(pick(0, 15) * 22), "---") +
           " W " + gone(tenths(10100, 10110), "----.-") + " " + gone(tenths(10060, 10070), "----.-") +
           " 1 " + gone(tenths(-50, 0), "--.-") +
           " 12.5 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 12.5 0.0 0.0 0.0";
}

// What a console would have logged from 2024-10-01 on, every 30 minutes,
// in the order it sent them: the autumn hour of 2024-10-27 twice, clocks
// set back now and then (some over midnight), stretches without records.
std::vector<std::string> random_download(std::mt19937 &random)
{
    auto chance = [&](int in) { return std::uniform_int_distribution<int>(0, in - 1)(random) == 0; };
    const long long autumn = days_from_civil(2024, 10, 27) * 1440 + 60;
    std::vector<std::string> out;
    double counter = 0;
    long long counter_day = 0;
    long long minute = days_from_civil(2024, 10, 1) * 1440;
    int repeated = 0;
    for (int i = 0; i < 2600; ++i) {
        if (minute / 1440 != counter_day) {
            counter_day = minute / 1440;
            counter = 0;
        }
        if (chance(4))
            counter += std::uniform_int_distribution<int>(1, 8)(random) / 10.0;
        if (!chance(15))  // a gap
            out.push_back(record_at(minute, random, counter));
        minute += 30;
        if (minute == autumn + 60 && !repeated++)
            minute = autumn;
        else if (chance(150))
            minute -= 30 * std::uniform_int_distribution<int>(1, 60)(random);
    }
    return out;
}

std::string series_answer(Archive *a, const char *from, const char *to, AnswerSource source)
{
    SeriesRequest request;
    std::string error;
    EXPECT_TRUE(parse_series_request(from, to, "", 0, 30, &request, &error)) << error;
    SeriesBuilder builder;
    UnitSettings units;
    units.pressure_kind = 1;
    series_start(&builder, request, units);
    ArchiveError failure;
    EXPECT_TRUE(series_from_archive(a, &builder, source, &failure)) << failure.message;
    return series_json(builder);
}

std::string summary_answer(Archive *a, const char *period, const char *date, AnswerSource source)
{
    SummaryRequest request;
    std::string error;
    EXPECT_TRUE(parse_summary_request(period, date, 0, &request, &error)) << error;
    SummaryBuilder builder;
    summary_start(&builder, request, UnitSettings{});
    ArchiveError failure;
    EXPECT_TRUE(summary_from_archive(a, &builder, source, &failure)) << failure.message;
    return summary_json(builder);
}

std::string report_answer(Archive *a, int year, int month, DaySource source)
{
    std::vector<DaySummary> days;
    std::string error, text;
    EXPECT_TRUE(report_days(a, year, month, &days, &error, source)) << error;
    climate_report(year, month, days, UnitSettings{}, &text);
    return text;
}

// Where two answers part, with a little of each around it; empty when
// they are the same (whole answers run to thousands of numbers).
std::string difference(const std::string &summaries, const std::string &records)
{
    if (summaries == records)
        return "";
    std::size_t at = 0;
    while (at < summaries.size() && at < records.size() && summaries[at] == records[at])
        ++at;
    const std::size_t from = at < 80 ? 0 : at - 80;
    return "at byte " + std::to_string(at) + ": summaries \"" + summaries.substr(from, 160) +
           "\"\n  records \"" + records.substr(from, 160) + "\"";
}

// Every answer the summaries give beside the same answer from the records.
void expect_summaries_match_records(Archive *a, const std::string &name)
{
    const struct {
        const char *from, *to;
    } series[] = {
        {"2024-10-01", "2024-12-31"},              // hour buckets from hours
        {"2024-10-02T07:13", "2024-11-18T16:41"},  // odd ends from records
        {"2024-01-01", "2026-12-31"},              // day buckets from days
        {"2024-01-01T05:00", "2026-12-31T10:30"},  // days, then hours, then records
        {"2024-10-26", "2024-10-28"},              // short: records only
    };
    for (const auto &q : series)
        EXPECT_EQ(difference(series_answer(a, q.from, q.to, AnswerSource::summaries),
                             series_answer(a, q.from, q.to, AnswerSource::records)), "")
            << name << ", series " << q.from << " to " << q.to;
    const struct {
        const char *period, *date;
    } summaries[] = {{"all", "2024-10-01"}, {"year", "2024-10-01"}, {"month", "2024-10-27"},
                     {"month", "2024-11-05"}, {"day", "2024-10-27"}, {"day", "2024-10-12"}};
    for (const auto &q : summaries)
        EXPECT_EQ(difference(summary_answer(a, q.period, q.date, AnswerSource::summaries),
                             summary_answer(a, q.period, q.date, AnswerSource::records)), "")
            << name << ", summary " << q.period << " " << q.date;
    for (int month : {0, 10, 11})
        EXPECT_EQ(difference(report_answer(a, 2024, month, DaySource::summaries),
                             report_answer(a, 2024, month, DaySource::records)), "")
            << name << ", report of month " << month;
}

} // namespace

TEST(Summaries, EqualAScanOverTheRecordsOfRandomArchives)
{
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 random(seed);
        const std::vector<std::string> download = random_download(random);
        TempFile file;
        Archive *a = nullptr;
        ArchiveError error;
        ASSERT_TRUE(archive_open(file.path, &a, &error)) << error.message;
        // The later half first, then all of it (the earlier half lands
        // before what is kept), then an imported copy that changes nothing.
        MergeCounts counts;
        const std::vector<std::string> later(download.begin() + download.size() / 2, download.end());
        EXPECT_TRUE(archive_merge(a, later, 0, &counts, &error)) << error.message;
        EXPECT_TRUE(archive_merge(a, download, 0, &counts, &error)) << error.message;
        EXPECT_TRUE(archive_merge(a, download, 1, &counts, &error)) << error.message;
        EXPECT_EQ(counts.added, 0);
        expect_summaries_match_records(a, "seed " + std::to_string(seed));
        archive_close(a);
    }
}

TEST(Summaries, AnArchiveOfTheVersionBeforeGetsThemFromItsRecords)
{
    std::mt19937 random(7);
    const std::vector<std::string> download = random_download(random);
    TempFile file;
    // The records as the version before kept them: merged by this program,
    // then its summaries taken away and the version put back.
    {
        Archive *a = nullptr;
        ArchiveError error;
        MergeCounts counts;
        ASSERT_TRUE(archive_open(file.path, &a, &error)) << error.message;
        ASSERT_TRUE(archive_merge(a, download, 0, &counts, &error)) << error.message;
        archive_close(a);
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(file.path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "DROP TABLE hour_summary; DROP TABLE day_summary; PRAGMA user_version = 2;",
                               nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    Archive *a = nullptr;
    ArchiveError error;
    ASSERT_TRUE(archive_open(file.path, &a, &error)) << error.message;
    long days = 0;
    EXPECT_TRUE(archive_each_period(a, 1440, ARCHIVE_FIRST, ARCHIVE_LAST,
                                    [&](long long, const PeriodSummary &) { return ++days, 1; },
                                    &error)) << error.message;
    EXPECT_GT(days, 40);
    expect_summaries_match_records(a, "brought up to date");
    archive_close(a);
}

// The console's clock set back over midnight sends the evening again after
// the morning: its rain counter must not count the evening's rain twice,
// nor the day come twice in the totals.
TEST(Summaries, AClockSetBackOverMidnightCountsTheRainOnce)
{
    auto at = [](const char *date, const char *time, const char *rain) {
        return std::string("40 ") + date + " " + time + " 21.0 45 5.0 80 " + rain +
               " 0.0 5.0 7.2 270 W 1013.2 1009.9 1 9.1 12.5 --.- -- --.- -- --.- -- --.- -- --.- --"
               " --.- -- --.- -- 12.5 0.0 0.0 0.0";
    };
    const std::vector<std::string> sent = {
        at("2024-10-01", "23:30", "5.0"), at("2024-10-02", "0:00", "0.5"),
        at("2024-10-01", "23:45", "5.2"), at("2024-10-02", "0:30", "1.0")};
    TempFile file;
    Archive *a = nullptr;
    ArchiveError error;
    MergeCounts counts;
    ASSERT_TRUE(archive_open(file.path, &a, &error)) << error.message;
    ASSERT_TRUE(archive_merge(a, sent, 0, &counts, &error)) << error.message;
    const struct {
        const char *period, *date, *rain;
    } cases[] = {
        {"all", "2024-10-01", "\"rain\":{\"total\":6.2,\"totals\":[{\"period\":\"2024\",\"total\":6.2}]}"},
        {"month", "2024-10-01",
         "\"rain\":{\"total\":6.2,\"totals\":[{\"period\":\"2024-10-01\",\"total\":5.2},"
         "{\"period\":\"2024-10-02\",\"total\":1.0}]}"},
        {"day", "2024-10-01", "\"rain\":{\"total\":5.2,"},
    };
    for (const auto &c : cases)
        for (AnswerSource source : {AnswerSource::records, AnswerSource::summaries}) {
            const std::string json = summary_answer(a, c.period, c.date, source);
            EXPECT_NE(json.find(c.rain), std::string::npos) << c.period << "\n" << json;
        }
    archive_close(a);
}

// Chart and summary numbers are written by hand for speed: they must read
// exactly as printf's, ties and negative zeros included.
TEST(Summaries, NumbersAreWrittenAsPrintfWritesThem)
{
    std::mt19937 random(11);
    std::vector<double> values = {0.25, 0.35, 0.05, -0.04, -0.05, -0.0, 0.0, 2.5, -2.5, 359.5, 999999.95,
                                  1e9, 3e10, -1e12, 1013.25, 12.349999, 12.35, -7.45};
    for (int i = 0; i < 20000; ++i)
        values.push_back(std::uniform_int_distribution<int>(-400000, 400000)(random) /
                         static_cast<double>(std::uniform_int_distribution<int>(1, 997)(random)));
    for (double v : values)
        for (ReadingKind kind : {ReadingKind::temperature, ReadingKind::humidity}) {
            char expected[64];
            std::snprintf(expected, sizeof expected, kind == ReadingKind::humidity ? "%.0f" : "%.1f", v);
            ASSERT_EQ(shown_number(kind, v, UnitSettings{}), expected) << v;
        }
}
