#include "cli/report_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli/archive_commands.h"
#include "report/report_days.h"

int command_report(FrontEnd &f)
{
    int year, month;
    parse_report_period(f.options.report_period, &year, &month);
    Archive *archive = open_archive_or_say(f, 1);
    if (!archive)
        return 1;
    std::vector<DaySummary> days;
    std::string error, text;
    const int read = report_days(archive, year, month, &days, &error);
    archive_close(archive);
    if (!read) {
        std::fprintf(stderr, "nimbrel: %s\n", error.c_str());
        return 1;
    }
    if (!climate_report(year, month, days, f.config.units, &text)) {
        std::fprintf(stderr, "nimbrel: the archive holds no records of %s\n", f.options.report_period.c_str());
        return 1;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}
