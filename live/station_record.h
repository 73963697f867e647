// The station record: one line of ASCII text, 36 tokens separated by single
// spaces, each reading already formatted by the console. LiveValues holds
// the tokens as text, one 64-unit UTF-16 slot per token.
#pragma once
#include <cstddef>

constexpr int TOKEN_COUNT = 36;
constexpr int SLOT_UNITS = 64;
// Longest token kept in a slot; display code reads at most 32 units, so a
// token and its terminating zero fit there.
constexpr int TOKEN_UNITS = 31;
// The dashboard decodes only the first LIVE_RECORD_BYTES of a live record.
constexpr std::size_t LIVE_RECORD_BYTES = 255;

// Token numbers; a token's number is the count of spaces before it.
namespace token {
enum Token : int {
    logger_percent, date, time, indoor_temp, indoor_humidity, outdoor_temp,
    outdoor_humidity, daily_rain, rain_rate, wind_speed, wind_gust,
    wind_dir_degrees, wind_dir_point, rel_pressure, abs_pressure, uv_index,
    dew_point, heat_index,
    ch1_temp, ch1_humidity, ch2_temp, ch2_humidity, ch3_temp, ch3_humidity,
    ch4_temp, ch4_humidity, ch5_temp, ch5_humidity, ch6_temp, ch6_humidity,
    ch7_temp, ch7_humidity,
    wind_chill, hourly_rain, weekly_rain, monthly_rain
};
} // namespace token

struct LiveValues {
    char16_t slot[TOKEN_COUNT][SLOT_UNITS];
};

// Replaces the whole table by the tokens of the zero-terminated record
// text; a null record leaves the table unchanged. Tokens after the 36th are
// dropped and a token is cut after TOKEN_UNITS characters.
void decode_station_record(const char *record, LiveValues *values);
// The same over at most max_bytes bytes: the text ends at the first zero
// byte or after max_bytes, whichever comes first (a 450-byte history slot
// may be full; the live record is decoded from its first 255 bytes).
void decode_station_record_n(const char *record, std::size_t max_bytes, LiveValues *values);
// Where each token of a record stands in its text, read as the two above
// read it: a token after the 36th is dropped, one is cut after TOKEN_UNITS
// characters, a missing one is empty. The export reads its cells from here
// without filling a table.
struct RecordTokens {
    const char *text[TOKEN_COUNT];
    int length[TOKEN_COUNT];
};
void split_station_record(const char *record, std::size_t max_bytes, RecordTokens *tokens);
// Writes the placeholder texts shown before the first record and after the
// console is removed.
void reset_live_values(LiveValues *values);
