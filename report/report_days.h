// Where the climate reports get their day summaries: for now a scan of
// the archive's records of the period.
#pragma once
#include <string>
#include <vector>

#include "archive/archive.h"
#include "report/climate_report.h"

// The summaries of the days of a month (1..12), or of a year (month 0),
// that have records, one summary each.
int report_days(Archive *archive, int year, int month, std::vector<DaySummary> *days, std::string *error);
