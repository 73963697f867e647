// The answers of the web server's JSON API as plain functions over the
// archive's records and the live reading: query checks, charts aggregated
// into buckets, highs and lows with their times, rain totals. Nothing here
// touches a socket or a file, so tests and benchmarks feed records directly.
//
// Times are the console's local clock, without a zone: records carry
// "YYYY-MM-DD HH:MM", the API speaks ISO 8601 "YYYY-MM-DDTHH:MM". Inside,
// a time is a count of minutes since 1970-01-01 00:00 of that clock.
#pragma once
#include <string>
#include <vector>

#include "archive/summaries.h"
#include "live/units.h"
#include "settings/unit_settings.h"

// Charts never get more points per series than this; longer ranges come in
// wider buckets.
constexpr int SERIES_MAX_POINTS = 2000;
// A query longer than this is refused before it is parsed.
constexpr std::size_t QUERY_MAX_BYTES = 512;

// "YYYY-MM-DD HH:MM" (a record's time) or, for queries, "YYYY-MM-DD" and
// "YYYY-MM-DDTHH:MM". A date alone means its first minute, or its last one
// when end is 1. Years 1970 to 2199. 0 when the text is none of these.
int parse_clock_time(const std::string &text, int end, long long *minutes);
// "YYYY-MM-DDTHH:MM".
std::string iso_time(long long minutes);

// The readings a chart or the highs and lows table can ask for, by their
// names in the API.
enum SeriesField {
    FIELD_OUTDOOR_TEMPERATURE, FIELD_INDOOR_TEMPERATURE, FIELD_DEW_POINT,
    FIELD_OUTDOOR_HUMIDITY, FIELD_INDOOR_HUMIDITY, FIELD_PRESSURE,
    FIELD_WIND_SPEED, FIELD_WIND_GUST, FIELD_WIND_DIRECTION,
    FIELD_RAIN, FIELD_RAIN_RATE, FIELD_COUNT
};
const char *series_field_name(int field);

// One record as the archive hands it over.
struct WebRecord {
    long long minutes;  // its clock time
    const char *text;   // the station record, zero-terminated
};

// ---- /api/series ----------------------------------------------------------

struct SeriesRequest {
    long long from, to;   // minutes, both inclusive
    unsigned fields;      // bit per SeriesField
    int bucket_minutes;
    int buckets;
    long long first;      // start of bucket 0
};

// from and to as parse_clock_time reads them (to empty: the newest record,
// from empty: a day before to), fields a comma-separated list of names
// (empty: all). interval_minutes is the archive's record interval, below
// which a bucket never goes so that each record has one of its own.
// 0 with a one-line reason for the client when the query is refused.
int parse_series_request(const std::string &from, const std::string &to, const std::string &fields,
                         long long newest, int interval_minutes, SeriesRequest *request,
                         std::string *error);

// Per bucket and field: minimum, sum and maximum in the console's units
// (°C, %, hPa, km/h, mm); the rain field sums what fell.
struct SeriesCell {
    double min, max, sum;
    long count;
    double east, north;   // wind direction as a vector sum
};

struct SeriesBuilder {
    SeriesRequest request;
    UnitSettings units;
    std::vector<SeriesCell> cells;   // buckets × FIELD_COUNT
    std::vector<long> records;       // per bucket
    DailyRain rain;
    // Minutes from..to whose records came as summaries (series_add_period):
    // their records, if handed over too, only feed the rain.
    long long summarised_from = 1, summarised_to = 0;
};

// units pick the pressure token and the units of the answer.
void series_start(SeriesBuilder *builder, const SeriesRequest &request, const UnitSettings &units);
// Records in the order they were sent, from the start of from's day to the
// end of to's. Records outside from..to only feed the rain, so that a
// bucket's rain is what fell in it whatever the range.
void series_add(SeriesBuilder *builder, const WebRecord &record);
// The summary of the records of start..start + span_minutes - 1, a stretch
// that lies wholly inside one bucket and inside from..to.
void series_add_period(SeriesBuilder *builder, long long start, const PeriodSummary &summary);
std::string series_json(const SeriesBuilder &builder);

// ---- /api/summary ---------------------------------------------------------

enum class SummaryPeriod { day, month, year, all };

struct SummaryRequest {
    SummaryPeriod period;
    long long from, to;   // minutes
    std::string label;    // "2026-12-08", "2026-12", "2026" or "all"
};

// period day, month, year or all; date "YYYY-MM-DD" inside it (empty: the
// newest record's). 0 with a one-line reason when refused.
int parse_summary_request(const std::string &period, const std::string &date, long long newest,
                          SummaryRequest *request, std::string *error);

struct SummaryBuilder {
    SummaryRequest request;
    UnitSettings units;
    ReadingSums field[FIELD_COUNT];  // the earliest time of a tie
    DailyRain rain;
    // Rain per day (period day or month), per month (year) or per year (all).
    std::vector<std::pair<std::string, double>> rain_totals;
    double rain_total;
    long records;
};

void summary_start(SummaryBuilder *builder, const SummaryRequest &request,
                   const UnitSettings &units);
void summary_add(SummaryBuilder *builder, const WebRecord &record);
// The summary of a whole day's records; the day lies inside the period.
void summary_add_day(SummaryBuilder *builder, long long start, const PeriodSummary &summary);
std::string summary_json(const SummaryBuilder &builder);

// ---- /api/live ------------------------------------------------------------

// The live readings of live_json wrapped with where they come from
// ("console", "archive" or "none"), whether they are stale and the
// console's time of the reading.
std::string live_answer_json(const std::string &readings_json, const char *source, int stale,
                             const std::string &read_at);

// ---- helpers shared with the server ---------------------------------------

// A number in the console's unit as the dashboard shows it in the
// configured one (its conversions and decimals); "null" when it cannot be.
std::string shown_number(ReadingKind kind, double value, const UnitSettings &units);
// The unit labels of the configured units, as a JSON object.
std::string units_json(const UnitSettings &units);
// A one-line error answer {"error": reason}.
std::string error_json(const std::string &reason);
