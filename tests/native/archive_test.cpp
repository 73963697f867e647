// The archive on a real SQLite file: what merges keep, in which order the
// records come back, and what the summary says.
#include "archive/archive.h"

#include "cli/archive_export.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

std::string record(const char *date, const char *time, const char *outdoor = "12.5")
{
    return std::string("40 ") + date + " " + time + " 21.0 45 " + outdoor +
           " 80 0.0 0.0 5.0 7.2 270 W 1013.2 1009.9 1 9.1 12.5"
           " --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 12.5 0.0 0.0 0.0";
}

struct TempArchive {
    std::string path;
    Archive *a = nullptr;
    TempArchive()
    {
        char name[] = "/tmp/archive_test_XXXXXX";
        const int fd = mkstemp(name);
        close(fd);
        path = name;
        std::remove(path.c_str());
        ArchiveError error;
        EXPECT_TRUE(archive_open(path, &a, &error)) << error.message;
    }
    ~TempArchive()
    {
        archive_close(a);
        for (const char *suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
    }
    // Every record's time and text, in the order the archive gives them.
    std::vector<std::pair<long long, std::string>> all()
    {
        std::vector<std::pair<long long, std::string>> out;
        ArchiveError error;
        EXPECT_TRUE(archive_each(a, ARCHIVE_FIRST, ARCHIVE_LAST, [&](const ArchiveRecord &r) {
            out.emplace_back(r.minute, std::string(r.text, r.length));
            return 1;
        }, &error)) << error.message;
        return out;
    }
};

// Autumn: the hour from 01:00 repeats; the console sends it twice in a row.
const std::vector<std::string> autumn = {
    record("2024-10-27", "00:55"), record("2024-10-27", "01:00", "9.0"),
    record("2024-10-27", "01:30", "9.1"), record("2024-10-27", "01:00", "8.0"),
    record("2024-10-27", "01:30", "8.1"), record("2024-10-27", "02:00")};

struct MergeStep {
    std::vector<std::string> texts;
    int imported;
    MergeCounts expected;
};

struct MergeCase {
    const char *name;
    std::vector<MergeStep> steps;
    std::vector<std::string> expected_texts;  // in the order the archive gives them back
};

TEST(Archive, MergeKeepsEveryRecordOnceInSendingOrder)
{
    const std::string a = record("2024-05-01", "10:00"), b = record("2024-05-01", "10:05"),
                      c = record("2024-05-01", "10:10"), d = record("2024-05-01", "10:15");
    const std::string b_other = record("2024-05-01", "10:05", "99.9");
    const std::string b_imported = record("2024-05-01", "10:05", "12.4");
    const std::vector<MergeCase> cases = {
        {"the same download twice adds nothing the second time",
         {{{a, b, c}, 0, {3, 0, 0, 0, 0}}, {{a, b, c}, 0, {0, 3, 0, 0, 0}}},
         {a, b, c}},
        {"a memory that moved on gives the union",
         {{{a, b, c}, 0, {3, 0, 0, 0, 0}}, {{c, d}, 0, {1, 1, 0, 0, 0}}},
         {a, b, c, d}},
        {"other content at a known time keeps the first",
         {{{a, b}, 0, {2, 0, 0, 0, 0}}, {{b_other, c}, 0, {1, 0, 1, 0, 0}}},
         {a, b, c}},
        {"records that cannot be read are kept out and counted",
         {{{a, "", "40 2024-13-01 10:00 1", "40 2024-05-01 25:00 1", "garbage", b}, 0,
           {2, 0, 0, 4, 0}}},
         {a, b}},
        {"a console record replaces an imported one, never the other way",
         {{{b_imported, c}, 1, {2, 0, 0, 0, 0}},
          {{a, b}, 0, {1, 0, 0, 0, 1}},
          {{b_imported}, 1, {0, 1, 0, 0, 0}}},
         {a, b, c}},
        {"both autumn hours are kept, in the order they were sent",
         {{autumn, 0, {6, 0, 0, 0, 0}}, {autumn, 0, {0, 6, 0, 0, 0}}},
         autumn},
        {"a memory that now starts inside the repeated hour still matches",
         {{autumn, 0, {6, 0, 0, 0, 0}},
          {{autumn[4], autumn[5], record("2024-10-27", "02:30")}, 0, {1, 2, 0, 0, 0}}},
         {autumn[0], autumn[1], autumn[2], autumn[3], autumn[4], autumn[5],
          record("2024-10-27", "02:30")}},
        {"a download cut inside the repeated hour is completed by the next",
         {{{autumn[0], autumn[1], autumn[2], autumn[3]}, 0, {4, 0, 0, 0, 0}},
          {{autumn[3], autumn[4], autumn[5]}, 0, {2, 1, 0, 0, 0}}},
         autumn},
    };
    for (const MergeCase &c : cases) {
        SCOPED_TRACE(c.name);
        TempArchive t;
        for (const MergeStep &step : c.steps) {
            MergeCounts got;
            ArchiveError error;
            ASSERT_TRUE(archive_merge(t.a, step.texts, step.imported, &got, &error)) << error.message;
            EXPECT_EQ(got.added, step.expected.added);
            EXPECT_EQ(got.already, step.expected.already);
            EXPECT_EQ(got.conflicting, step.expected.conflicting);
            EXPECT_EQ(got.undecodable, step.expected.undecodable);
            EXPECT_EQ(got.replaced, step.expected.replaced);
        }
        std::vector<std::string> texts;
        for (const auto &r : t.all())
            texts.push_back(r.second);
        EXPECT_EQ(texts, c.expected_texts);
    }
}

TEST(Archive, PeriodFindsEveryRecordOfItsTimes)
{
    TempArchive t;
    MergeCounts counts;
    ArchiveError error;
    std::vector<std::string> texts = autumn;
    // A clock set back by a day: its records belong to the day they name.
    texts.push_back(record("2024-10-28", "09:00"));
    texts.push_back(record("2024-10-27", "09:00"));
    ASSERT_TRUE(archive_merge(t.a, texts, 0, &counts, &error)) << error.message;
    struct Case {
        const char *from, *to;
        std::vector<std::string> times;  // time and repeat
    };
    const Case cases[] = {
        {"2024-10-27 01:00", "2024-10-27 01:30",
         {"2024-10-27 01:00/0", "2024-10-27 01:30/0", "2024-10-27 01:00/1", "2024-10-27 01:30/1"}},
        {"2024-10-27 01:30", "2024-10-27 01:30", {"2024-10-27 01:30/0", "2024-10-27 01:30/1"}},
        {"2024-10-27", "2024-10-27",
         {"2024-10-27 00:55/0", "2024-10-27 01:00/0", "2024-10-27 01:30/0", "2024-10-27 01:00/1",
          "2024-10-27 01:30/1", "2024-10-27 02:00/0", "2024-10-27 09:00/0"}},
        {"2024-10-28", "", {"2024-10-28 09:00/0"}},
        {"", "2024-10-26", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.from) + " .. " + c.to);
        std::vector<std::string> got;
        long long from = ARCHIVE_FIRST, to = ARCHIVE_LAST;
        ASSERT_TRUE(!*c.from || archive_bound(c.from, 0, &from));
        ASSERT_TRUE(!*c.to || archive_bound(c.to, 1, &to));
        ASSERT_TRUE(archive_each(t.a, from, to, [&](const ArchiveRecord &r) {
            got.push_back(archive_time_text(r.minute) + "/" + std::to_string(r.repeat));
            return 1;
        }, &error)) << error.message;
        EXPECT_EQ(got, c.times);
    }
}

// A record at a clock reading counted in minutes since 1970, its outdoor
// temperature telling it apart from every other.
std::string record_at(long long minute, int serial)
{
    const std::time_t seconds = static_cast<std::time_t>(minute * 60);
    std::tm t{};
    gmtime_r(&seconds, &t);
    char date[16], time[8], outdoor[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &t);
    std::strftime(time, sizeof time, "%H:%M", &t);
    std::snprintf(outdoor, sizeof outdoor, "%d.%d", serial / 10 % 1000, serial % 10);
    return record(date, time, outdoor);
}

// A console whose clock was set back many times, by minutes to days, some
// set-backs landing inside the stretch an earlier one repeated; its memory
// caught up in overlapping windows as daily catch-ups see it, and once
// whole. Every read gives the records in the order they were sent.
TEST(Archive, RecordsComeBackInSendingOrderAfterManySetBacks)
{
    std::mt19937 random(31);
    std::vector<std::string> sent;
    std::vector<long long> minutes;
    long long clock = 28000000;  // 2023
    int setbacks = 0;
    for (int i = 0; i < 6000; ++i) {
        if (i > 0 && random() % 140 == 0) {
            static const long long back[] = {5, 10, 30, 60, 65, 120, 600, 1440, 2880};
            clock -= back[random() % 9];
            ++setbacks;
        }
        minutes.push_back(clock);
        sent.push_back(record_at(clock, i));
        clock += 5;
    }
    ASSERT_GE(setbacks, 30);
    for (int whole = 0; whole < 2; ++whole) {
        SCOPED_TRACE(whole ? "one merge" : "overlapping catch-ups");
        TempArchive t;
        const std::size_t memory = whole ? sent.size() : 2000, step = whole ? sent.size() : 700;
        for (std::size_t start = 0; start < sent.size(); start += step) {
            const std::size_t end = std::min(sent.size(), start + memory);
            MergeCounts counts;
            ArchiveError error;
            ASSERT_TRUE(archive_merge(t.a, {sent.begin() + start, sent.begin() + end}, 0, &counts,
                                      &error)) << error.message;
            EXPECT_EQ(counts.conflicting + counts.undecodable, 0);
        }
        std::vector<std::string> got;
        for (const auto &r : t.all())
            got.push_back(r.second);
        ASSERT_EQ(got.size(), sent.size());
        std::size_t first_wrong = 0;
        while (first_wrong < got.size() && got[first_wrong] == sent[first_wrong])
            ++first_wrong;
        EXPECT_EQ(first_wrong, sent.size()) << "first record out of place";
        // A period gives the records whose times fall in it, in the same order.
        for (int k = 0; k < 20; ++k) {
            const long long from = minutes[random() % minutes.size()] / 1440;
            const long long to = from + random() % 3;
            auto day = [](long long d) { return record_at(d * 1440, 0).substr(3, 10); };
            std::vector<std::string> expected, read;
            for (std::size_t i = 0; i < sent.size(); ++i)
                if (minutes[i] / 1440 >= from && minutes[i] / 1440 <= to)
                    expected.push_back(sent[i]);
            ArchiveError error;
            ASSERT_TRUE(archive_each(t.a, from * 1440, to * 1440 + 1439, [&](const ArchiveRecord &r) {
                read.emplace_back(r.text, r.length);
                return 1;
            }, &error)) << error.message;
            EXPECT_TRUE(read == expected) << day(from) << " .. " << day(to);
        }
    }
}

// The longest record the reader takes (a history slot but its last byte)
// is archived and exported whole; a longer one cannot have come from the
// console and is kept out.
TEST(Archive, TheLongestRecordIsExportedWhole)
{
    struct Case {
        std::size_t length;
        long added, undecodable;
    };
    for (const Case c : {Case{RECORD_BYTES - 1, 1, 0}, Case{RECORD_BYTES, 0, 1}}) {
        SCOPED_TRACE(c.length);
        // A long first token (the logger's percentage, not exported) brings
        // the record to its length; the monthly rain ends it and shows
        // whether the export read the record to its end.
        std::string text = record("2024-05-01", "10:00");
        text = text.substr(0, text.size() - 3) + "7.5";
        text.insert(2, c.length - text.size(), '0');
        ASSERT_EQ(text.size(), c.length);
        TempArchive t;
        MergeCounts counts;
        ArchiveError error;
        ASSERT_TRUE(archive_merge(t.a, {text}, 0, &counts, &error)) << error.message;
        EXPECT_EQ(counts.added, c.added);
        EXPECT_EQ(counts.undecodable, c.undecodable);
        if (!c.added)
            continue;
        std::string bytes;
        const ByteSink sink{&bytes, [](void *to, const std::uint8_t *b, std::size_t n) {
            static_cast<std::string *>(to)->append(reinterpret_cast<const char *>(b), n);
            return 1;
        }};
        ExportRequest request{};
        request.whole_period = 1;
        for (int &set : request.data_set)
            set = 1;
        ASSERT_TRUE(write_archive_export(t.a, ARCHIVE_FIRST, ARCHIVE_LAST, request, UnitSettings{},
                                         sink, &error)) << error.message;
        std::string narrow;  // the UTF-16LE file's ASCII
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            narrow += bytes[i];
        EXPECT_NE(narrow.find("\t 7.5 \t"), std::string::npos) << "no whole monthly rain";
    }
}

// What went wrong comes with its kind, which decides whether `run` tries
// again or leaves the archive alone.
TEST(Archive, FailuresSayTheirKind)
{
    TempArchive t;
    ArchiveError error;
    MergeCounts counts;
    ASSERT_TRUE(archive_merge(t.a, {record("2024-05-01", "10:00")}, 0, &counts, &error));

    // Another program in the middle of a write, for longer than the wait.
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(t.path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(archive_merge(t.a, {record("2024-05-01", "10:05")}, 0, &counts, &error));
    EXPECT_EQ(error.kind, ArchiveFailure::busy) << error.message;
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    struct Case {
        const char *name;
        std::string content;  // the file's bytes, or SQL run on a new file
        int sql;
        ArchiveFailure kind;
    };
    const Case cases[] = {
        {"not an SQLite file", std::string(4096, 'x'), 0, ArchiveFailure::damaged},
        {"an SQLite file of another program", "CREATE TABLE t(x);", 1, ArchiveFailure::damaged},
        {"a newer archive", "CREATE TABLE record(x); PRAGMA user_version = 99;", 1,
         ArchiveFailure::newer},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = t.path + ".case";
        if (c.sql) {
            sqlite3 *db = nullptr;
            ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(db, c.content.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        } else {
            std::FILE *file = std::fopen(path.c_str(), "wb");
            ASSERT_TRUE(file);
            std::fwrite(c.content.data(), 1, c.content.size(), file);
            std::fclose(file);
        }
        Archive *a = nullptr;
        error = ArchiveError{};
        EXPECT_FALSE(archive_open(path, &a, &error));
        EXPECT_EQ(error.kind, c.kind) << error.message;
        archive_close(a);
        std::remove(path.c_str());
    }
}

TEST(Archive, FirstVersionIsBroughtUpToDateWithItsRecords)
{
    char name[] = "/tmp/archive_v1_XXXXXX";
    close(mkstemp(name));
    const std::string path = name;
    std::remove(name);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string text = record("2024-05-01", "10:00");
    const std::string v1 =
        "CREATE TABLE record(ord INTEGER NOT NULL, minute INTEGER NOT NULL, repeat INTEGER NOT "
        "NULL, imported INTEGER NOT NULL, text TEXT NOT NULL, PRIMARY KEY(ord, minute, repeat)) "
        "WITHOUT ROWID; CREATE UNIQUE INDEX record_time ON record(minute, repeat);"
        "INSERT INTO record VALUES(" + std::to_string(28575960LL << 20) + ", 28575960, 0, 0, '" +
        text + "'); PRAGMA user_version = 1;";
    ASSERT_EQ(sqlite3_exec(db, v1.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    TempArchive t;  // removes the file afterwards
    archive_close(t.a);
    for (const char *suffix : {"", "-wal", "-shm"})
        std::remove((t.path + suffix).c_str());
    t.path = path;
    ArchiveError error;
    ASSERT_TRUE(archive_open(path, &t.a, &error)) << error.message;
    long long when = -1;
    EXPECT_TRUE(archive_note_catch_up(t.a, 1700000000, &error)) << error.message;
    EXPECT_TRUE(archive_last_catch_up(t.a, &when, &error)) << error.message;
    EXPECT_EQ(when, 1700000000);
    const auto all = t.all();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(archive_time_text(all[0].first), "2024-05-01 10:00");
    EXPECT_EQ(all[0].second, text);
}

} // namespace
