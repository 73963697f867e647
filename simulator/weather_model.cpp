#include "simulator/weather_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double PI = 3.14159265358979323846;

// ---- deterministic noise ---------------------------------------------

std::uint64_t mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A value in [0, 1) fixed by seed, channel and step number.
double hash01(std::uint32_t seed, std::uint32_t channel, std::int64_t step)
{
    const std::uint64_t h = mix(mix((static_cast<std::uint64_t>(seed) << 32) | channel) ^
                                static_cast<std::uint64_t>(step));
    return static_cast<double>(h >> 11) / 9007199254740992.0;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Smooth noise in [-1, 1]: random values every period seconds, eased in between.
double smooth(std::uint32_t seed, std::uint32_t channel, std::int64_t t, std::int64_t period)
{
    const std::int64_t k = floor_div(t, period);
    const double f = static_cast<double>(t - k * period) / static_cast<double>(period);
    const double e = f * f * (3 - 2 * f);
    const double a = hash01(seed, channel, k), b = hash01(seed, channel, k + 1);
    return (a + (b - a) * e) * 2 - 1;
}

double clamp(double v, double lo, double hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

// ---- showers -----------------------------------------------------------

// Some hours bring a shower: a start minute, a length and a rate (mm/h).
struct Shower {
    std::int64_t start, end;
    double rate;
};

Shower shower_of_hour(std::uint32_t seed, std::int64_t hour)
{
    Shower s = {0, 0, 0};
    if (hash01(seed, 40, hour) >= 0.12)
        return s;
    const std::int64_t begin = hour * 3600 + static_cast<std::int64_t>(hash01(seed, 41, hour) * 30) * 60;
    s.start = begin;
    s.end = begin + (5 + static_cast<std::int64_t>(hash01(seed, 42, hour) * 25)) * 60;
    s.rate = 0.6 + 9.0 * hash01(seed, 43, hour) * hash01(seed, 44, hour);
    return s;
}

double rain_between(std::uint32_t seed, std::int64_t from, std::int64_t to)
{
    double mm = 0;
    for (std::int64_t hour = floor_div(from, 3600); hour * 3600 < to; ++hour) {
        const Shower s = shower_of_hour(seed, hour);
        const std::int64_t a = s.start > from ? s.start : from;
        const std::int64_t b = s.end < to ? s.end : to;
        if (s.rate > 0 && b > a)
            mm += s.rate * static_cast<double>(b - a) / 3600.0;
    }
    return mm;
}

double rain_rate_at(std::uint32_t seed, std::int64_t t)
{
    const Shower s = shower_of_hour(seed, floor_div(t, 3600));
    return (s.rate > 0 && t >= s.start && t < s.end) ? s.rate : 0.0;
}

// ---- derived readings --------------------------------------------------

double dew_point(double temp, double humidity)
{
    const double a = 17.62, b = 243.12;
    const double g = std::log(clamp(humidity, 1, 100) / 100.0) + a * temp / (b + temp);
    return b * g / (a - g);
}

double heat_index(double temp, double humidity)
{
    if (temp < 26.7)
        return temp;
    const double f = temp * 9 / 5 + 32, r = humidity;
    const double hi = -42.379 + 2.04901523 * f + 10.14333127 * r - 0.22475541 * f * r -
                      0.00683783 * f * f - 0.05481717 * r * r + 0.00122874 * f * f * r +
                      0.00085282 * f * r * r - 0.00000199 * f * f * r * r;
    return (hi - 32) * 5 / 9;
}

double wind_chill(double temp, double kmh)
{
    if (temp > 10 || kmh <= 4.8)
        return temp;
    const double v = std::pow(kmh, 0.16);
    return 13.12 + 0.6215 * temp - 11.37 * v + 0.3965 * temp * v;
}

// ---- text ----------------------------------------------------------------

// One decimal, never "-0.0".
void put1(char *out, std::size_t capacity, double v)
{
    double r = std::round(v * 10) / 10;
    if (r == 0)
        r = 0;
    std::snprintf(out, capacity, "%.1f", r);
}

long tenths(double v)
{
    return std::lround(v * 10);
}

// Appends with snprintf; gives 0 once anything did not fit.
struct Writer {
    char *out;
    std::size_t capacity;
    std::size_t length;
    int ok;
};

template <typename... Args>
void append(Writer &w, const char *format, Args... args)
{
    if (!w.ok)
        return;
    const int n = std::snprintf(w.out + w.length, w.capacity - w.length, format, args...);
    if (n < 0 || static_cast<std::size_t>(n) >= w.capacity - w.length) {
        w.ok = 0;
        return;
    }
    w.length += static_cast<std::size_t>(n);
}

std::size_t finish(const Writer &w)
{
    if (!w.ok) {
        if (w.capacity)
            w.out[0] = 0;
        return 0;
    }
    return w.length;
}

} // namespace

const char *compass_point(int degrees)
{
    static const char *const names[16] = {"N",  "NNE", "NE", "ENE", "E",  "ESE", "SE", "SSE",
                                          "S",  "SSW", "SW", "WSW", "W",  "WNW", "NW", "NNW"};
    const int d = ((degrees % 360) + 360) % 360;
    return names[((d * 2 + 22) / 45) % 16];  // sixteen sectors of 22.5 degrees, N centred on 0
}

void weather_at(std::uint32_t seed, std::int64_t t, WeatherReading *w)
{
    const CivilTime c = civil_from_seconds(t);
    const double hour = c.hour + c.minute / 60.0 + c.second / 3600.0;
    const std::int64_t day_start = t - (c.hour * 3600 + c.minute * 60 + c.second);
    const double year_angle = 2 * PI * (static_cast<double>(floor_div(t, 86400)) - 20) / 365.25;

    // Temperature: a season, a daily cycle peaking mid-afternoon, weather
    // fronts over days and a little flicker.
    const double season_mean = 11 - 9 * std::cos(year_angle);
    const double day_swing = 4 + 2 * hash01(seed, 1, floor_div(t, 86400));
    const double rate = rain_rate_at(seed, t);
    w->outdoor_temp = season_mean + day_swing * std::cos(2 * PI * (hour - 15) / 24) +
                      3 * smooth(seed, 2, t, 2 * 86400) + 0.3 * smooth(seed, 3, t, 600) -
                      (rate > 0 ? 1.5 : 0);
    w->outdoor_humidity = std::round(clamp(72 - 2.5 * (w->outdoor_temp - season_mean) +
                                               10 * smooth(seed, 4, t, 6 * 3600) + (rate > 0 ? 18 : 0),
                                           18, 99));
    w->indoor_temp = 21 + 0.8 * std::sin(2 * PI * (hour - 9) / 24) + 0.3 * smooth(seed, 5, t, 1800);
    w->indoor_humidity = std::round(clamp(45 + 6 * smooth(seed, 6, t, 4 * 3600), 25, 70));

    // Pressure drifts over days; the station stands about 100 m up.
    w->rel_pressure = 1013 + 12 * smooth(seed, 7, t, 3 * 86400) + 0.6 * smooth(seed, 8, t, 3600);
    w->abs_pressure = w->rel_pressure - 12.1;

    // Wind: a slow strength, gusts on top, the direction turning steadily
    // through the compass with some wobble.
    w->wind_speed = clamp(9 + 9 * smooth(seed, 9, t, 6 * 3600) + 3 * smooth(seed, 10, t, 120), 0, 80);
    w->wind_gust = w->wind_speed * (1.2 + 0.5 * hash01(seed, 11, floor_div(t, 20))) + 1.0;
    // Half-hourly memory records all fall on the same phase of the turn, so
    // a slow wander keeps them apart.
    const double dir = std::fmod(static_cast<double>(t % 720) / 2.0 + 180 * smooth(seed, 15, t, 8 * 3600) +
                                     40 * smooth(seed, 12, t, 300) + 720,
                                 360);
    w->wind_dir = static_cast<int>(dir) % 360;

    // Rain.
    w->rain_rate = rate;
    w->hourly_rain = rain_between(seed, t - 3600, t);
    w->daily_rain = rain_between(seed, day_start, t);
    const int weekday = static_cast<int>((floor_div(t, 86400) + 3) % 7);  // 0 Monday
    w->weekly_rain = rain_between(seed, day_start - weekday * 86400LL, t);
    w->monthly_rain = rain_between(seed, day_start - (c.day - 1) * 86400LL, t);

    // UV: daylight only, less under cloud and rain.
    const double sun = std::sin(PI * (hour - 7) / 10);
    const double strength = 4 - 3 * std::cos(year_angle);
    w->uv_index = sun > 0 && rate == 0
                      ? static_cast<int>(std::lround(sun * strength * (0.6 + 0.4 * hash01(seed, 13, floor_div(t, 3600)))))
                      : 0;

    w->dew_point = dew_point(w->outdoor_temp, w->outdoor_humidity);
    w->heat_index = heat_index(w->outdoor_temp, w->outdoor_humidity);
    w->wind_chill = wind_chill(w->outdoor_temp, w->wind_speed);

    // Extra channels: a greenhouse, a cellar, a fridge, a bedroom, a pool
    // thermometer without humidity sensor; channels 6 and 7 have none.
    const double flicker = 0.2 * smooth(seed, 14, t, 900);
    const double temps[WEATHER_CHANNELS] = {w->outdoor_temp + 4 + 3 * (sun > 0 ? sun : 0),
                                            12.5 + flicker, 4.2 + flicker, w->indoor_temp - 1.8,
                                            clamp(season_mean + 2, 4, 28) + flicker, 0, 0};
    const double hums[WEATHER_CHANNELS] = {clamp(w->outdoor_humidity + 8, 20, 99), 68, 55,
                                           w->indoor_humidity + 3, 0, 0, 0};
    for (int i = 0; i < WEATHER_CHANNELS; ++i) {
        w->channel_temp[i] = temps[i];
        w->channel_humidity[i] = std::round(hums[i]);
        w->channel_has_temp[i] = i < 5;
        w->channel_has_humidity[i] = i < 4;
    }
}

std::size_t format_station_record(const WeatherReading &w, int logger_percent, std::int64_t seconds,
                                  char *out, std::size_t capacity)
{
    Writer o = {out, capacity, 0, capacity > 0};
    const CivilTime c = civil_from_seconds(seconds);
    char v[8][24];
    append(o, "%d %04d-%02d-%02d %02d:%02d", logger_percent, c.year, c.month, c.day, c.hour, c.minute);
    put1(v[0], sizeof v[0], w.indoor_temp);
    put1(v[1], sizeof v[1], w.outdoor_temp);
    put1(v[2], sizeof v[2], w.daily_rain);
    put1(v[3], sizeof v[3], w.rain_rate);
    put1(v[4], sizeof v[4], w.wind_speed);
    put1(v[5], sizeof v[5], w.wind_gust);
    append(o, " %s %d %s %d %s %s %s %s %d %s", v[0], static_cast<int>(w.indoor_humidity), v[1],
           static_cast<int>(w.outdoor_humidity), v[2], v[3], v[4], v[5], w.wind_dir,
           compass_point(w.wind_dir));
    put1(v[0], sizeof v[0], w.rel_pressure);
    put1(v[1], sizeof v[1], w.abs_pressure);
    put1(v[2], sizeof v[2], w.dew_point);
    put1(v[3], sizeof v[3], w.heat_index);
    append(o, " %s %s %d %s %s", v[0], v[1], w.uv_index, v[2], v[3]);
    for (int i = 0; i < WEATHER_CHANNELS; ++i) {
        put1(v[0], sizeof v[0], w.channel_temp[i]);
        append(o, " %s", w.channel_has_temp[i] ? v[0] : "--.-");
        if (w.channel_has_humidity[i])
            append(o, " %d", static_cast<int>(w.channel_humidity[i]));
        else
            append(o, "%s", " --");
    }
    put1(v[0], sizeof v[0], w.wind_chill);
    put1(v[1], sizeof v[1], w.hourly_rain);
    put1(v[2], sizeof v[2], w.weekly_rain);
    put1(v[3], sizeof v[3], w.monthly_rain);
    append(o, " %s %s %s %s", v[0], v[1], v[2], v[3]);
    return finish(o);
}

std::size_t format_wu_body(const WeatherReading &w, char *out, std::size_t capacity)
{
    Writer o = {out, capacity, 0, capacity > 0};
    const auto f = [](double c) { return c * 9 / 5 + 32; };
    append(o, "dateutc=now&tempf=%.1f&humidity=%d&dewptf=%.1f&windspeedmph=%.1f&windgustmph=%.1f"
              "&winddir=%d&rainin=%.2f&dailyrainin=%.2f&baromin=%.2f&UV=%d&indoortempf=%.1f"
              "&indoorhumidity=%d",
           f(w.outdoor_temp), static_cast<int>(w.outdoor_humidity), f(w.dew_point),
           w.wind_speed / 1.609344, w.wind_gust / 1.609344, w.wind_dir, w.hourly_rain / 25.4,
           w.daily_rain / 25.4, w.rel_pressure * 0.0295299830714, w.uv_index, f(w.indoor_temp),
           static_cast<int>(w.indoor_humidity));
    return finish(o);
}

std::size_t format_wc_body(const WeatherReading &w, char *out, std::size_t capacity)
{
    Writer o = {out, capacity, 0, capacity > 0};
    append(o, "/temp/%ld/hum/%d/dew/%ld/heat/%ld/chill/%ld/bar/%ld/wspd/%ld/wspdhi/%ld/wdir/%d"
              "/rain/%ld/rainrate/%ld/uvi/%d/tempin/%ld/humin/%d",
           tenths(w.outdoor_temp), static_cast<int>(w.outdoor_humidity), tenths(w.dew_point),
           tenths(w.heat_index), tenths(w.wind_chill), tenths(w.rel_pressure),
           tenths(w.wind_speed / 3.6), tenths(w.wind_gust / 3.6), w.wind_dir, tenths(w.daily_rain),
           tenths(w.rain_rate), w.uv_index * 10, tenths(w.indoor_temp),
           static_cast<int>(w.indoor_humidity));
    return finish(o);
}

// ---- the demo driver -----------------------------------------------------

namespace {

int logger_percent(const VirtualConsole *console)
{
    return static_cast<int>(console->history.size() * 100 / DEMO_LOGGER_CAPACITY);
}

// The console's record of the weather at a clock time; 0 when it does not fit.
std::size_t record_at(const DemoConsole *demo, const VirtualConsole *console, std::int64_t seconds,
                      char *record, std::size_t capacity)
{
    WeatherReading w;
    weather_at(demo->seed, seconds, &w);
    return format_station_record(w, logger_percent(console), seconds, record, capacity);
}

void add_memory_record(const DemoConsole *demo, VirtualConsole *console, std::int64_t seconds)
{
    if (console->history.size() >= static_cast<std::size_t>(DEMO_LOGGER_CAPACITY))
        console->history.pop_front();  // the logger overwrites its oldest
    char record[CONSOLE_MAX_PAYLOAD + 1];
    if (const std::size_t n = record_at(demo, console, seconds, record, sizeof record))
        console_add_history(console, record, n);
}

void renew_live(const DemoConsole *demo, VirtualConsole *console, std::int64_t now_ms)
{
    char record[CONSOLE_MAX_PAYLOAD + 1];
    if (const std::size_t n = record_at(demo, console, console_clock(console, now_ms), record, sizeof record))
        console_set_live(console, record, n);
}

void queue_body(const DemoConsole *demo, VirtualConsole *console, std::uint8_t type, std::int64_t now_ms)
{
    WeatherReading w;
    weather_at(demo->seed, console_clock(console, now_ms), &w);
    char body[CONSOLE_MAX_PAYLOAD + 1];
    const std::size_t n = type == JOB_WU_BODY ? format_wu_body(w, body, sizeof body)
                                              : format_wc_body(w, body, sizeof body);
    if (n)
        console_queue(console, type, reinterpret_cast<const std::uint8_t *>(body), n);
}

} // namespace

void demo_start(DemoConsole *demo, VirtualConsole *console, std::uint32_t seed, int history_days,
                std::int64_t now_ms)
{
    *demo = DemoConsole{};
    demo->seed = seed;
    demo->cadence = {5000, 60000, 600000, 3000};
    const std::int64_t clock = console_clock(console, now_ms);
    const std::int64_t last = floor_div(clock, DEMO_HISTORY_INTERVAL) * DEMO_HISTORY_INTERVAL;
    console_clear_history(console);
    for (std::int64_t s = last - (history_days * 86400LL) + DEMO_HISTORY_INTERVAL; s <= last;
         s += DEMO_HISTORY_INTERVAL)
        add_memory_record(demo, console, s);
    demo->next_history_seconds = last + DEMO_HISTORY_INTERVAL;
    renew_live(demo, console, now_ms);
    demo->live_seconds = clock;
    demo->next_live_ms = now_ms + demo->cadence.live_ms;
    demo->next_wu_ms = now_ms + demo->cadence.wu_body_ms;
    demo->next_wc_ms = now_ms + demo->cadence.wc_body_ms;
}

void demo_step(DemoConsole *demo, VirtualConsole *console, std::int64_t now_ms)
{
    // The memory follows the console's clock; a clock set far ahead does
    // not flood it, a clock set back waits for its next slot.
    const std::int64_t clock = console_clock(console, now_ms);
    if (clock >= demo->next_history_seconds) {
        const std::int64_t last = floor_div(clock, DEMO_HISTORY_INTERVAL) * DEMO_HISTORY_INTERVAL;
        add_memory_record(demo, console, last);
        demo->next_history_seconds = last + DEMO_HISTORY_INTERVAL;
    } else if (demo->next_history_seconds - clock > 2 * DEMO_HISTORY_INTERVAL) {
        demo->next_history_seconds = (floor_div(clock, DEMO_HISTORY_INTERVAL) + 1) * DEMO_HISTORY_INTERVAL;
    }
    if (clock != demo->live_seconds) {
        renew_live(demo, console, now_ms);
        demo->live_seconds = clock;
    }

    if (!console->connected)
        return;
    if (console->connections != demo->greeted_connection) {
        demo->greeted_connection = console->connections;
        demo->time_request_at_ms = console->connected_at_ms + demo->cadence.time_request_ms;
    }
    if (demo->time_request_at_ms && now_ms >= demo->time_request_at_ms &&
        console_queue_status(console, 3, 0))
        demo->time_request_at_ms = 0;
    // Unasked reports wait while anything else is on the way, so that they
    // never cut into a history download.
    if (!console_idle(console))
        return;
    if (now_ms >= demo->next_wc_ms) {
        queue_body(demo, console, JOB_WC_BODY, now_ms);
        demo->next_wc_ms = now_ms + demo->cadence.wc_body_ms;
    } else if (now_ms >= demo->next_wu_ms) {
        queue_body(demo, console, JOB_WU_BODY, now_ms);
        demo->next_wu_ms = now_ms + demo->cadence.wu_body_ms;
    } else if (now_ms >= demo->next_live_ms) {
        console_queue(console, JOB_LIVE, nullptr, 0);
        demo->next_live_ms = now_ms + demo->cadence.live_ms;
    }
}

std::int64_t demo_wait_ms(const DemoConsole *demo, const VirtualConsole *console, std::int64_t now_ms)
{
    if (!console->connected)
        return 1000;
    // Unasked reports wait for the console to be idle, which only a reply
    // or the console's own timeout brings about; a due one must not make
    // the caller spin meanwhile.
    std::int64_t due = now_ms + 1000;
    if (console_idle(console)) {
        due = std::min({demo->next_live_ms, demo->next_wu_ms, demo->next_wc_ms});
    }
    if (demo->time_request_at_ms && demo->time_request_at_ms < due)
        due = demo->time_request_at_ms;
    const std::int64_t left = due - now_ms;
    return left < 0 ? 0 : left;
}
