// The live readings as text: the dashboard's readings with its formatting
// and missing-reading texts, one "caption value unit" line each, or one
// JSON object on one line for scripts.
#pragma once
#include <string>

#include "live/station_record.h"
#include "settings/unit_settings.h"

std::string live_text(const LiveValues &values, const UnitSettings &units);

// Readings by name; a missing reading is null, a number stays a number, and
// "units" names the unit of each kind. With `iso_time`, "time" holds it
// instead of the record's time of day (null when it is empty): the state
// message `run` publishes.
std::string live_json(const LiveValues &values, const UnitSettings &units,
                      const char *iso_time = nullptr);

// UTF-16 to UTF-8 for printing; a lone surrogate becomes U+FFFD.
std::string utf8_text(const char16_t *text);
// UTF-8 to UTF-16, at most `units` - 1 units kept; 0 when the input is not
// UTF-8 or does not fit.
int utf16_text(const char *text, char16_t *out, int units);
