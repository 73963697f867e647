// Decoding of the station record into LiveValues, and the placeholder texts.
#include "live/station_record.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
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

// The high bit of each byte of `word` that is a space, and of no other:
// the sums stay inside their bytes.
std::uint64_t space_bytes(std::uint64_t word)
{
    constexpr std::uint64_t spaces = 0x2020202020202020u, lows = 0x7F7F7F7F7F7F7F7Fu;
    const std::uint64_t x = word ^ spaces;
    return ~(((x & lows) + lows) | x | lows);
}

} // namespace

// A year's export splits some fifteen million bytes: the spaces are found
// eight bytes at a time.
void split_station_record(const char *record, std::size_t max_bytes, RecordTokens *tokens)
{
    const std::size_t n = strnlen(record, max_bytes);
    int k = 0;
    std::size_t start = 0;
    const auto token_to = [&](std::size_t end) {
        tokens->text[k] = record + start;
        tokens->length[k++] = static_cast<int>(std::min<std::size_t>(end - start, TOKEN_UNITS));
        start = end + 1;
    };
    for (std::size_t base = 0; base < n && k < TOKEN_COUNT; base += 8) {
        // The last bytes are read into a word of zeros, which are no spaces.
        std::uint64_t word = 0;
        if (n - base >= 8)
            std::memcpy(&word, record + base, 8);
        else
            std::memcpy(&word, record + base, n - base);
        for (std::uint64_t found = space_bytes(word); found != 0 && k < TOKEN_COUNT;) {
            if constexpr (std::endian::native == std::endian::little) {
                token_to(base + static_cast<std::size_t>(std::countr_zero(found)) / 8);
                found &= found - 1;
            } else {
                const int byte = std::countl_zero(found) / 8;
                token_to(base + static_cast<std::size_t>(byte));
                found &= ~(std::uint64_t{0x80} << (56 - 8 * byte));
            }
        }
    }
    if (k < TOKEN_COUNT && start < n)
        token_to(n);
    for (; k < TOKEN_COUNT; ++k) {
        tokens->text[k] = record + n;
        tokens->length[k] = 0;
    }
}

void decode_station_record_n(const char *record, std::size_t max_bytes, LiveValues *values)
{
    if (record == nullptr || values == nullptr)
        return;
    std::memset(values->slot, 0, sizeof values->slot);
    // A token longer than its slot is cut; the rest of it is dropped so that
    // the slot keeps its terminating zero and nothing reaches the next slot.
    RecordTokens tokens;
    split_station_record(record, max_bytes, &tokens);
    for (int k = 0; k < TOKEN_COUNT; ++k)
        for (int j = 0; j < tokens.length[k]; ++j)
            values->slot[k][j] = static_cast<unsigned char>(tokens.text[k][j]);
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
