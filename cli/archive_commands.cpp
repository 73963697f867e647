#include "cli/archive_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "cli/archive_export.h"
#include "cli/export_file.h"
#include "cli/log.h"
#include "cli/platform.h"
#include "history/export_writer.h"
#include "history/history_store.h"
#include "station/link_state.h"

std::string archive_path(const FrontEnd &f)
{
    if (!f.options.archive_file.empty())
        return f.options.archive_file;
    if (!f.config.archive.empty())
        return home_expanded(f.config.archive);
    return default_archive_path();
}

Archive *open_archive_or_say(const FrontEnd &f, int to_read)
{
    const std::string path = archive_path(f);
    if (to_read && access(path.c_str(), F_OK) != 0) {
        std::fprintf(stderr, "nimbrel: there is no archive at %s yet (`nimbrel catch-up` starts it)\n",
                     path.c_str());
        return nullptr;
    }
    Archive *archive = nullptr;
    ArchiveError error;
    if (!archive_open(path, &archive, &error))
        std::fprintf(stderr, "nimbrel: %s\n", error.message.c_str());
    return archive;
}

ArchiveSource downloaded_records(long *given_up)
{
    const int counted = link_flags.history_total;
    const int total = std::min(counted, HISTORY_SLOTS);
    long kept = 0;
    for (int i = 0; i < total; ++i)
        kept += history_store.slot[i][0] != 0;
    *given_up = counted - kept;
    int at = 0;
    return [total, at](const char **text, std::size_t *length) mutable {
        while (at < total) {
            const char *slot = reinterpret_cast<const char *>(history_store.slot[at++]);
            if (slot[0]) {
                *text = slot;
                *length = strnlen(slot, RECORD_BYTES);
                return 1;
            }
        }
        return 0;
    };
}

void forget_download()
{
    zero_releasing(history_store.slot, sizeof history_store.slot);
    release_free_heap();
}

int merge_download(Archive *archive, const ArchiveSource &records, long given_up, int as_log,
                   ArchiveError *failure)
{
    MergeCounts c;
    if (!archive_merge(archive, records, 0, &c, failure)) {
        if (!as_log)
            std::fprintf(stderr, "nimbrel: %s\n", failure->message.c_str());
        return 0;
    }
    ArchiveError error;
    if (!archive_note_catch_up(archive, static_cast<long long>(std::time(nullptr)), &error))
        log_line("catch-up: %s", error.message.c_str());
    if (c.conflicting > 0)
        log_line("catch-up: %ld records kept out: their times are archived with other readings",
                 c.conflicting);
    if (c.undecodable > 0)
        log_line("catch-up: %ld records kept out: their date or time cannot be read",
                 c.undecodable);
    ArchiveSummary summary;
    if (!archive_summary(archive, &summary, &error))
        summary = ArchiveSummary{};
    char line[256];
    std::snprintf(line, sizeof line, "%ld new, %ld already there, %ld given up; archive %s .. %s",
                  c.added + c.replaced, c.already, given_up + c.undecodable + c.conflicting,
                  summary.count ? archive_time_text(summary.first).c_str() : "empty",
                  summary.count ? archive_time_text(summary.last).c_str() : "empty");
    if (as_log) {
        log_line("catch-up: %s", line);
    } else {
        std::printf("%s\n", line);
        std::fflush(stdout);
    }
    return 1;
}

int export_from_archive(FrontEnd &f)
{
    Archive *archive = open_archive_or_say(f, 1);
    if (!archive)
        return 1;
    std::string error;
    ArchiveError read_error;
    // The writer keeps its own period filter; the bounds only spare reading
    // records outside it.
    long long from = ARCHIVE_FIRST, to = ARCHIVE_LAST;
    if (!export_request.whole_period &&
        (!archive_bound(f.options.from, 0, &from) || !archive_bound(f.options.to, 1, &to))) {
        from = ARCHIVE_FIRST;
        to = ARCHIVE_LAST;
    }
    const int written = write_export_with(f.options.file.c_str(), f.options.utf8,
        [&](const ByteSink &sink) {
            return write_archive_export(archive, from, to, export_request, f.config.units, sink,
                                        &read_error);
        }, &error);
    archive_close(archive);
    if (!written) {
        std::fprintf(stderr, "nimbrel: %s\n",
                     read_error.message.empty() ? error.c_str() : read_error.message.c_str());
        return 1;
    }
    return 0;
}

int command_archive_info(FrontEnd &f)
{
    Archive *archive = open_archive_or_say(f, 1);
    if (!archive)
        return 1;
    ArchiveSummary s;
    std::vector<ArchiveGap> gaps;
    long long caught_up = 0;
    ArchiveError error;
    const int read = archive_summary(archive, &s, &error) &&
                     archive_gaps(archive, s.interval_minutes, &gaps, &error) &&
                     archive_last_catch_up(archive, &caught_up, &error);
    const std::string path = archive_path(f);
    archive_close(archive);
    if (!read) {
        std::fprintf(stderr, "nimbrel: %s\n", error.message.c_str());
        return 1;
    }
    std::printf("archive   %s\nrecords   %ld\n", path.c_str(), s.count);
    if (s.count > 0)
        std::printf("first     %s\nlast      %s\n", archive_time_text(s.first).c_str(),
                    archive_time_text(s.last).c_str());
    if (s.interval_minutes > 0)
        std::printf("interval  %d minutes\n", s.interval_minutes);
    if (caught_up > 0) {
        const std::time_t t = static_cast<std::time_t>(caught_up);
        char when[32] = "";
        if (const std::tm *local = std::localtime(&t))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", local);
        std::printf("catch-up  %s\n", when);
    }
    std::printf("gaps      %zu\n", gaps.size());
    for (const ArchiveGap &g : gaps)
        std::printf("  %s .. %s  %lld records missing\n", g.after.c_str(), g.before.c_str(),
                    g.missing);
    return 0;
}

std::time_t next_daily(std::time_t now, int minute_of_day)
{
    std::tm local = {};
    localtime_r(&now, &local);
    for (int day = 0; day < 3; ++day) {
        std::tm t = local;
        t.tm_mday += day;
        t.tm_hour = minute_of_day / 60;
        t.tm_min = minute_of_day % 60;
        t.tm_sec = 0;
        t.tm_isdst = -1;
        const std::time_t at = std::mktime(&t);
        if (at > now)
            return at;
    }
    return now + 24 * 3600;
}

int logger_warning_due(int logger_percent, long long last_catch_up, std::time_t now)
{
    return logger_percent >= 90 && now - last_catch_up > 24 * 3600;
}
