// The export file: UTF-16LE text with a byte-order mark, one header row of
// column titles, one units row, then one row per history record of the
// requested period, 33 tab-separated cells each. Bytes go to a sink so the
// same code writes a file, a memory buffer in tests or nothing in benchmarks.
#pragma once
#include <cstddef>
#include <cstdint>

#include "history/history_store.h"
#include "live/station_record.h"
#include "live/units.h"
#include "settings/unit_settings.h"
#include "station/link_state.h"

constexpr int EXPORT_COLUMNS = 33;

// How a column gets its value and its caption. Plain columns copy the token;
// the others go through the formatting shared with the dashboard.
enum class ExportSource { plain, converted, pressure, direction };

// data_set: index into ExportRequest::data_set, or EXPORT_ALWAYS.
constexpr int EXPORT_ALWAYS = -1;

struct ExportColumn {
    const char16_t *title;   // a "/" marks the line break of a two-line title
    const char16_t *caption; // null: taken from the kind and the unit settings
    ExportSource source;
    ReadingKind kind;
    int token;               // ignored for pressure and direction
    int data_set;
};

// The columns in file order; reading an export back goes by the same table.
extern const ExportColumn export_columns[EXPORT_COLUMNS];
// Longest row: every cell a full token (TOKEN_UNITS) between two spaces,
// a tab or the final line feed after each.
constexpr int EXPORT_ROW_UNITS = EXPORT_COLUMNS * (TOKEN_UNITS + 3);

// Receives the file's bytes in order; returns 1 when all of them were taken.
struct ByteSink {
    void *context;
    int (*write)(void *context, const std::uint8_t *bytes, std::size_t count);
};

// The writer's working storage for a row, its own to each export.
struct ExportWorkspace {
    char16_t row[EXPORT_ROW_UNITS];
    std::uint8_t bytes[EXPORT_ROW_UNITS * 2];
};

// The period filter's one date rule: a date "year-month-day" read the way
// "%d-%d-%d" does into year * 10000 + month * 100 + day; 0 when it is not
// three numbers.
int read_date_key(const char16_t *text, long long *key);

// Byte-order mark, header row and units row. 1 when the sink took them all.
int write_export_header(const ByteSink &sink, const UnitSettings &units);

// One record of at most RECORD_BYTES bytes (zero-terminated inside them):
// its row, or nothing for an empty slot or a date outside the requested
// period. With a period, a date that does not read as a date is outside it.
// 1 unless the sink refused bytes.
int write_record_row(const ByteSink &sink, const std::uint8_t *record,
                     const ExportRequest &request, const UnitSettings &units,
                     ExportWorkspace *work);
// The same for a record already split by split_station_record that is not
// empty: an export reading records ahead splits them on another thread.
int write_tokens_row(const ByteSink &sink, const RecordTokens &tokens,
                     const ExportRequest &request, const UnitSettings &units,
                     ExportWorkspace *work);

enum class ExportOutcome { written, cancelled, write_failed };

// Header and the rows of slots 0 .. history_total - 1 (read afresh before
// every record, never past the store), watching export_cancel and
// history_cancel after each.
ExportOutcome write_export(const ByteSink &sink, const HistoryStore &store,
                           const ExportRequest &request, const UnitSettings &units,
                           const LinkFlags &flags, ExportWorkspace *work);
