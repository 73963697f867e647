// The archive: every station record the console ever logged, in one SQLite
// file. A record is kept as the console sent it and known by its local
// clock time; the hour that repeats when clocks go back keeps both of its
// records, told apart by the order the console sent them (`repeat`).
// Merges are one transaction each, so a crash loses at most the merge under
// way. Portable core over Debian's libsqlite3; built for Linux only.
#pragma once
#include <climits>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "archive/summaries.h"

struct Archive;  // one open archive file

// What went wrong, for the caller to act on: a busy or locked archive is
// worth trying again, a damaged or newer one is not written to.
enum class ArchiveFailure { none, busy, locked, full, damaged, newer, other };

struct ArchiveError {
    ArchiveFailure kind = ArchiveFailure::none;
    std::string message;  // one line
};

// A time in the archive: the console's clock reading as minutes since
// 1970-01-01 00:00 of that clock (it knows no zone).
constexpr long long ARCHIVE_FIRST = LLONG_MIN / (1LL << 22);  // open bounds
constexpr long long ARCHIVE_LAST = LLONG_MAX / (1LL << 22);

// One record as archive_each hands it over; text is valid during the visit.
struct ArchiveRecord {
    long long minute;
    int repeat;        // 0; 1, 2.. for later records of the same clock time, in sending order
    const char *text;  // the station record as the console sent it (imported: as it would have),
    std::size_t length;  // zero-terminated after `length` bytes
    int imported;      // 1 when it came from an imported export file
};

struct MergeCounts {
    long added = 0, already = 0, conflicting = 0, undecodable = 0, replaced = 0;
};

// The newest schema this program writes and reads.
constexpr int ARCHIVE_SCHEMA_VERSION = 3;

// Opens or creates the file (and its folder), migrates an older schema.
// 0 and a one-line message on failure: not an SQLite file, damaged, a
// newer version, locked by another program (named when it can be found).
int archive_open(const std::string &path, Archive **archive, ArchiveError *error);
void archive_close(Archive *archive);

// Merges records given oldest first, in the order the console sent them, in
// ONE transaction, reading them from where they lie. `imported` marks records converted from export files: a
// console record replaces an imported one of the same time; an imported one
// never replaces anything (against a console record it counts as already
// there). A record whose date or time cannot be read is kept out and counted
// as undecodable; one whose time is stored with other content keeps the
// stored one and is counted as conflicting. On failure nothing of this merge
// is kept and the counts are those of the merge that was rolled back.
// Hands over the next record (0 at the end), valid until the next call.
using ArchiveSource = std::function<int(const char **text, std::size_t *length)>;
int archive_merge(Archive *archive, const ArchiveSource &next, int imported, MergeCounts *counts,
                  ArchiveError *error);
int archive_merge(Archive *archive, const std::vector<std::string> &texts, int imported,
                  MergeCounts *counts, ArchiveError *error);

// Visits the records with from <= minute <= to in the order the console
// sent them (time order, the repeated hour after the hour it repeats).
// visit returns 0 to stop early.
int archive_each(Archive *archive, long long from, long long to,
                 const std::function<int(const ArchiveRecord &)> &visit, ArchiveError *error);
// The same for a reader of the texts alone (an export): minute, repeat and
// imported stay 0, and reading them is spared.
int archive_each_text(Archive *archive, long long from, long long to,
                      const std::function<int(const ArchiveRecord &)> &visit, ArchiveError *error);

// The kept summaries of whole hours (span_minutes 60) or days (1440) that
// start between from and to and have records, in time order; see
// archive/summaries.h. Each merge keeps them in step with the records.
int archive_each_period(Archive *archive, int span_minutes, long long from, long long to,
                        const std::function<int(long long start, const PeriodSummary &)> &visit,
                        ArchiveError *error);

// A number that changes whenever another connection has committed a merge
// (or anything else) to the archive since; -1 when it cannot be read.
long long archive_version(Archive *archive);

struct ArchiveSummary {
    long count = 0;
    long long first = 0, last = 0;  // minutes; meaningless when count is 0
    int interval_minutes = 0;  // the most common step between records; 0 below two records
};
int archive_summary(Archive *archive, ArchiveSummary *summary, ArchiveError *error);

// A stretch longer than three intervals without records: the last record
// before it and the first after it.
struct ArchiveGap {
    std::string after, before;
    long long missing;  // records the interval would have put there (long is 32 bits on armhf)
};
// The gaps, newest first.
int archive_gaps(Archive *archive, int interval_minutes, std::vector<ArchiveGap> *gaps,
                 ArchiveError *error);

// When a catch-up last merged a whole download, in seconds since the epoch;
// 0 when none has.
int archive_note_catch_up(Archive *archive, long long when, ArchiveError *error);
int archive_last_catch_up(Archive *archive, long long *when, ArchiveError *error);

// Where an upload service stands in the archive's records, by their
// "YYYY-MM-DD HH:MM": every record up to `sent` went out, and when `until`
// is set, those after `sent` and before `until` are still owed. An empty
// text: none. Kept in the archive so that a restart owes the same.
int archive_upload_mark(Archive *archive, const std::string &service, std::string *sent,
                        std::string *until, ArchiveError *error);
int archive_keep_upload_mark(Archive *archive, const std::string &service,
                             const std::string &sent, const std::string &until,
                             ArchiveError *error);

// The "YYYY-MM-DD HH:MM" key of a station record's date and time tokens;
// 0 when they do not read as a date and a time of day.
int archive_record_time(const std::string &text, std::string *time);
// "YYYY-MM-DD HH:MM" of a minute.
std::string archive_time_text(long long minute);
// A bound "YYYY-MM-DD HH:MM", or "YYYY-MM-DD" for the day's first minute
// (its last when `upper`); 0 when it is neither.
int archive_bound(const std::string &text, int upper, long long *minute);
