#include "archive/summaries.h"

#include <cmath>
#include <cstring>
#include <type_traits>

#include "live/station_record.h"
#include "live/units.h"

namespace {

constexpr double PI = 3.14159265358979323846;

const struct {
    int token;
    ReadingKind kind;
} sources[SUM_READINGS] = {
    {token::outdoor_temp, ReadingKind::temperature},
    {token::indoor_temp, ReadingKind::temperature},
    {token::dew_point, ReadingKind::temperature},
    {token::outdoor_humidity, ReadingKind::humidity},
    {token::indoor_humidity, ReadingKind::humidity},
    {token::rel_pressure, ReadingKind::pressure},
    {token::abs_pressure, ReadingKind::pressure},
    {token::wind_speed, ReadingKind::wind_speed},
    {token::wind_gust, ReadingKind::wind_speed},
    {token::wind_dir_degrees, ReadingKind::direction},
    {token::rain_rate, ReadingKind::rain_rate},
    {token::daily_rain, ReadingKind::rain_amount},
};

static_assert(std::is_trivially_copyable<PeriodSummary>::value &&
                  sizeof(PeriodSummary) % 8 == 0 && sizeof(double) == 8,
              "a summary is stored as a row of 8-byte numbers");
constexpr std::size_t SUMMARY_WORDS = sizeof(PeriodSummary) / 8;

} // namespace

void record_readings(const char *text, std::size_t length, RecordReadings *out)
{
    LiveValues values;
    decode_station_record_n(text, length, &values);
    for (int r = 0; r < SUM_READINGS; ++r) {
        const char16_t *token = values.slot[sources[r].token];
        float v;
        out->have[r] = token[0] && !is_missing_reading(sources[r].kind, token) &&
                       read_leading_float(token, &v) && std::isfinite(v);
        out->value[r] = out->have[r] ? v : 0;
    }
}

double daily_rain_fell(DailyRain *rain, long long minute, double counter)
{
    double &high = rain->high.try_emplace(day_of_minute(minute), 0.0).first->second;
    if (counter <= high)
        return 0;
    const double fell = counter - high;
    high = counter;
    return fell;
}

void reading_sums_add(ReadingSums *s, double value, long long minute)
{
    if (value < s->min || (value == s->min && minute < s->min_at)) {
        s->min = value;
        s->min_at = minute;
    }
    if (value > s->max || (value == s->max && minute < s->max_at)) {
        s->max = value;
        s->max_at = minute;
    }
    s->sum += value;
    ++s->count;
}

void period_summary_clear(PeriodSummary *s)
{
    std::memset(s, 0, sizeof *s);
    for (ReadingSums &r : s->reading) {
        r.min = HUGE_VAL;
        r.max = -HUGE_VAL;
    }
}

void period_summary_add(PeriodSummary *s, const RecordReadings &got, long long minute,
                        double rain_fell)
{
    for (int r = 0; r < SUM_READINGS; ++r)
        if (got.have[r])
            reading_sums_add(&s->reading[r], got.value[r], minute);
    if (got.have[SUM_WIND_DIRECTION]) {
        const double radians = got.value[SUM_WIND_DIRECTION] * PI / 180;
        s->direction_east += std::sin(radians);
        s->direction_north += std::cos(radians);
        if (got.have[SUM_WIND_SPEED]) {
            s->wind_east += got.value[SUM_WIND_SPEED] * std::sin(radians);
            s->wind_north += got.value[SUM_WIND_SPEED] * std::cos(radians);
        }
    }
    if (got.have[SUM_DAILY_RAIN])
        s->rain += rain_fell;
    ++s->records;
}

void period_summary_combine(PeriodSummary *into, const PeriodSummary &from)
{
    for (int r = 0; r < SUM_READINGS; ++r) {
        ReadingSums &a = into->reading[r];
        const ReadingSums &b = from.reading[r];
        if (!b.count)
            continue;
        if (b.min < a.min || (b.min == a.min && b.min_at < a.min_at)) {
            a.min = b.min;
            a.min_at = b.min_at;
        }
        if (b.max > a.max || (b.max == a.max && b.max_at < a.max_at)) {
            a.max = b.max;
            a.max_at = b.max_at;
        }
        a.sum += b.sum;
        a.count += b.count;
    }
    into->direction_east += from.direction_east;
    into->direction_north += from.direction_north;
    into->wind_east += from.wind_east;
    into->wind_north += from.wind_north;
    into->rain += from.rain;
    into->records += from.records;
}

std::string period_summary_bytes(const PeriodSummary &s)
{
    std::uint64_t words[SUMMARY_WORDS];
    std::memcpy(words, &s, sizeof s);
    std::string out(sizeof s, '\0');
    for (std::size_t w = 0; w < SUMMARY_WORDS; ++w)
        for (int b = 0; b < 8; ++b)
            out[w * 8 + b] = static_cast<char>(words[w] >> (8 * b));
    return out;
}

int period_summary_from_bytes(const void *bytes, std::size_t size, PeriodSummary *s)
{
    if (size != sizeof *s)
        return 0;
    // A year's chart reads thousands: on the usual little-endian machine
    // the stored bytes are the summary already.
    const std::uint16_t probe = 1;
    if (*reinterpret_cast<const unsigned char *>(&probe) == 1) {
        std::memcpy(s, bytes, sizeof *s);
        return 1;
    }
    const unsigned char *in = static_cast<const unsigned char *>(bytes);
    std::uint64_t words[SUMMARY_WORDS];
    for (std::size_t w = 0; w < SUMMARY_WORDS; ++w) {
        words[w] = 0;
        for (int b = 0; b < 8; ++b)
            words[w] |= static_cast<std::uint64_t>(in[w * 8 + b]) << (8 * b);
    }
    std::memcpy(s, words, sizeof *s);
    return 1;
}
