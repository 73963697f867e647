// The summaries the archive keeps beside its records: one per hour and one
// per day of the console's clock that has records, so that a year's chart
// or the highs and lows of all time read a few thousand rows instead of
// every record. Each holds, per reading, the lowest and highest with the
// first clock time each was reached, a sum and count for the mean, the
// wind direction as vector sums, and the rain that fell.
//
// A summary equals what a scan over its records gives: the readings are
// read from a record the one way every scan reads them (record_readings),
// and the rain of a record is what its daily counter rose above that day's
// highest among the records sent before it (daily_rain_fell).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

// The readings a summary keeps, in the console's units (°C, %, hPa, km/h,
// mm, degrees).
enum SummaryReading {
    SUM_OUTDOOR_TEMPERATURE, SUM_INDOOR_TEMPERATURE, SUM_DEW_POINT,
    SUM_OUTDOOR_HUMIDITY, SUM_INDOOR_HUMIDITY, SUM_RELATIVE_PRESSURE, SUM_ABSOLUTE_PRESSURE,
    SUM_WIND_SPEED, SUM_WIND_GUST, SUM_WIND_DIRECTION, SUM_RAIN_RATE, SUM_DAILY_RAIN,
    SUM_READINGS
};

// The readings of one record; have[r] is 0 where the record has none ("--").
struct RecordReadings {
    double value[SUM_READINGS];
    int have[SUM_READINGS];
};
void record_readings(const char *text, std::size_t length, RecordReadings *out);

// The console's daily rain counter rises through the day and starts again
// at midnight. Taking only what rises above the day's highest so far keeps
// a repeated hour or a clock set back, even over midnight, from counting
// the same rain twice.
struct DailyRain {
    std::unordered_map<long long, double> high;  // per day of the clock
};
double daily_rain_fell(DailyRain *rain, long long minute, double counter);

// One reading over a period. Of equal lows or highs the earliest clock time
// is kept, so that summaries combine in any order to the same answer.
struct ReadingSums {
    double min, max, sum;
    long long min_at, max_at;  // minutes of the console's clock
    long long count;
};
void reading_sums_add(ReadingSums *sums, double value, long long minute);

struct PeriodSummary {
    ReadingSums reading[SUM_READINGS];
    double direction_east, direction_north;  // unit vectors of the directions read
    double wind_east, wind_north;            // speed times direction, where both were read
    double rain;                             // what fell (daily_rain_fell), mm
    long long records;
};

void period_summary_clear(PeriodSummary *summary);
// Adds a record's readings; `rain_fell` is what daily_rain_fell gave for it
// (only used when it has a daily rain reading).
void period_summary_add(PeriodSummary *summary, const RecordReadings &readings, long long minute,
                        double rain_fell);
void period_summary_combine(PeriodSummary *into, const PeriodSummary &from);

// The stored form: fixed-width little-endian numbers, whatever the machine.
std::string period_summary_bytes(const PeriodSummary &summary);
// 0 when the bytes are not a stored summary.
int period_summary_from_bytes(const void *bytes, std::size_t size, PeriodSummary *summary);

// The day of the clock a minute falls in (floor division: before 1970 too).
inline long long day_of_minute(long long minute)
{
    return minute >= 0 ? minute / 1440 : -((-minute + 1439) / 1440);
}
