#include "web/api.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "common/calendar.h"
#include "common/json.h"
#include "common/split.h"
#include "live/station_record.h"
#include "live/units.h"
#include "upload/request.h"

namespace {

// What each field reads from a record and how it is shown.
struct FieldInfo {
    const char *name;
    int reading;  // SummaryReading; the pressure follows the configured kind
    ReadingKind kind;
};

const FieldInfo fields[FIELD_COUNT] = {
    {"outdoor_temperature", SUM_OUTDOOR_TEMPERATURE, ReadingKind::temperature},
    {"indoor_temperature", SUM_INDOOR_TEMPERATURE, ReadingKind::temperature},
    {"dew_point", SUM_DEW_POINT, ReadingKind::temperature},
    {"outdoor_humidity", SUM_OUTDOOR_HUMIDITY, ReadingKind::humidity},
    {"indoor_humidity", SUM_INDOOR_HUMIDITY, ReadingKind::humidity},
    {"pressure", SUM_RELATIVE_PRESSURE, ReadingKind::pressure},
    {"wind_speed", SUM_WIND_SPEED, ReadingKind::wind_speed},
    {"wind_gust", SUM_WIND_GUST, ReadingKind::wind_speed},
    {"wind_direction", SUM_WIND_DIRECTION, ReadingKind::direction},
    {"rain", SUM_DAILY_RAIN, ReadingKind::rain_amount},
    {"rain_rate", SUM_RAIN_RATE, ReadingKind::rain_rate},
};

constexpr long long MINUTES_PER_DAY = 1440;
constexpr double PI = 3.14159265358979323846;

int digits(const std::string &text, std::size_t at, std::size_t count, int *value)
{
    if (at + count > text.size())
        return 0;
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return 1;
}

long long minutes_of(int year, int month, int day, int hour, int minute)
{
    return days_from_civil(year, month, day) * MINUTES_PER_DAY + hour * 60 + minute;
}

// The pressure follows the configured kind, as on the dashboard.
int field_reading(int field, const UnitSettings &units)
{
    if (field != FIELD_PRESSURE)
        return fields[field].reading;
    return pressure_token(units.pressure_kind) == token::rel_pressure ? SUM_RELATIVE_PRESSURE
                                                                        : SUM_ABSOLUTE_PRESSURE;
}

// Adds one reading, or a period's readings, to a chart cell.
void cell_add(SeriesCell *c, const ReadingSums &r)
{
    c->min = r.min < c->min ? r.min : c->min;
    c->max = r.max > c->max ? r.max : c->max;
    c->sum += r.sum;
    c->count += static_cast<long>(r.count);
}

void add_list(std::string &out, const std::vector<std::string> &items)
{
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += ',';
        out += items[i];
    }
    out += ']';
}

std::string quoted(const std::string &text)
{
    std::string out;
    add_json_string(out, text);
    return out;
}

} // namespace

const char *series_field_name(int field)
{
    return field >= 0 && field < FIELD_COUNT ? fields[field].name : "";
}

int parse_clock_time(const std::string &text, int end, long long *minutes)
{
    int year, month, day, hour = end ? 23 : 0, minute = end ? 59 : 0;
    if (!digits(text, 0, 4, &year) || text.size() < 10 || text[4] != '-' ||
        !digits(text, 5, 2, &month) || text[7] != '-' || !digits(text, 8, 2, &day))
        return 0;
    if (text.size() != 10) {
        if (text.size() != 16 || (text[10] != 'T' && text[10] != ' ') ||
            !digits(text, 11, 2, &hour) || text[13] != ':' || !digits(text, 14, 2, &minute))
            return 0;
    }
    if (year < 1970 || year > 2199 || month < 1 || month > 12 || day < 1 ||
        day > days_in_month(year, month) || hour > 23 || minute > 59)
        return 0;
    *minutes = minutes_of(year, month, day, hour, minute);
    return 1;
}

std::string iso_time(long long minutes)
{
    const CivilTime t = civil_from_minutes(minutes);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute);
    return text;
}

int parse_series_request(const std::string &from, const std::string &to, const std::string &names,
                         long long newest, int interval_minutes, SeriesRequest *r,
                         std::string *error)
{
    *r = SeriesRequest{};
    r->to = newest;
    if (!to.empty() && !parse_clock_time(to, 1, &r->to)) {
        *error = "to: expected YYYY-MM-DD or YYYY-MM-DDTHH:MM, not \"" + to + "\"";
        return 0;
    }
    r->from = r->to - MINUTES_PER_DAY + 1;
    if (!from.empty() && !parse_clock_time(from, 0, &r->from)) {
        *error = "from: expected YYYY-MM-DD or YYYY-MM-DDTHH:MM, not \"" + from + "\"";
        return 0;
    }
    if (r->from > r->to) {
        *error = "from is after to";
        return 0;
    }
    if (names.empty())
        r->fields = (1u << FIELD_COUNT) - 1;
    for (const std::string &name : split_list(names, ',')) {
        int found = -1;
        for (int f = 0; f < FIELD_COUNT; ++f)
            if (name == fields[f].name)
                found = f;
        if (found < 0) {
            std::string known;
            for (int f = 0; f < FIELD_COUNT; ++f)
                known += std::string(f ? ", " : "") + fields[f].name;
            *error = "fields: unknown field \"" + name + "\"; expected " + known;
            return 0;
        }
        r->fields |= 1u << found;
    }
    // The narrowest bucket of a tidy length that keeps the points within
    // SERIES_MAX_POINTS, never narrower than the records lie apart.
    static const int tidy[] = {1, 2, 5, 10, 15, 20, 30, 60, 120, 180, 240, 360, 720, 1440};
    const long long span = r->to - r->from + 1;
    long long need = (span + SERIES_MAX_POINTS - 1) / SERIES_MAX_POINTS;
    long long bucket = 0;
    for (int t : tidy)
        if (!bucket && t >= need)
            bucket = t;
    if (!bucket)
        bucket = (need + MINUTES_PER_DAY - 1) / MINUTES_PER_DAY * MINUTES_PER_DAY;
    if (bucket < interval_minutes)
        bucket = interval_minutes;
    // Buckets start at whole multiples of their length, so a day's bucket
    // starts at midnight; a partial one at either end is counted in full.
    r->bucket_minutes = static_cast<int>(bucket);
    r->first = r->from - ((r->from % bucket) + bucket) % bucket;
    r->buckets = static_cast<int>((r->to - r->first) / bucket + 1);
    if (r->buckets > SERIES_MAX_POINTS + 1) {
        *error = "the range needs too many points";
        return 0;
    }
    return 1;
}

void series_start(SeriesBuilder *b, const SeriesRequest &request, const UnitSettings &units)
{
    b->request = request;
    b->units = units;
    SeriesCell empty{};
    empty.min = HUGE_VAL;
    empty.max = -HUGE_VAL;
    b->cells.assign(static_cast<std::size_t>(request.buckets) * FIELD_COUNT, empty);
    b->records.assign(static_cast<std::size_t>(request.buckets), 0);
    b->rain = DailyRain{};
}

namespace {

// Decodes the fields of one record, the pressure as the configured kind
// picks it; the rain field holds what fell since the last record.
struct Readings {
    double value[FIELD_COUNT];
    int have[FIELD_COUNT];
};

void read_record(const WebRecord &record, DailyRain *rain, Readings *out, const UnitSettings &units)
{
    RecordReadings got;
    record_readings(record.text, 450, &got);
    for (int f = 0; f < FIELD_COUNT; ++f) {
        const int r = field_reading(f, units);
        out->have[f] = got.have[r];
        out->value[f] = got.value[r];
    }
    if (out->have[FIELD_RAIN])
        out->value[FIELD_RAIN] = daily_rain_fell(rain, record.minutes, out->value[FIELD_RAIN]);
}

} // namespace

void series_add(SeriesBuilder *b, const WebRecord &record)
{
    const SeriesRequest &r = b->request;
    Readings got;
    read_record(record, &b->rain, &got, b->units);
    if (record.minutes < r.from || record.minutes > r.to ||
        (record.minutes >= b->summarised_from && record.minutes <= b->summarised_to))
        return;
    const std::size_t bucket = static_cast<std::size_t>((record.minutes - r.first) / r.bucket_minutes);
    ++b->records[bucket];
    for (int f = 0; f < FIELD_COUNT; ++f) {
        if (!got.have[f] || !(r.fields & (1u << f)))
            continue;
        SeriesCell &c = b->cells[bucket * FIELD_COUNT + f];
        const double v = got.value[f];
        if (f == FIELD_WIND_DIRECTION) {
            c.east += std::sin(v * PI / 180);
            c.north += std::cos(v * PI / 180);
        }
        cell_add(&c, ReadingSums{v, v, v, 0, 0, 1});
    }
}

void series_add_period(SeriesBuilder *b, long long start, const PeriodSummary &summary)
{
    const SeriesRequest &r = b->request;
    const std::size_t bucket = static_cast<std::size_t>((start - r.first) / r.bucket_minutes);
    b->records[bucket] += static_cast<long>(summary.records);
    for (int f = 0; f < FIELD_COUNT; ++f) {
        const ReadingSums &got = summary.reading[field_reading(f, b->units)];
        if (!got.count || !(r.fields & (1u << f)))
            continue;
        SeriesCell &c = b->cells[bucket * FIELD_COUNT + f];
        if (f == FIELD_WIND_DIRECTION) {
            c.east += summary.direction_east;
            c.north += summary.direction_north;
        }
        if (f == FIELD_RAIN)
            cell_add(&c, ReadingSums{got.min, got.max, summary.rain, 0, 0, got.count});
        else
            cell_add(&c, got);
    }
}

std::string series_json(const SeriesBuilder &b)
{
    const UnitSettings &units = b.units;
    const SeriesRequest &r = b.request;
    std::string out = "{\"from\":" + quoted(iso_time(r.from)) + ",\"to\":" + quoted(iso_time(r.to)) +
                      ",\"bucket_minutes\":" + std::to_string(r.bucket_minutes) +
                      ",\"units\":" + units_json(units) + ",\"time\":[";
    for (int i = 0; i < r.buckets; ++i) {
        if (i)
            out += ',';
        add_json_string(out, iso_time(r.first + static_cast<long long>(i) * r.bucket_minutes));
    }
    out += "],\"series\":{";
    int first = 1;
    for (int f = 0; f < FIELD_COUNT; ++f) {
        if (!(r.fields & (1u << f)))
            continue;
        out += first ? "\"" : ",\"";
        first = 0;
        out += fields[f].name;
        out += "\":{";
        std::vector<std::string> lo, mean, hi;
        for (int i = 0; i < r.buckets; ++i) {
            const SeriesCell &c = b.cells[static_cast<std::size_t>(i) * FIELD_COUNT + f];
            const ReadingKind kind = fields[f].kind;
            if (f == FIELD_RAIN) {
                // A bucket with records but no rain fell dry; one without
                // records is a gap.
                mean.push_back(b.records[i] ? shown_number(kind, c.sum, units) : "null");
            } else if (!c.count) {
                lo.push_back("null");
                mean.push_back("null");
                hi.push_back("null");
            } else if (f == FIELD_WIND_DIRECTION) {
                double degrees = std::atan2(c.east, c.north) * 180 / PI;
                degrees = degrees < 0 ? degrees + 360 : degrees;
                mean.push_back(shown_number(kind, degrees >= 359.5 ? 0 : degrees, units));
            } else {
                lo.push_back(shown_number(kind, c.min, units));
                mean.push_back(shown_number(kind, c.sum / c.count, units));
                hi.push_back(shown_number(kind, c.max, units));
            }
        }
        if (f == FIELD_RAIN) {
            out += "\"sum\":";
            add_list(out, mean);
        } else if (f == FIELD_WIND_DIRECTION) {
            out += "\"mean\":";
            add_list(out, mean);
        } else {
            out += "\"min\":";
            add_list(out, lo);
            out += ",\"mean\":";
            add_list(out, mean);
            out += ",\"max\":";
            add_list(out, hi);
        }
        out += '}';
    }
    out += "}}";
    return out;
}

int parse_summary_request(const std::string &period, const std::string &date, long long newest,
                          SummaryRequest *r, std::string *error)
{
    *r = SummaryRequest{};
    long long at = newest;
    if (!date.empty() && (date.size() != 10 || !parse_clock_time(date, 0, &at))) {
        *error = "date: expected YYYY-MM-DD, not \"" + date + "\"";
        return 0;
    }
    const CivilTime t = civil_from_minutes(at);
    char label[16];
    if (period == "day") {
        r->period = SummaryPeriod::day;
        r->from = minutes_of(t.year, t.month, t.day, 0, 0);
        r->to = r->from + MINUTES_PER_DAY - 1;
        std::snprintf(label, sizeof label, "%04d-%02d-%02d", t.year, t.month, t.day);
    } else if (period == "month") {
        r->period = SummaryPeriod::month;
        r->from = minutes_of(t.year, t.month, 1, 0, 0);
        r->to = r->from + days_in_month(t.year, t.month) * MINUTES_PER_DAY - 1;
        std::snprintf(label, sizeof label, "%04d-%02d", t.year, t.month);
    } else if (period == "year") {
        r->period = SummaryPeriod::year;
        r->from = minutes_of(t.year, 1, 1, 0, 0);
        r->to = minutes_of(t.year + 1, 1, 1, 0, 0) - 1;
        std::snprintf(label, sizeof label, "%04d", t.year);
    } else if (period == "all") {
        r->period = SummaryPeriod::all;
        r->from = minutes_of(1970, 1, 1, 0, 0);
        r->to = minutes_of(2200, 1, 1, 0, 0) - 1;
        std::snprintf(label, sizeof label, "all");
    } else {
        *error = "period: expected day, month, year or all, not \"" + period + "\"";
        return 0;
    }
    r->label = label;
    return 1;
}

void summary_start(SummaryBuilder *b, const SummaryRequest &request, const UnitSettings &units)
{
    b->request = request;
    b->units = units;
    for (ReadingSums &e : b->field)
        e = ReadingSums{HUGE_VAL, -HUGE_VAL, 0, 0, 0, 0};
    b->rain = DailyRain{};
    b->rain_totals.clear();
    b->rain_total = 0;
    b->records = 0;
}

namespace {

// Rain goes to the day, month or year it fell in, kept in time order: a
// clock set back over midnight adds to the day it came back to.
void add_rain(SummaryBuilder *b, long long minutes, double fell)
{
    const CivilTime t = civil_from_minutes(minutes);
    char key[16];
    if (b->request.period == SummaryPeriod::year)
        std::snprintf(key, sizeof key, "%04d-%02d", t.year, t.month);
    else if (b->request.period == SummaryPeriod::all)
        std::snprintf(key, sizeof key, "%04d", t.year);
    else
        std::snprintf(key, sizeof key, "%04d-%02d-%02d", t.year, t.month, t.day);
    auto &totals = b->rain_totals;
    auto at = totals.end();
    while (at != totals.begin() && key < std::prev(at)->first)
        --at;
    if (at == totals.begin() || std::prev(at)->first != key)
        at = std::next(totals.emplace(at, key, 0.0));
    std::prev(at)->second += fell;
    b->rain_total += fell;
}

void extreme_add(ReadingSums *e, const ReadingSums &r)
{
    if (r.min < e->min || (r.min == e->min && r.min_at < e->min_at)) {
        e->min = r.min;
        e->min_at = r.min_at;
    }
    if (r.max > e->max || (r.max == e->max && r.max_at < e->max_at)) {
        e->max = r.max;
        e->max_at = r.max_at;
    }
    e->count += r.count;
}

} // namespace

void summary_add(SummaryBuilder *b, const WebRecord &record)
{
    const SummaryRequest &r = b->request;
    if (record.minutes < r.from || record.minutes > r.to)
        return;
    Readings got;
    read_record(record, &b->rain, &got, b->units);
    ++b->records;
    for (int f = 0; f < FIELD_COUNT; ++f)
        if (got.have[f] && f != FIELD_RAIN && f != FIELD_WIND_DIRECTION)
            extreme_add(&b->field[f], ReadingSums{got.value[f], got.value[f], 0, record.minutes,
                                                  record.minutes, 1});
    if (got.have[FIELD_RAIN])
        add_rain(b, record.minutes, got.value[FIELD_RAIN]);
}

void summary_add_day(SummaryBuilder *b, long long start, const PeriodSummary &summary)
{
    b->records += static_cast<long>(summary.records);
    for (int f = 0; f < FIELD_COUNT; ++f)
        if (f != FIELD_RAIN && f != FIELD_WIND_DIRECTION)
            extreme_add(&b->field[f], summary.reading[field_reading(f, b->units)]);
    if (summary.reading[SUM_DAILY_RAIN].count)
        add_rain(b, start, summary.rain);
}

std::string summary_json(const SummaryBuilder &b)
{
    const UnitSettings &units = b.units;
    const SummaryRequest &r = b.request;
    static const char *const period_names[] = {"day", "month", "year", "all"};
    std::string out = "{\"period\":" + quoted(period_names[static_cast<int>(r.period)]) +
                      ",\"label\":" + quoted(r.label) + ",\"records\":" +
                      std::to_string(b.records) + ",\"units\":" + units_json(units) +
                      ",\"highs_lows\":{";
    int first = 1;
    for (int f = 0; f < FIELD_COUNT; ++f) {
        if (f == FIELD_RAIN || f == FIELD_WIND_DIRECTION)
            continue;
        const ReadingSums &e = b.field[f];
        out += first ? "\"" : ",\"";
        first = 0;
        out += fields[f].name;
        out += "\":";
        if (!e.count) {
            out += "null";
            continue;
        }
        const ReadingKind kind = fields[f].kind;
        out += "{\"min\":" + shown_number(kind, e.min, units) + ",\"min_time\":" +
               quoted(iso_time(e.min_at)) + ",\"max\":" + shown_number(kind, e.max, units) +
               ",\"max_time\":" + quoted(iso_time(e.max_at)) + "}";
    }
    out += "},\"rain\":{\"total\":";
    out += b.records ? shown_number(ReadingKind::rain_amount, b.rain_total, units) : "null";
    out += ",\"totals\":[";
    for (std::size_t i = 0; i < b.rain_totals.size(); ++i) {
        if (i)
            out += ',';
        out += "{\"period\":" + quoted(b.rain_totals[i].first) + ",\"total\":" +
               shown_number(ReadingKind::rain_amount, b.rain_totals[i].second, units) + "}";
    }
    out += "]}}";
    return out;
}

std::string live_answer_json(const std::string &readings_json, const char *source, int stale,
                             const std::string &read_at)
{
    std::string out = "{\"source\":" + quoted(source) + ",\"stale\":" + (stale ? "true" : "false") +
                      ",\"read_at\":";
    out += read_at.empty() ? "null" : quoted(read_at);
    out += ",\"readings\":";
    out += readings_json.empty() ? "null" : readings_json;
    out += '}';
    return out;
}

namespace {

// `value` as "%.1f" (tenths) or "%.0f" writes it. By hand where that is
// plain, since a year's chart prints tens of thousands of numbers; through
// printf within a hair of a rounding tie, or for huge or odd values.
void fixed_text(double value, int tenths, char *text, std::size_t size)
{
    const double scaled = value * (tenths ? 10 : 1);
    const double below = std::floor(scaled);
    if (!std::isfinite(scaled) || std::fabs(scaled) > 1e9 || std::fabs(scaled - below - 0.5) < 1e-6 ||
        size < 16) {
        std::snprintf(text, size, tenths ? "%.1f" : "%.0f", value);
        return;
    }
    long long n = static_cast<long long>(scaled - below < 0.5 ? below : below + 1);
    n = n < 0 ? -n : n;
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0 || (tenths && count < 2));
    std::size_t at = 0;
    if (std::signbit(value))
        text[at++] = '-';
    while (count > 0) {
        if (tenths && count == 1)
            text[at++] = '.';
        text[at++] = digits[--count];
    }
    text[at] = 0;
}

} // namespace

std::string shown_number(ReadingKind kind, double value, const UnitSettings &units)
{
    // In the console's own decimals, so that the conversions start from the
    // text the console would have sent.
    char text[48];
    const int whole = kind == ReadingKind::humidity || kind == ReadingKind::direction;
    fixed_text(value, !whole, text, sizeof text);
    char16_t token[32];
    int n = 0;
    for (; text[n] && n < 31; ++n)
        token[n] = static_cast<char16_t>(text[n]);
    token[n] = 0;
    FormattedText f;
    switch (kind) {
    case ReadingKind::temperature: f = format_temperature(token, units.temperature_unit); break;
    case ReadingKind::pressure: f = format_pressure(token, units.pressure_unit); break;
    case ReadingKind::wind_speed: f = format_wind_speed(token, units.wind_unit); break;
    case ReadingKind::rain_amount:
    case ReadingKind::rain_rate: f = format_rain(token, units.rain_unit); break;
    default: std::memcpy(f.text, token, sizeof token); break;
    }
    std::string out;
    for (const char16_t *p = f.text; *p; ++p) {
        if ((*p < '0' || *p > '9') && *p != '-' && *p != '.')
            return "null";
        out += static_cast<char>(*p);
    }
    return out.empty() || out == "-" ? "null" : out;
}

std::string units_json(const UnitSettings &units)
{
    const struct {
        const char *name;
        ReadingKind kind;
    } kinds[] = {{"temperature", ReadingKind::temperature}, {"humidity", ReadingKind::humidity},
                 {"pressure", ReadingKind::pressure},       {"wind_speed", ReadingKind::wind_speed},
                 {"rain", ReadingKind::rain_amount},        {"rain_rate", ReadingKind::rain_rate}};
    std::string out = "{";
    for (const auto &k : kinds) {
        if (out.size() > 1)
            out += ',';
        add_json_string(out, k.name);
        out += ':';
        char label[64];
        utf16_to_utf8(unit_label(k.kind, units), label, sizeof label);
        add_json_string(out, label);
    }
    out += ",\"pressure_kind\":";
    add_json_string(out, pressure_token(units.pressure_kind) == token::rel_pressure ? "relative"
                                                                                   : "absolute");
    out += ",\"direction\":";
    add_json_string(out, units.direction_style == 1 ? "degrees" : "compass");
    out += '}';
    return out;
}

std::string error_json(const std::string &reason) { return "{\"error\":" + quoted(reason) + "}"; }
