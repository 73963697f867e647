// Where the climate reports get their day summaries: the archive's kept
// day summaries, or a scan of the period's records (which they equal).
#pragma once
#include <string>
#include <vector>

#include "archive/archive.h"
#include "report/climate_report.h"

enum class DaySource { summaries, records };

// The summaries of the days of a month (1..12), or of a year (month 0),
// that have records, one summary each.
int report_days(Archive *archive, int year, int month, std::vector<DaySummary> *days, std::string *error,
                DaySource source = DaySource::summaries);
