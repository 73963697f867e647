// Built-in weather for the simulated console, for demos: plausible readings
// that change with the time of day and over days (temperature cycle,
// humidity, drifting pressure, gusty wind turning through the compass,
// passing showers, seven extra channels of which some have no sensor), a
// history memory that fills every half hour, and upload bodies for both
// weather services at their own cadence.
//
// Readings are a pure function of the seed and the console's clock, so a
// history record and the live record of the same minute agree, and tests
// get the same weather every run.
#pragma once
#include <cstddef>
#include <cstdint>

#include "simulator/virtual_console.h"

constexpr int WEATHER_CHANNELS = 7;

struct WeatherReading {
    double indoor_temp, indoor_humidity;
    double outdoor_temp, outdoor_humidity;
    double daily_rain, rain_rate, hourly_rain, weekly_rain, monthly_rain;
    double wind_speed, wind_gust;  // km/h
    int wind_dir;                  // degrees, 0 to 359
    double rel_pressure, abs_pressure;
    int uv_index;
    double dew_point, heat_index, wind_chill;
    double channel_temp[WEATHER_CHANNELS];
    double channel_humidity[WEATHER_CHANNELS];
    int channel_has_temp[WEATHER_CHANNELS];
    int channel_has_humidity[WEATHER_CHANNELS];
};

// The weather at a clock time (wall-clock seconds, see console_clock).
void weather_at(std::uint32_t seed, std::int64_t seconds, WeatherReading *out);

// The 36-token station record of a reading taken at seconds, as the
// console writes it. Returns its length, or 0 when it does not fit.
std::size_t format_station_record(const WeatherReading &w, int logger_percent,
                                  std::int64_t seconds, char *out, std::size_t capacity);
// Upload bodies: a query fragment for Weather Underground and path
// elements for Weathercloud. Return the length, or 0 when it does not fit.
std::size_t format_wu_body(const WeatherReading &w, char *out, std::size_t capacity);
std::size_t format_wc_body(const WeatherReading &w, char *out, std::size_t capacity);

// The compass point name of a direction in degrees ("N", "NNE", ... "NNW").
const char *compass_point(int degrees);

// ---- the demo driver -------------------------------------------------

constexpr std::int64_t DEMO_HISTORY_INTERVAL = 30 * 60;  // seconds of console time
constexpr int DEMO_LOGGER_CAPACITY = 4096;               // records

struct DemoCadence {
    std::int64_t live_ms;          // unasked live records, so the dashboard moves
    std::int64_t wu_body_ms;
    std::int64_t wc_body_ms;
    std::int64_t time_request_ms;  // after each connect
};

struct DemoConsole {
    std::uint32_t seed;
    DemoCadence cadence;
    std::int64_t next_live_ms, next_wu_ms, next_wc_ms, time_request_at_ms;
    unsigned greeted_connection;
    std::int64_t next_history_seconds;  // clock time of the next memory record
    std::int64_t live_seconds;          // clock time of the live record
};

// Fills the console's memory with history_days of half-hourly records up
// to its clock, and its live record.
void demo_start(DemoConsole *demo, VirtualConsole *console, std::uint32_t seed, int history_days,
                std::int64_t now_ms);
// Renews the live record, adds due memory records and queues what is due.
void demo_step(DemoConsole *demo, VirtualConsole *console, std::int64_t now_ms);
// Milliseconds until demo_step has something to do.
std::int64_t demo_wait_ms(const DemoConsole *demo, const VirtualConsole *console, std::int64_t now_ms);
