#include "report/climate_report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "live/units.h"
#include "common/calendar.h"
#include "upload/request.h"
#include "web/api.h"

namespace {

const char *const month_names[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char *const points[16] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
constexpr double PI = 3.14159265358979323846;

// A value as the dashboard would show it, and that shown number again, so
// that the totals add up the figures printed above them.
struct Shown {
    std::string text;
    double value;
};

Shown shown(ReadingKind kind, double value, const UnitSettings &units)
{
    Shown s{shown_number(kind, value, units), 0};
    if (s.text == "null")
        s.text = "---";
    else
        s.value = std::strtod(s.text.c_str(), nullptr);
    return s;
}

std::string fixed(double value, int places)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", places, value < 0.005 && value > -0.005 ? 0.0 : value);
    return text;
}

int rain_places(const UnitSettings &units) { return units.rain_unit == 1 ? 2 : 1; }

// What a row shows of one day or of several.
struct Totals {
    ReadingStat temperature{HUGE_VAL, -HUGE_VAL, 0, 0, 0, 0};
    ReadingStat wind{HUGE_VAL, -HUGE_VAL, 0, 0, 0, 0};
    ReadingStat gust{HUGE_VAL, -HUGE_VAL, 0, 0, 0, 0};
    double heat = 0, cool = 0, rain = 0, east = 0, north = 0;
    int degree_days = 0, have_rain = 0;
    long records = 0;
    // Days beyond the usual marks, and the wettest day.
    int hot = 0, freezing_high = 0, freezing_low = 0, very_cold = 0;
    int rain_days[3] = {0, 0, 0};
    double wettest = -1;
    long long wettest_at = 0;
};

void merge(ReadingStat *into, const ReadingStat &from)
{
    if (!from.count)
        return;
    if (from.min < into->min || (from.min == into->min && from.min_at < into->min_at)) {
        into->min = from.min;
        into->min_at = from.min_at;
    }
    if (from.max > into->max || (from.max == into->max && from.max_at < into->max_at)) {
        into->max = from.max;
        into->max_at = from.max_at;
    }
    into->sum += from.sum;
    into->count += from.count;
}

long long day_start(const DaySummary &d)
{
    return seconds_from_civil({d.year, d.month, d.day, 0, 0, 0}) / 60;
}

void add_day(Totals *t, const DaySummary &d, const UnitSettings &units)
{
    const int fahrenheit = units.temperature_unit == 1;
    if (d.temperature.count) {
        const double base = fahrenheit ? DEGREE_DAY_BASE_F : DEGREE_DAY_BASE_C;
        const Shown mean = shown(ReadingKind::temperature, d.temperature.sum / d.temperature.count, units);
        const double high = shown(ReadingKind::temperature, d.temperature.max, units).value;
        const double low = shown(ReadingKind::temperature, d.temperature.min, units).value;
        t->heat += mean.value < base ? std::strtod(fixed(base - mean.value, 1).c_str(), nullptr) : 0;
        t->cool += mean.value > base ? std::strtod(fixed(mean.value - base, 1).c_str(), nullptr) : 0;
        t->degree_days = 1;
        // 90 °F and 32 °F and 0 °F, as °C to a tenth.
        t->hot += high >= (fahrenheit ? 90.0 : 32.2);
        t->freezing_high += high <= (fahrenheit ? 32.0 : 0.0);
        t->freezing_low += low <= (fahrenheit ? 32.0 : 0.0);
        t->very_cold += low <= (fahrenheit ? 0.0 : -17.8);
    }
    merge(&t->temperature, d.temperature);
    merge(&t->wind, d.wind);
    merge(&t->gust, d.gust);
    if (d.have_rain) {
        const double fell = shown(ReadingKind::rain_amount, d.rain, units).value;
        static const double marks_mm[3] = {0.2, 2.0, 20.0}, marks_in[3] = {0.01, 0.1, 1.0};
        for (int i = 0; i < 3; ++i)
            t->rain_days[i] += fell >= (units.rain_unit == 1 ? marks_in[i] : marks_mm[i]) - 1e-9;
        if (fell > t->wettest) {
            t->wettest = fell;
            t->wettest_at = day_start(d);
        }
        t->rain += fell;
        t->have_rain = 1;
    }
    t->east += d.wind_east;
    t->north += d.wind_north;
    t->records += d.records;
}

std::string direction(double east, double north, const UnitSettings &units)
{
    if (std::hypot(east, north) < 1e-9)
        return "---";
    double degrees = std::atan2(east, north) * 180 / PI;
    degrees = degrees < 0 ? degrees + 360 : degrees;
    const int whole = static_cast<int>(std::lround(degrees)) % 360;
    if (units.direction_style == 1)
        return std::to_string(whole);
    char16_t text[8];
    const std::string digits = std::to_string(whole);
    for (std::size_t i = 0; i <= digits.size(); ++i)
        text[i] = static_cast<char16_t>(i < digits.size() ? digits[i] : 0);
    return points[direction_index(text, 1) - 1];
}

// When an extreme was reached: the clock time in a day's row, the day in a
// month's, the month and day in a year's totals.
enum class When { time, day, month_day };

std::string when(long long minutes, When style)
{
    const CivilTime t = civil_from_seconds(minutes * 60);
    char text[16];
    if (style == When::time)
        std::snprintf(text, sizeof text, "%02d:%02d", t.hour, t.minute);
    else if (style == When::day)
        std::snprintf(text, sizeof text, "%d", t.day);
    else
        std::snprintf(text, sizeof text, "%s %d", month_names[t.month - 1], t.day);
    return text;
}

// The columns, each right-aligned in 7 characters after the first.
const char *const heads[3][13] = {
    {"", "", "", "", "", "", "HEAT", "COOL", "", "AVG", "", "", ""},
    {"", "MEAN", "", "", "", "", "DEG", "DEG", "", "WIND", "", "", "DOM"},
    {"DAY", "TEMP", "HIGH", "TIME", "LOW", "TIME", "DAYS", "DAYS", "RAIN", "SPEED", "HIGH", "TIME", "DIR"},
};

std::string line_of(const std::string (&cells)[13])
{
    char text[32];
    std::snprintf(text, sizeof text, "%-4s", cells[0].c_str());
    std::string out = text;
    for (int i = 1; i < 13; ++i) {
        std::snprintf(text, sizeof text, "%7s", cells[i].c_str());
        out += text;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out + "\n";
}

std::string row(const std::string &label, const Totals &t, When style, const UnitSettings &units)
{
    std::string c[13];
    c[0] = label;
    if (!t.records)
        return line_of(c);
    const ReadingStat &temp = t.temperature, &wind = t.wind, &gust = t.gust;
    const std::string none = "---";
    c[1] = temp.count ? shown(ReadingKind::temperature, temp.sum / temp.count, units).text : none;
    c[2] = temp.count ? shown(ReadingKind::temperature, temp.max, units).text : none;
    c[3] = temp.count ? when(temp.max_at, style) : none;
    c[4] = temp.count ? shown(ReadingKind::temperature, temp.min, units).text : none;
    c[5] = temp.count ? when(temp.min_at, style) : none;
    c[6] = t.degree_days ? fixed(t.heat, 1) : none;
    c[7] = t.degree_days ? fixed(t.cool, 1) : none;
    c[8] = t.have_rain ? fixed(t.rain, rain_places(units)) : none;
    c[9] = wind.count ? shown(ReadingKind::wind_speed, wind.sum / wind.count, units).text : none;
    c[10] = gust.count ? shown(ReadingKind::wind_speed, gust.max, units).text : none;
    c[11] = gust.count ? when(gust.max_at, style) : none;
    c[12] = direction(t.east, t.north, units);
    return line_of(c);
}

std::string label_of(ReadingKind kind, const UnitSettings &units)
{
    char text[32];
    utf16_to_utf8(unit_label(kind, units), text, sizeof text);
    return text;
}

std::string extremes(const Totals &t, int year_long, const UnitSettings &units)
{
    const int f = units.temperature_unit == 1;
    const std::string rain_unit = label_of(ReadingKind::rain_amount, units);
    const int places = rain_places(units);
    std::string out;
    out += std::string("Max >= ") + (f ? "90.0" : "32.2") + ": " + std::to_string(t.hot) + "\n";
    out += std::string("Max <= ") + (f ? "32.0" : "0.0") + ": " + std::to_string(t.freezing_high) + "\n";
    out += std::string("Min <= ") + (f ? "32.0" : "0.0") + ": " + std::to_string(t.freezing_low) + "\n";
    out += std::string("Min <= ") + (f ? "0.0" : "-17.8") + ": " + std::to_string(t.very_cold) + "\n";
    if (t.have_rain)
        out += "Max rain: " + fixed(t.wettest, places) + " on " +
               when(t.wettest_at, year_long ? When::month_day : When::day) + "\n";
    const char *const marks[2][3] = {{"0.2", "2.0", "20.0"}, {"0.01", "0.10", "1.00"}};
    out += "Days of rain: ";
    for (int i = 0; i < 3; ++i)
        out += std::to_string(t.rain_days[i]) + " (>= " + marks[units.rain_unit == 1][i] + " " + rain_unit +
               (i < 2 ? "), " : ")\n");
    out += "Degree days from " + std::string(f ? "65.0 " : "18.3 ") +
           label_of(ReadingKind::temperature, units) + " of mean temperature\n";
    return out;
}

} // namespace

DaySummary empty_day(int year, int month, int day)
{
    const ReadingStat none{HUGE_VAL, -HUGE_VAL, 0, 0, 0, 0};
    return DaySummary{year, month, day, none, none, none, 0, 0, 0, 0, 0};
}

void stat_add(ReadingStat *stat, double value, long long minutes)
{
    if (value < stat->min || (value == stat->min && minutes < stat->min_at)) {
        stat->min = value;
        stat->min_at = minutes;
    }
    if (value > stat->max || (value == stat->max && minutes < stat->max_at)) {
        stat->max = value;
        stat->max_at = minutes;
    }
    stat->sum += value;
    ++stat->count;
}

int parse_report_period(const std::string &text, int *year, int *month)
{
    long long minutes;
    if (text.size() == 4 && parse_clock_time(text + "-01-01", 0, &minutes)) {
        *year = std::atoi(text.c_str());
        *month = 0;
        return 1;
    }
    if (text.size() == 7 && parse_clock_time(text + "-01", 0, &minutes)) {
        *year = std::atoi(text.c_str());
        *month = std::atoi(text.c_str() + 5);
        return 1;
    }
    return 0;
}

int climate_report(int year, int month, const std::vector<DaySummary> &days, const UnitSettings &units,
                   std::string *text)
{
    // A row per day of the month, or per month of the year.
    const int rows = month ? (seconds_from_civil({month == 12 ? year + 1 : year, month % 12 + 1, 1, 0, 0, 0}) -
                              seconds_from_civil({year, month, 1, 0, 0, 0})) / 86400
                           : 12;
    std::vector<Totals> row_totals(static_cast<std::size_t>(rows));
    Totals all;
    for (const DaySummary &d : days) {
        if (d.year != year || (month && d.month != month) || !d.records)
            continue;
        add_day(&row_totals[static_cast<std::size_t>((month ? d.day : d.month) - 1)], d, units);
        add_day(&all, d, units);
    }
    if (!all.records)
        return 0;
    char title[96];
    if (month)
        std::snprintf(title, sizeof title, "MONTHLY CLIMATOLOGICAL SUMMARY for %s %d\n", month_names[month - 1],
                      year);
    else
        std::snprintf(title, sizeof title, "ANNUAL CLIMATOLOGICAL SUMMARY for %d\n", year);
    std::string out = title;
    out += "\nTEMPERATURE (" + label_of(ReadingKind::temperature, units) + "), RAIN (" +
           label_of(ReadingKind::rain_amount, units) + "), WIND SPEED (" +
           label_of(ReadingKind::wind_speed, units) + ")\n\n";
    for (int h = 0; h < 3; ++h) {
        std::string cells[13];
        for (int i = 0; i < 13; ++i)
            cells[i] = heads[h][i];
        if (!month && h == 2)
            cells[0] = "MO", cells[3] = cells[5] = cells[11] = "DATE";
        out += line_of(cells);
    }
    const std::string rule(4 + 12 * 7, '-');
    out += rule + "\n";
    for (int r = 0; r < rows; ++r)
        out += row(month ? std::to_string(r + 1) : month_names[r], row_totals[static_cast<std::size_t>(r)],
                   month ? When::time : When::day, units);
    out += rule + "\n";
    out += row("", all, month ? When::day : When::month_day, units);
    out += "\n" + extremes(all, !month, units);
    *text = out;
    return 1;
}
