// Decoding of the station record into LiveValues, and the placeholder texts.
#include "live/station_record.h"

#include <cstring>

namespace {

// Copies an ASCII placeholder into a slot; placeholders are short literals.
void set_slot(LiveValues *values, int slot, const char *text)
{
    char16_t *out = values->slot[slot];
    int j = 0;
    for (; text[j] != '\0' && j < TOKEN_UNITS; ++j)
        out[j] = static_cast<unsigned char>(text[j]);
    out[j] = 0;
}

} // namespace

void decode_station_record_n(const char *record, std::size_t max_bytes, LiveValues *values)
{
    if (record == nullptr || values == nullptr)
        return;
    std::memset(values->slot, 0, sizeof values->slot);
    int k = 0;
    int j = 0;
    for (std::size_t i = 0; i < max_bytes && record[i] != '\0'; ++i) {
        const unsigned char b = static_cast<unsigned char>(record[i]);
        if (b == 0x20) {
            ++k;
            j = 0;
            continue;
        }
        // A token longer than its slot is cut; the rest of it is dropped so
        // that the slot keeps its terminating zero and nothing reaches the
        // next slot.
        if (k < TOKEN_COUNT && j < TOKEN_UNITS)
            values->slot[k][j++] = b;
    }
}

void decode_station_record(const char *record, LiveValues *values)
{
    decode_station_record_n(record, static_cast<std::size_t>(-1), values);
}

void reset_live_values(LiveValues *values)
{
    if (values == nullptr)
        return;
    static const int temperatures[] = {
        token::indoor_temp, token::outdoor_temp, token::dew_point, token::heat_index,
        token::ch1_temp, token::ch2_temp, token::ch3_temp, token::ch4_temp,
        token::ch5_temp, token::ch6_temp, token::ch7_temp};
    static const int dashed[] = {
        token::logger_percent, token::indoor_humidity, token::outdoor_humidity,
        token::ch1_humidity, token::ch2_humidity, token::ch3_humidity, token::ch4_humidity,
        token::ch5_humidity, token::ch6_humidity, token::ch7_humidity,
        token::wind_speed, token::wind_gust, token::wind_dir_point,
        token::rel_pressure, token::abs_pressure, token::uv_index};
    for (int slot : temperatures)
        set_slot(values, slot, "--.-");
    for (int slot : dashed)
        set_slot(values, slot, "--");
    set_slot(values, token::daily_rain, "-.-");
    set_slot(values, token::rain_rate, "-.-");
    set_slot(values, token::wind_dir_degrees, "");
    // date, time, wind chill and the hourly to monthly rain keep their texts:
    // the dashboard never draws them.
}
