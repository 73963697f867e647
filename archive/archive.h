// The archive: every station record the console ever logged, in one SQLite
// file. A record is kept as the console sent it and known by its local
// clock time; the hour that repeats when clocks go back keeps both of its
// records, told apart by the order the console sent them (`repeat`).
// Merges are one transaction each, so a crash loses at most the merge under
// way. Portable core over Debian's libsqlite3; built for Linux only.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct Archive;  // one open archive file

struct ArchiveRecord {
    std::string time;  // console's local time "YYYY-MM-DD HH:MM"
    int repeat;        // 0; 1, 2.. for later records of the same clock time, in sending order
    std::string text;  // the station record text as the console sent it (imported: as it would have)
    int imported;      // 1 when it came from an imported export file
};

struct MergeCounts {
    long added = 0, already = 0, conflicting = 0, undecodable = 0, replaced = 0;
};

// The newest schema this program writes and reads.
constexpr int ARCHIVE_SCHEMA_VERSION = 2;

// Opens or creates the file (and its folder), migrates an older schema.
// 0 and a one-line message on failure: not an SQLite file, damaged, a
// newer version, locked by another program (named when it can be found).
int archive_open(const std::string &path, Archive **archive, std::string *error);
void archive_close(Archive *archive);

// Merges records given oldest first, in the order the console sent them, in
// ONE transaction. `imported` marks records converted from export files: a
// console record replaces an imported one of the same time; an imported one
// never replaces anything (against a console record it counts as already
// there). A record whose date or time cannot be read is kept out and counted
// as undecodable; one whose time is stored with other content keeps the
// stored one and is counted as conflicting. On failure nothing of this merge
// is kept and the counts are those of the merge that was rolled back.
int archive_merge(Archive *archive, const std::vector<std::string> &texts, int imported,
                  MergeCounts *counts, std::string *error);

// Visits the records with from <= time <= to in the order the console sent
// them (time order, the repeated hour after the hour it repeats). A bound is
// "YYYY-MM-DD HH:MM" or "YYYY-MM-DD" (the whole day); an empty bound is
// open. visit returns 0 to stop early.
int archive_each(Archive *archive, const std::string &from, const std::string &to,
                 const std::function<int(const ArchiveRecord &)> &visit, std::string *error);

struct ArchiveSummary {
    long count = 0;
    std::string first, last;   // "YYYY-MM-DD HH:MM", empty when the archive is empty
    int interval_minutes = 0;  // the most common step between records; 0 below two records
};
int archive_summary(Archive *archive, ArchiveSummary *summary, std::string *error);

// A stretch longer than three intervals without records: the last record
// before it and the first after it.
struct ArchiveGap {
    std::string after, before;
    long long missing;  // records the interval would have put there (long is 32 bits on armhf)
};
// The gaps, newest first.
int archive_gaps(Archive *archive, int interval_minutes, std::vector<ArchiveGap> *gaps,
                 std::string *error);

// When a catch-up last merged a whole download, in seconds since the epoch;
// 0 when none has.
int archive_note_catch_up(Archive *archive, long long when, std::string *error);
int archive_last_catch_up(Archive *archive, long long *when, std::string *error);

// The "YYYY-MM-DD HH:MM" key of a station record's date and time tokens;
// 0 when they do not read as a date and a time of day.
int archive_record_time(const std::string &text, std::string *time);
