// The archive on a real SQLite file: what merges keep, in which order the
// records come back, and what the summary says.
#include "archive/archive.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
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
        std::string error;
        EXPECT_TRUE(archive_open(path, &a, &error)) << error;
    }
    ~TempArchive()
    {
        archive_close(a);
        for (const char *suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
    }
    std::vector<ArchiveRecord> all()
    {
        std::vector<ArchiveRecord> out;
        std::string error;
        EXPECT_TRUE(archive_each(a, "", "", [&](const ArchiveRecord &r) {
            out.push_back(r);
            return 1;
        }, &error)) << error;
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
            std::string error;
            ASSERT_TRUE(archive_merge(t.a, step.texts, step.imported, &got, &error)) << error;
            EXPECT_EQ(got.added, step.expected.added);
            EXPECT_EQ(got.already, step.expected.already);
            EXPECT_EQ(got.conflicting, step.expected.conflicting);
            EXPECT_EQ(got.undecodable, step.expected.undecodable);
            EXPECT_EQ(got.replaced, step.expected.replaced);
        }
        std::vector<std::string> texts;
        for (const ArchiveRecord &r : t.all())
            texts.push_back(r.text);
        EXPECT_EQ(texts, c.expected_texts);
    }
}

TEST(Archive, PeriodFindsEveryRecordOfItsTimes)
{
    TempArchive t;
    MergeCounts counts;
    std::string error;
    std::vector<std::string> texts = autumn;
    // A clock set back by a day: its records belong to the day they name.
    texts.push_back(record("2024-10-28", "09:00"));
    texts.push_back(record("2024-10-27", "09:00"));
    ASSERT_TRUE(archive_merge(t.a, texts, 0, &counts, &error)) << error;
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
        ASSERT_TRUE(archive_each(t.a, c.from, c.to, [&](const ArchiveRecord &r) {
            got.push_back(r.time + "/" + std::to_string(r.repeat));
            return 1;
        }, &error)) << error;
        EXPECT_EQ(got, c.times);
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
    std::string error;
    ASSERT_TRUE(archive_open(path, &t.a, &error)) << error;
    long long when = -1;
    EXPECT_TRUE(archive_note_catch_up(t.a, 1700000000, &error)) << error;
    EXPECT_TRUE(archive_last_catch_up(t.a, &when, &error)) << error;
    EXPECT_EQ(when, 1700000000);
    const std::vector<ArchiveRecord> all = t.all();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].time, "2024-05-01 10:00");
    EXPECT_EQ(all[0].text, text);
}

TEST(Archive, EachUploadServiceKeepsItsMarkAcrossAReopen)
{
    TempArchive t;
    std::string error, sent = "x", until = "x";
    EXPECT_TRUE(archive_upload_mark(t.a, "wow", &sent, &until, &error)) << error;
    EXPECT_EQ(sent + "|" + until, "|");
    EXPECT_TRUE(archive_keep_upload_mark(t.a, "wow", "2026-12-08 10:05", "2026-12-08 11:00",
                                         &error)) << error;
    EXPECT_TRUE(archive_keep_upload_mark(t.a, "windy", "2026-12-07 23:55", "", &error)) << error;
    EXPECT_FALSE(archive_keep_upload_mark(t.a, "windy", "yesterday", "", &error));
    archive_close(t.a);
    ASSERT_TRUE(archive_open(t.path, &t.a, &error)) << error;
    EXPECT_TRUE(archive_upload_mark(t.a, "wow", &sent, &until, &error)) << error;
    EXPECT_EQ(sent + "|" + until, "2026-12-08 10:05|2026-12-08 11:00");
    EXPECT_TRUE(archive_upload_mark(t.a, "windy", &sent, &until, &error)) << error;
    EXPECT_EQ(sent + "|" + until, "2026-12-07 23:55|");
    // The owed stretch sent: only the mark stays.
    EXPECT_TRUE(archive_keep_upload_mark(t.a, "wow", "2026-12-08 11:00", "", &error)) << error;
    EXPECT_TRUE(archive_upload_mark(t.a, "wow", &sent, &until, &error)) << error;
    EXPECT_EQ(sent + "|" + until, "2026-12-08 11:00|");
}

} // namespace
