#include "archive/archive.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <unordered_map>

#include "archive/lock_holder.h"
#include "common/calendar.h"
#include "history/history_store.h"

// One table, clustered by sending order so that an export or a chart of a
// year is one sequential read:
//   minute    the console's clock reading as minutes since 1970-01-01 00:00
//             (a wall-clock reading, not UTC: the console knows no zone)
//   repeat    0, or 1, 2.. for later records of the same clock time
//   ord       sending order: minute * ORDER_STEP, or for a record sent
//             after a later time (the hour that repeats, a clock set back)
//             one more than the record sent just before it, so that any
//             number of set-backs keeps the order they were sent in
//   imported  1 when converted from an export file
//   text      the record as the console sent it
struct Archive {
    sqlite3 *db = nullptr;
    std::string path;
};

namespace {

// Room after each minute for the records sent after it that name an
// earlier time (the hour that repeats, a clock set back).
constexpr long long ORDER_STEP = 1 << 20;
constexpr int BUSY_WAIT_MS = 5000;

const char *const migrations[ARCHIVE_SCHEMA_VERSION] = {
    // 0 -> 1: the first schema.
    "CREATE TABLE record("
    " ord INTEGER NOT NULL, minute INTEGER NOT NULL, repeat INTEGER NOT NULL,"
    " imported INTEGER NOT NULL, text TEXT NOT NULL,"
    " PRIMARY KEY(ord, minute, repeat)) WITHOUT ROWID;"
    "CREATE UNIQUE INDEX record_time ON record(minute, repeat);",
    // 1 -> 2: what the archive remembers besides records (the last catch-up).
    "CREATE TABLE state(name TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID;",
    // 2 -> 3: a summary per hour and per day of the clock that has records
    // (archive/summaries.h), filled from the records kept so far.
    ("CREATE TABLE hour_summary(start INTEGER PRIMARY KEY, data BLOB NOT NULL);"
     "CREATE TABLE day_summary(start INTEGER PRIMARY KEY, data BLOB NOT NULL);"),
};

// A prepared statement that finalises itself.
struct Statement {
    sqlite3_stmt *s = nullptr;
    Statement(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~Statement() { sqlite3_finalize(s); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
};

// ---- summaries --------------------------------------------------------------

struct SummaryStatements {
    Statement day_records, put_hour, put_day;
    explicit SummaryStatements(sqlite3 *db)
        : day_records(db, "SELECT minute, text FROM record WHERE minute BETWEEN ? AND ? ORDER BY ord"),
          put_hour(db, "INSERT OR REPLACE INTO hour_summary(start, data) VALUES(?, ?)"),
          put_day(db, "INSERT OR REPLACE INTO day_summary(start, data) VALUES(?, ?)")
    {
    }
    int ready() const { return day_records.s && put_hour.s && put_day.s; }
};

int put_summary(sqlite3_stmt *put, long long start, const PeriodSummary &summary)
{
    const std::string bytes = period_summary_bytes(summary);
    sqlite3_bind_int64(put, 1, start);
    sqlite3_bind_blob(put, 2, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(put);
    sqlite3_reset(put);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Summarises a day and its hours again from all of the day's records, in
// the order they were sent, as a scan over them would: a record merged into
// the middle of a day changes the rain of the records sent after it.
int summarise_day(SummaryStatements &st, long long day)
{
    PeriodSummary hours[24], whole;
    for (PeriodSummary &h : hours)
        period_summary_clear(&h);
    period_summary_clear(&whole);
    DailyRain rain;
    RecordReadings got;
    sqlite3_bind_int64(st.day_records.s, 1, day * 1440);
    sqlite3_bind_int64(st.day_records.s, 2, day * 1440 + 1439);
    int rc;
    while ((rc = sqlite3_step(st.day_records.s)) == SQLITE_ROW) {
        const long long minute = sqlite3_column_int64(st.day_records.s, 0);
        const char *text = reinterpret_cast<const char *>(sqlite3_column_text(st.day_records.s, 1));
        record_readings(text ? text : "",
                        static_cast<std::size_t>(sqlite3_column_bytes(st.day_records.s, 1)), &got);
        const double fell = got.have[SUM_DAILY_RAIN]
                                ? daily_rain_fell(&rain, minute, got.value[SUM_DAILY_RAIN])
                                : 0;
        period_summary_add(&hours[(minute - day * 1440) / 60], got, minute, fell);
    }
    sqlite3_reset(st.day_records.s);
    if (rc != SQLITE_DONE)
        return rc;
    for (int h = 0; h < 24; ++h) {
        if (!hours[h].records)
            continue;
        period_summary_combine(&whole, hours[h]);
        if ((rc = put_summary(st.put_hour.s, day * 1440 + h * 60, hours[h])) != SQLITE_OK)
            return rc;
    }
    return whole.records ? put_summary(st.put_day.s, day * 1440, whole) : SQLITE_OK;
}

int summarise_days(sqlite3 *db, std::vector<long long> days)
{
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    SummaryStatements st(db);
    if (!st.ready())
        return sqlite3_errcode(db);
    for (long long day : days) {
        const int rc = summarise_day(st, day);
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

// Every day that has records, for an archive that had no summaries yet.
int summarise_all(sqlite3 *db)
{
    std::vector<long long> days;
    {
        Statement st(db, "SELECT DISTINCT minute FROM record ORDER BY minute");
        if (!st.s)
            return sqlite3_errcode(db);
        int rc;
        while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
            const long long day = day_of_minute(sqlite3_column_int64(st.s, 0));
            if (days.empty() || days.back() != day)
                days.push_back(day);
        }
        if (rc != SQLITE_DONE)
            return rc;
    }
    return summarise_days(db, std::move(days));
}

// ---- times -----------------------------------------------------------------

// Reads up to `digits` decimal digits (at least one) from text[*at].
int read_digits(const std::string &text, std::size_t end, std::size_t *at, int digits, int *value)
{
    int n = 0, v = 0;
    while (*at < end && n < digits && text[*at] >= '0' && text[*at] <= '9') {
        v = v * 10 + (text[*at] - '0');
        ++*at;
        ++n;
    }
    *value = v;
    return n > 0;
}

// The clock reading of a record's date token ("Y-M-D") and time token
// ("H:MM"); 0 when they do not read as a real date and time of day.
int record_minute(const std::string &text, long long *minute)
{
    const std::size_t first = text.find(' ');
    if (first == std::string::npos)
        return 0;
    const std::size_t second = text.find(' ', first + 1);
    if (second == std::string::npos)
        return 0;
    std::size_t third = text.find(' ', second + 1);
    if (third == std::string::npos)
        third = text.size();
    int y, mo, d, h, mi;
    std::size_t at = first + 1;
    if (!read_digits(text, second, &at, 4, &y) || at >= second || text[at++] != '-' ||
        !read_digits(text, second, &at, 2, &mo) || at >= second || text[at++] != '-' ||
        !read_digits(text, second, &at, 2, &d) || at != second)
        return 0;
    at = second + 1;
    if (!read_digits(text, third, &at, 2, &h) || at >= third || text[at++] != ':' ||
        !read_digits(text, third, &at, 2, &mi) || at != third)
        return 0;
    if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo) || h > 23 || mi > 59)
        return 0;
    *minute = days_from_civil(y, mo, d) * 1440 + h * 60 + mi;
    return 1;
}

std::string minute_text(long long minute)
{
    const CivilTime t = civil_from_minutes(minute);
    // By hand: this runs once per record of every export and chart.
    char text[17] = "0000-00-00 00:00";
    const int fields[5][2] = {{0, t.year}, {5, t.month}, {8, t.day}, {11, t.hour}, {14, t.minute}};
    for (const auto &f : fields) {
        const int width = f[0] == 0 ? 4 : 2;
        for (int i = width - 1, v = f[1]; i >= 0; --i, v /= 10)
            text[f[0] + i] = static_cast<char>('0' + v % 10);
    }
    return std::string(text, 16);
}

// A bound of archive_each: "Y-M-D H:MM", or "Y-M-D" for the day's first or
// last minute.
int bound_minute(const std::string &bound, int upper, long long *minute)
{
    if (bound.find(' ') == std::string::npos)
        return record_minute(". " + bound + (upper ? " 23:59" : " 00:00"), minute);
    return record_minute(". " + bound, minute);
}

// ---- errors ----------------------------------------------------------------

ArchiveError describe(Archive *a, int code, const char *doing)
{
    const std::string p = a->path;
    switch (code & 0xFF) {
    case SQLITE_NOTADB:
        return {ArchiveFailure::damaged, p + " is not a nimbrel archive (not an SQLite file)"};
    case SQLITE_CORRUPT:
        return {ArchiveFailure::damaged, p + " is damaged (" + sqlite3_errmsg(a->db) +
                                             "); keep a copy and try `sqlite3 " + p + " .recover`"};
    case SQLITE_BUSY:
    case SQLITE_LOCKED: {
        const std::string holder = archive_lock_holder(p);
        return {(code & 0xFF) == SQLITE_BUSY ? ArchiveFailure::busy : ArchiveFailure::locked,
                p + " is locked by " + (holder.empty() ? "another program" : holder) +
                    "; try again when it has finished"};
    }
    case SQLITE_FULL:
        return {ArchiveFailure::full, "the disk holding " + p + " is full: " + doing +
                                          " was rolled back; nothing archived before is lost"};
    case SQLITE_READONLY:
        return {ArchiveFailure::other, p + " cannot be written (read-only)"};
    case SQLITE_CANTOPEN:
        return {ArchiveFailure::other, "cannot open " + p};
    default:
        return {ArchiveFailure::other, p + ": " + doing + " failed: " + sqlite3_errmsg(a->db)};
    }
}

int fail(Archive *a, int code, const char *doing, ArchiveError *error)
{
    *error = describe(a, code, doing);
    return 0;
}

int exec(Archive *a, const char *sql, const char *doing, ArchiveError *error)
{
    const int rc = sqlite3_exec(a->db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || fail(a, rc, doing, error);
}

// The single integer or text a pragma answers with.
int pragma(Archive *a, const char *sql, std::string *value, int *rc)
{
    Statement st(a->db, sql);
    *rc = st.s ? sqlite3_step(st.s) : sqlite3_errcode(a->db);
    if (*rc == SQLITE_ROW) {
        const unsigned char *text = sqlite3_column_text(st.s, 0);
        *value = text ? reinterpret_cast<const char *>(text) : "";
        *rc = SQLITE_OK;
        return 1;
    }
    if (*rc == SQLITE_DONE)
        *rc = SQLITE_OK;
    return *rc == SQLITE_OK;
}

// Brings the schema to ARCHIVE_SCHEMA_VERSION in one transaction; an
// archive that is up to date is not locked, so that reading it never waits
// for a merge.
int migrate(Archive *a, int version, ArchiveError *error)
{
    if (version == ARCHIVE_SCHEMA_VERSION)
        return 1;
    if (!exec(a, "BEGIN IMMEDIATE", "opening", error))
        return 0;
    std::string value;
    int rc;
    if (!pragma(a, "PRAGMA user_version", &value, &rc)) {
        sqlite3_exec(a->db, "ROLLBACK", nullptr, nullptr, nullptr);
        return fail(a, rc, "opening", error);
    }
    const int from = std::atoi(value.c_str());
    for (int v = from; v < ARCHIVE_SCHEMA_VERSION; ++v) {
        const std::string sql = std::string(migrations[v]) + "PRAGMA user_version = " +
                                std::to_string(v + 1) + ";";
        rc = sqlite3_exec(a->db, sql.c_str(), nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK && v == 2)
            rc = summarise_all(a->db);
        if (rc != SQLITE_OK) {
            fail(a, rc, "bringing the archive up to date", error);
            sqlite3_exec(a->db, "ROLLBACK", nullptr, nullptr, nullptr);
            return 0;
        }
    }
    return exec(a, "COMMIT", "bringing the archive up to date", error);
}

// Checks what the file is before anything is written to it; its schema
// version in `*version`.
int check_file(Archive *a, int *version_out, ArchiveError *error)
{
    std::string version, tables, check;
    int rc;
    if (!pragma(a, "PRAGMA user_version", &version, &rc))
        return fail(a, rc, "opening", error);
    const int v = *version_out = std::atoi(version.c_str());
    if (v > ARCHIVE_SCHEMA_VERSION) {
        *error = {ArchiveFailure::newer,
                  a->path + " was written by a newer nimbrel (archive version " + version +
                      ", this one reads up to " + std::to_string(ARCHIVE_SCHEMA_VERSION) +
                      "); update nimbrel"};
        return 0;
    }
    if (!pragma(a, "SELECT group_concat(name) FROM sqlite_schema WHERE name NOT LIKE 'sqlite_%'",
                &tables, &rc))
        return fail(a, rc, "opening", error);
    if ((v == 0 && !tables.empty()) || (v > 0 && tables.find("record") == std::string::npos)) {
        *error = {ArchiveFailure::damaged, a->path + " is an SQLite file but not a nimbrel archive"};
        return 0;
    }
    if (v > 0) {
        if (!pragma(a, "PRAGMA quick_check", &check, &rc))
            return fail(a, rc, "checking", error);
        if (check != "ok") {
            *error = {ArchiveFailure::damaged, a->path + " is damaged (" + check +
                                                   "); keep a copy and try `sqlite3 " + a->path +
                                                   " .recover`"};
            return 0;
        }
    }
    return 1;
}

} // namespace

int archive_record_time(const std::string &text, std::string *time)
{
    long long minute;
    if (!record_minute(text, &minute))
        return 0;
    *time = minute_text(minute);
    return 1;
}

std::string archive_time_text(long long minute) { return minute_text(minute); }

int archive_bound(const std::string &text, int upper, long long *minute)
{
    return bound_minute(text, upper, minute);
}

int archive_open(const std::string &path, Archive **archive, ArchiveError *error)
{
    *archive = nullptr;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    Archive *a = new Archive;
    a->path = path;
    const int rc = sqlite3_open_v2(path.c_str(), &a->db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        *error = {ArchiveFailure::other,
                  "cannot open " + path + ": " + (a->db ? sqlite3_errmsg(a->db) : "out of memory")};
        archive_close(a);
        return 0;
    }
    sqlite3_extended_result_codes(a->db, 1);
    sqlite3_busy_timeout(a->db, BUSY_WAIT_MS);
    std::string mode;
    int prc;
    // FULL: a power cut after a merge reported done must not take it back.
    int version = 0;
    // A new archive gets 16 KiB pages: a year's export reads a quarter as
    // many pages, for about half the time of 4 KiB ones.
    if (!check_file(a, &version, error) ||
        (version == 0 && !exec(a, "PRAGMA page_size = 16384", "opening", error)) ||
        !exec(a, "PRAGMA synchronous = FULL", "opening", error) ||
        (!pragma(a, "PRAGMA journal_mode = WAL", &mode, &prc) && fail(a, prc, "opening", error) == 0) ||
        !migrate(a, version, error)) {
        archive_close(a);
        return 0;
    }
    if (mode != "wal") {
        *error = {ArchiveFailure::other, path + " cannot be put in write-ahead mode (" + mode + ")"};
        archive_close(a);
        return 0;
    }
    *archive = a;
    return 1;
}

void archive_close(Archive *archive)
{
    if (!archive)
        return;
    sqlite3_close(archive->db);
    delete archive;
}

namespace {

struct Stored {
    std::string text;
    long long ord;
    int imported;
};

// What this merge knows of one clock time; the stored records themselves
// are read when needed, so that a merge holds no copy of the download.
struct Group {
    int stored = 0;  // records of this time in the archive
    int sent = 0;    // records of this time seen in this merge
    int offset = 0;  // this merge's first record is stored repeat `offset`
};

struct MergeStatements {
    Statement load, load_one, insert, replace;
    explicit MergeStatements(sqlite3 *db)
        : load(db, "SELECT text, ord, imported FROM record WHERE minute = ? ORDER BY repeat"),
          load_one(db, "SELECT text, ord, imported FROM record WHERE minute = ? AND repeat = ?"),
          insert(db, "INSERT INTO record(ord, minute, repeat, imported, text) VALUES(?,?,?,?,?)"),
          replace(db, "UPDATE record SET text = ?, imported = 0 WHERE minute = ? AND repeat = ?")
    {
    }
    int ready() const { return load.s && load_one.s && insert.s && replace.s; }
};

int step_done(sqlite3_stmt *s)
{
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// The rows a bound statement gives, into `out` (reusing its strings).
int load_rows(sqlite3_stmt *s, std::vector<Stored> *out, std::size_t *count)
{
    int rc;
    *count = 0;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        if (*count == out->size())
            out->emplace_back();
        Stored &r = (*out)[(*count)++];
        const char *text = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
        r.text.assign(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(s, 0)));
        r.ord = sqlite3_column_int64(s, 1);
        r.imported = sqlite3_column_int(s, 2);
    }
    sqlite3_reset(s);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// `touched`: the days of the records added or replaced, for their summaries.
int merge_records(MergeStatements &m, const ArchiveSource &next, int imported, MergeCounts *c,
                  std::vector<long long> *touched)
{
    std::unordered_map<long long, Group> groups;
    std::vector<Stored> stored;  // the stored records of the time in hand
    std::size_t have = 0;
    std::string text;
    // The place of the record sent just before, stored or new.
    long long previous_ord = LLONG_MIN;
    const char *bytes;
    std::size_t length;
    while (next(&bytes, &length)) {
        text.assign(bytes, length);
        long long minute;
        // No more than the reader takes into a history slot (its last byte
        // stays zero): an export must see all of it.
        if (text.empty() || text.size() >= static_cast<std::size_t>(RECORD_BYTES) ||
            text.find('\0') != std::string::npos || !record_minute(text, &minute)) {
            ++c->undecodable;
            continue;
        }
        auto [it, fresh] = groups.try_emplace(minute);
        Group &g = it->second;
        int rc;
        int loaded = -1;  // the repeat stored[0] holds, -1: none in hand
        if (fresh) {
            sqlite3_bind_int64(m.load.s, 1, minute);
            if ((rc = load_rows(m.load.s, &stored, &have)) != SQLITE_OK)
                return rc;
            g.stored = static_cast<int>(have);
            loaded = 0;
            // The stored records of this time sent before the record just
            // before this one came earlier (a memory that now starts inside
            // a repeated stretch); the text tells when the first of them is
            // this one again.
            g.offset = 0;
            for (std::size_t j = 0; j < have; ++j)
                g.offset += stored[j].ord < previous_ord;
            for (std::size_t j = 0; j < have; ++j)
                if (stored[j].text == text) {
                    g.offset = static_cast<int>(j);
                    break;
                }
        }
        const int repeat = g.sent++ + g.offset;
        if (repeat < g.stored) {
            if (loaded < 0) {
                sqlite3_bind_int64(m.load_one.s, 1, minute);
                sqlite3_bind_int(m.load_one.s, 2, repeat);
                if ((rc = load_rows(m.load_one.s, &stored, &have)) != SQLITE_OK)
                    return rc;
                if (have == 0)
                    return SQLITE_CORRUPT;
                loaded = repeat;
            }
            const Stored &s = stored[static_cast<std::size_t>(repeat - loaded)];
            previous_ord = s.ord;
            if (s.text == text || (s.imported == 0 && imported)) {
                ++c->already;
            } else if (s.imported && !imported) {
                sqlite3_bind_text(m.replace.s, 1, text.data(), static_cast<int>(text.size()),
                                  SQLITE_STATIC);
                sqlite3_bind_int64(m.replace.s, 2, minute);
                sqlite3_bind_int(m.replace.s, 3, repeat);
                if ((rc = step_done(m.replace.s)) != SQLITE_OK)
                    return rc;
                ++c->replaced;
                touched->push_back(day_of_minute(minute));
            } else {
                ++c->conflicting;
            }
        } else {
            // In its own minute's place unless something sent before it
            // already sorts there or later: then right after that.
            const long long ord = std::max(minute * ORDER_STEP,
                                           previous_ord == LLONG_MIN ? LLONG_MIN : previous_ord + 1);
            sqlite3_bind_int64(m.insert.s, 1, ord);
            sqlite3_bind_int64(m.insert.s, 2, minute);
            sqlite3_bind_int(m.insert.s, 3, repeat);
            sqlite3_bind_int(m.insert.s, 4, imported ? 1 : 0);
            sqlite3_bind_text(m.insert.s, 5, text.data(), static_cast<int>(text.size()),
                              SQLITE_STATIC);
            if ((rc = step_done(m.insert.s)) != SQLITE_OK)
                return rc;
            g.stored = repeat + 1;
            previous_ord = ord;
            ++c->added;
            if (touched->empty() || touched->back() != day_of_minute(minute))
                touched->push_back(day_of_minute(minute));
        }
    }
    return SQLITE_OK;
}

} // namespace

int archive_merge(Archive *a, const ArchiveSource &next, int imported, MergeCounts *counts,
                  ArchiveError *error)
{
    *counts = MergeCounts{};
    if (!exec(a, "BEGIN IMMEDIATE", "the merge", error))
        return 0;
    int rc;
    std::vector<long long> touched;
    {
        MergeStatements m(a->db);
        rc = m.ready() ? merge_records(m, next, imported, counts, &touched) : sqlite3_errcode(a->db);
    }
    if (rc == SQLITE_OK)
        rc = summarise_days(a->db, std::move(touched));
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(a->db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        fail(a, rc, "the merge", error);
        sqlite3_exec(a->db, "ROLLBACK", nullptr, nullptr, nullptr);
        return 0;
    }
    return 1;
}

int archive_merge(Archive *a, const std::vector<std::string> &texts, int imported,
                  MergeCounts *counts, ArchiveError *error)
{
    std::size_t i = 0;
    return archive_merge(a, [&](const char **text, std::size_t *length) {
        if (i == texts.size())
            return 0;
        *text = texts[i].data();
        *length = texts[i++].size();
        return 1;
    }, imported, counts, error);
}

namespace {

int each_record(Archive *a, long long first, long long last, int with_times,
                const std::function<int(const ArchiveRecord &)> &visit, ArchiveError *error)
{
    first = std::max(first, ARCHIVE_FIRST);
    last = std::min(last, ARCHIVE_LAST);
    // Records in their own minute's place, then the few placed after a later
    // time (ord beyond the period), in sending order both.
    static const char *const reads[2] = {
        "SELECT text, minute, repeat, imported FROM record "
        "WHERE ord >= ?1 AND ord < ?2 AND minute BETWEEN ?3 AND ?4 ORDER BY ord, minute, repeat",
        "SELECT text, minute, repeat, imported FROM record INDEXED BY record_time "
        "WHERE ord >= ?2 AND minute BETWEEN ?3 AND ?4 ORDER BY ord, minute, repeat"};
    // No record is placed after the period when none is placed that late at
    // all (always so for an export up to the newest record): the second
    // read would scan the period's times for nothing.
    Statement latest(a->db, "SELECT max(ord) FROM record");
    const int late = sqlite3_step(latest.s) != SQLITE_ROW ||
                     sqlite3_column_int64(latest.s, 0) >= (last + 1) * ORDER_STEP;
    ArchiveRecord r{};
    for (const char *sql : reads) {
        if (sql == reads[1] && !late)
            break;
        Statement st(a->db, sql);
        if (!st.s)
            return fail(a, sqlite3_errcode(a->db), "reading", error);
        sqlite3_bind_int64(st.s, 1, first * ORDER_STEP);
        sqlite3_bind_int64(st.s, 2, (last + 1) * ORDER_STEP);
        sqlite3_bind_int64(st.s, 3, first);
        sqlite3_bind_int64(st.s, 4, last);
        int rc;
        while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
            if (with_times) {
                r.minute = sqlite3_column_int64(st.s, 1);
                r.repeat = sqlite3_column_int(st.s, 2);
                r.imported = sqlite3_column_int(st.s, 3);
            }
            const char *text = reinterpret_cast<const char *>(sqlite3_column_text(st.s, 0));
            r.text = text ? text : "";
            r.length = text ? static_cast<std::size_t>(sqlite3_column_bytes(st.s, 0)) : 0;
            if (!visit(r))
                return 1;
        }
        if (rc != SQLITE_DONE)
            return fail(a, rc, "reading", error);
    }
    return 1;
}

} // namespace

int archive_each(Archive *a, long long first, long long last,
                 const std::function<int(const ArchiveRecord &)> &visit, ArchiveError *error)
{
    return each_record(a, first, last, 1, visit, error);
}

int archive_each_text(Archive *a, long long first, long long last,
                      const std::function<int(const ArchiveRecord &)> &visit, ArchiveError *error)
{
    return each_record(a, first, last, 0, visit, error);
}

int archive_each_period(Archive *a, int span, long long from, long long to,
                        const std::function<int(long long, const PeriodSummary &)> &visit,
                        ArchiveError *error)
{
    Statement st(a->db, span == 1440
                            ? "SELECT start, data FROM day_summary WHERE start BETWEEN ? AND ? ORDER BY start"
                            : "SELECT start, data FROM hour_summary WHERE start BETWEEN ? AND ? ORDER BY start");
    if (!st.s)
        return fail(a, sqlite3_errcode(a->db), "reading", error);
    sqlite3_bind_int64(st.s, 1, std::max(from, ARCHIVE_FIRST));
    sqlite3_bind_int64(st.s, 2, std::min(to, ARCHIVE_LAST));
    PeriodSummary summary;
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        if (!period_summary_from_bytes(sqlite3_column_blob(st.s, 1),
                                       static_cast<std::size_t>(sqlite3_column_bytes(st.s, 1)), &summary))
            return fail(a, SQLITE_CORRUPT, "reading", error);
        if (!visit(sqlite3_column_int64(st.s, 0), summary))
            return 1;
    }
    return rc == SQLITE_DONE || fail(a, rc, "reading", error);
}

long long archive_version(Archive *a)
{
    Statement st(a->db, "PRAGMA data_version");
    return st.s && sqlite3_step(st.s) == SQLITE_ROW ? sqlite3_column_int64(st.s, 0) : -1;
}

int archive_summary(Archive *a, ArchiveSummary *summary, ArchiveError *error)
{
    *summary = ArchiveSummary{};
    Statement st(a->db, "SELECT count(*), min(minute), max(minute) FROM record");
    int rc = st.s ? sqlite3_step(st.s) : sqlite3_errcode(a->db);
    if (rc != SQLITE_ROW)
        return fail(a, rc, "reading", error);
    summary->count = sqlite3_column_int64(st.s, 0);
    if (summary->count == 0)
        return 1;
    summary->first = sqlite3_column_int64(st.s, 1);
    summary->last = sqlite3_column_int64(st.s, 2);
    // The most common step; the smaller one of a tie.
    Statement step(a->db, "SELECT d FROM (SELECT minute - lag(minute) OVER (ORDER BY minute) AS d "
                          "FROM record WHERE repeat = 0) WHERE d > 0 "
                          "GROUP BY d ORDER BY count(*) DESC, d LIMIT 1");
    rc = step.s ? sqlite3_step(step.s) : sqlite3_errcode(a->db);
    if (rc == SQLITE_ROW)
        summary->interval_minutes = sqlite3_column_int(step.s, 0);
    else if (rc != SQLITE_DONE)
        return fail(a, rc, "reading", error);
    return 1;
}

namespace {

// Minutes that really passed between two clock readings of this machine's
// zone: a spring-forward hour is no gap.
long long elapsed_minutes(long long from, long long to)
{
    auto seconds = [](long long minute, std::time_t *out) {
        const CivilTime c = civil_from_minutes(minute);
        std::tm t = {};
        t.tm_year = c.year - 1900;
        t.tm_mon = c.month - 1;
        t.tm_mday = c.day;
        t.tm_hour = c.hour;
        t.tm_min = c.minute;
        t.tm_isdst = -1;
        *out = std::mktime(&t);
        return *out != static_cast<std::time_t>(-1);
    };
    std::time_t a, b;
    if (!seconds(from, &a) || !seconds(to, &b))
        return to - from;
    return std::min<long long>(to - from, (b - a) / 60);
}

} // namespace

int archive_gaps(Archive *a, int interval, std::vector<ArchiveGap> *gaps, ArchiveError *error)
{
    gaps->clear();
    if (interval <= 0)
        return 1;
    Statement st(a->db, "SELECT minute FROM record WHERE repeat = 0 ORDER BY minute");
    if (!st.s)
        return fail(a, sqlite3_errcode(a->db), "reading", error);
    long long previous = LLONG_MIN;
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
        const long long minute = sqlite3_column_int64(st.s, 0);
        if (previous != LLONG_MIN && minute - previous > 3LL * interval &&
            elapsed_minutes(previous, minute) > 3LL * interval)
            gaps->push_back(ArchiveGap{minute_text(previous), minute_text(minute),
                                       elapsed_minutes(previous, minute) / interval - 1});
        previous = minute;
    }
    if (rc != SQLITE_DONE)
        return fail(a, rc, "reading", error);
    std::reverse(gaps->begin(), gaps->end());
    return 1;
}

int archive_note_catch_up(Archive *a, long long when, ArchiveError *error)
{
    Statement st(a->db, "INSERT INTO state(name, value) VALUES('last_catch_up', ?) "
                        "ON CONFLICT(name) DO UPDATE SET value = excluded.value");
    if (!st.s)
        return fail(a, sqlite3_errcode(a->db), "noting the catch-up", error);
    sqlite3_bind_int64(st.s, 1, when);
    const int rc = sqlite3_step(st.s);
    return rc == SQLITE_DONE || fail(a, rc, "noting the catch-up", error);
}

int archive_last_catch_up(Archive *a, long long *when, ArchiveError *error)
{
    *when = 0;
    Statement st(a->db, "SELECT value FROM state WHERE name = 'last_catch_up'");
    const int rc = st.s ? sqlite3_step(st.s) : sqlite3_errcode(a->db);
    if (rc == SQLITE_ROW)
        *when = sqlite3_column_int64(st.s, 0);
    return rc == SQLITE_ROW || rc == SQLITE_DONE || fail(a, rc, "reading", error);
}

namespace {

int read_state_minute(Archive *a, const std::string &name, std::string *text, ArchiveError *error)
{
    text->clear();
    Statement st(a->db, "SELECT value FROM state WHERE name = ?");
    if (!st.s)
        return fail(a, sqlite3_errcode(a->db), "reading", error);
    sqlite3_bind_text(st.s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st.s);
    if (rc == SQLITE_ROW)
        *text = minute_text(sqlite3_column_int64(st.s, 0));
    return rc == SQLITE_ROW || rc == SQLITE_DONE || fail(a, rc, "reading", error);
}

int keep_state_minute(Archive *a, const std::string &name, const std::string &text,
                      ArchiveError *error)
{
    long long minute = 0;
    if (!text.empty() && !bound_minute(text, 0, &minute)) {
        *error = {ArchiveFailure::other, "not a time: \"" + text + "\""};
        return 0;
    }
    Statement st(a->db, text.empty() ? "DELETE FROM state WHERE name = ?1"
                                     : "INSERT INTO state(name, value) VALUES(?1, ?2) "
                                       "ON CONFLICT(name) DO UPDATE SET value = excluded.value");
    if (!st.s)
        return fail(a, sqlite3_errcode(a->db), "noting an upload", error);
    sqlite3_bind_text(st.s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    if (!text.empty())
        sqlite3_bind_int64(st.s, 2, minute);
    const int rc = sqlite3_step(st.s);
    return rc == SQLITE_DONE || fail(a, rc, "noting an upload", error);
}

} // namespace

int archive_upload_mark(Archive *a, const std::string &service, std::string *sent,
                        std::string *until, ArchiveError *error)
{
    return read_state_minute(a, "upload_sent:" + service, sent, error) &&
           read_state_minute(a, "upload_until:" + service, until, error);
}

int archive_keep_upload_mark(Archive *a, const std::string &service, const std::string &sent,
                             const std::string &until, ArchiveError *error)
{
    return keep_state_minute(a, "upload_sent:" + service, sent, error) &&
           keep_state_minute(a, "upload_until:" + service, until, error);
}
