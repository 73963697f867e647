// What the commands do with the archive: open it where the settings say,
// merge a download into it and account for every record, read an export
// or a summary back, and keep `run`'s daily catch-up on time.
#pragma once
#include <ctime>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "cli/front_end.h"

// --archive=PATH, else the configuration's `archive`, else the default.
std::string archive_path(const FrontEnd &f);

// Opens the archive or says why not on standard error. Null on failure.
// A command that only reads (`to_read`) does not start an empty one.
Archive *open_archive_or_say(const FrontEnd &f, int to_read = 0);

// The records of a finished download, oldest first, read where the history
// store holds them; the records the download gave up on in `given_up`.
ArchiveSource downloaded_records(long *given_up);
// Empties the history store, giving its pages back to the system: `run`
// holds the console's memory only while a download is merged, and the next
// download touches only the pages its records fill.
void forget_download();

// Merges a download and accounts for it: the one line "N new, N already
// there, N given up; archive FIRST .. LAST" on standard output, or as a log
// line for `run`. Given up are the records the download lost and those kept
// out (unreadable, or a known time with other readings), which get a log
// line of their own. 1 when merged; otherwise what went wrong in `error`
// (said already, unless `as_log` leaves that to the caller).
int merge_download(Archive *archive, const ArchiveSource &records, long given_up, int as_log,
                   ArchiveError *error);

// export --archive: the export file from the archive, no console needed.
int export_from_archive(FrontEnd &f);

int command_archive_info(FrontEnd &f);

// The next time of day `minute_of_day` after `now` (local time).
std::time_t next_daily(std::time_t now, int minute_of_day);

// `run` warns when the console's memory is nearly full and nothing has been
// archived for a day: the records logged before long will be overwritten.
int logger_warning_due(int logger_percent, long long last_catch_up, std::time_t now);
