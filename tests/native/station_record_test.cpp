#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "live/station_record.h"
#include "text16.h"

namespace {

// A live record as the console sends it: all 36 tokens.
const char full_record[] =
    "71 2018-01-05 12:34 21.3 45 -5.3 80 1.2 0.0 3.6 7.2 225 SW 1013.2 1009.8 3 -8.1 -5.3 "
    "20.1 50 --.- -- 22.3 52 23.3 53 24.3 54 25.3 55 26.3 56 -9.0 0.3 4.5 30.7";

std::string slot(const LiveValues &values, int k) { return utf8(values.slot[k]); }

LiveValues filled_with(const char *record)
{
    LiveValues values;
    std::memset(&values, 0x55, sizeof values); // garbage, as a stale table would hold
    decode_station_record(record, &values);
    return values;
}

} // namespace

TEST(StationRecord, FullRecordFillsSlotsByTokenName)
{
    const LiveValues v = filled_with(full_record);
    const struct { int token; const char *text; } cases[] = {
        {token::logger_percent, "71"}, {token::date, "2018-01-05"}, {token::time, "12:34"},
        {token::indoor_temp, "21.3"}, {token::outdoor_temp, "-5.3"},
        {token::wind_dir_degrees, "225"}, {token::wind_dir_point, "SW"},
        {token::rel_pressure, "1013.2"}, {token::abs_pressure, "1009.8"},
        {token::ch1_temp, "20.1"}, {token::ch2_temp, "--.-"}, {token::ch2_humidity, "--"},
        {token::ch7_humidity, "56"}, {token::wind_chill, "-9.0"}, {token::monthly_rain, "30.7"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(slot(v, c.token), c.text) << "token " << c.token;
}

TEST(StationRecord, ChannelTokensSitAtSixteenPlusTwoN)
{
    const int temps[] = {token::ch1_temp, token::ch2_temp, token::ch3_temp, token::ch4_temp,
                         token::ch5_temp, token::ch6_temp, token::ch7_temp};
    const int hums[] = {token::ch1_humidity, token::ch2_humidity, token::ch3_humidity,
                        token::ch4_humidity, token::ch5_humidity, token::ch6_humidity,
                        token::ch7_humidity};
    for (int n = 1; n <= 7; ++n) {
        EXPECT_EQ(temps[n - 1], 16 + 2 * n) << "channel " << n;
        EXPECT_EQ(hums[n - 1], 17 + 2 * n) << "channel " << n;
    }
    EXPECT_EQ(token::monthly_rain, TOKEN_COUNT - 1);
}

TEST(StationRecord, SpacesNumberTheTokens)
{
    const struct {
        const char *name;
        const char *record;
        const char *slots[4]; // slots 0 .. 3; every later slot must be empty
    } cases[] = {
        {"one space", "71 2018-01-05", {"71", "2018-01-05", "", ""}},
        {"two spaces enclose an empty token", "71  2018-01-05", {"71", "", "2018-01-05", ""}},
        {"leading space empties token 0", " 71", {"", "71", "", ""}},
        {"trailing space makes an empty last token", "71 5 ", {"71", "5", "", ""}},
        {"no trimming of CR LF or tabs", "\t71 5\r\n", {"\t71", "5\r\n", "", ""}},
        {"empty text empties everything", "", {"", "", "", ""}},
    };
    for (const auto &c : cases) {
        const LiveValues v = filled_with(c.record);
        for (int k = 0; k < TOKEN_COUNT; ++k)
            EXPECT_EQ(slot(v, k), k < 4 ? c.slots[k] : "") << c.name << ", slot " << k;
    }
}

TEST(StationRecord, NewRecordReplacesTheWholeTable)
{
    LiveValues v = filled_with(full_record);
    decode_station_record("55 2019-02-03", &v);
    EXPECT_EQ(slot(v, 0), "55");
    EXPECT_EQ(slot(v, token::indoor_temp), "");
    EXPECT_EQ(slot(v, token::monthly_rain), "");
}

TEST(StationRecord, NullRecordLeavesTableUnchanged)
{
    LiveValues v = filled_with(full_record);
    const LiveValues before = v;
    decode_station_record(nullptr, &v);
    decode_station_record_n(nullptr, 450, &v);
    EXPECT_EQ(std::memcmp(&v, &before, sizeof v), 0);
}

TEST(StationRecord, TokensAfterTheLastSlotAreDropped)
{
    std::string record(full_record);
    record += " 99 extra tokens";
    const LiveValues v = filled_with(record.c_str());
    EXPECT_EQ(slot(v, token::monthly_rain), "30.7");
}

TEST(StationRecord, LongTokenIsCutInsideItsOwnSlot)
{
    const std::string long_token(100, '7');
    const std::string record = "71 " + long_token + " 12:34";
    const LiveValues v = filled_with(record.c_str());
    EXPECT_EQ(slot(v, token::date), std::string(TOKEN_UNITS, '7'));
    EXPECT_EQ(slot(v, token::time), "12:34");
    for (int j = TOKEN_UNITS; j < SLOT_UNITS; ++j)
        EXPECT_EQ(v.slot[token::date][j], 0) << "unit " << j;
}

TEST(StationRecord, BytesKeepTheirValueAsCodeUnits)
{
    // Bytes above 0x7F must not be sign-extended into U+FFxx.
    const LiveValues v = filled_with("\xB0\xFF A");
    EXPECT_EQ(v.slot[0][0], 0x00B0);
    EXPECT_EQ(v.slot[0][1], 0x00FF);
    EXPECT_EQ(v.slot[1][0], u'A');
}

TEST(StationRecord, LiveRecordIsCutAfterItsFirst255Bytes)
{
    // Token 0 fills bytes 0..249, then a space and "12345" straddles byte 255.
    char record[450] = {};
    std::memset(record, '1', 250);
    std::memcpy(record + 250, " 12345678 9", 11);
    LiveValues v;
    decode_station_record_n(record, LIVE_RECORD_BYTES, &v);
    EXPECT_EQ(slot(v, 1), "1234");
    EXPECT_EQ(slot(v, 2), "");
    decode_station_record(record, &v);
    EXPECT_EQ(slot(v, 1), "12345678");
    EXPECT_EQ(slot(v, 2), "9");
}

TEST(StationRecord, FullHistorySlotWithoutZeroStopsAtItsEnd)
{
    // The guard bytes after the slot must never be read into a token.
    char buffer[460];
    std::memset(buffer, 'x', sizeof buffer);
    std::memset(buffer, ' ', 448);
    buffer[448] = '4';
    buffer[449] = '2';
    LiveValues v;
    decode_station_record_n(buffer, 450, &v);
    for (int k = 0; k < TOKEN_COUNT; ++k)
        EXPECT_EQ(slot(v, k), "") << "slot " << k;

    std::memset(buffer, ' ', 35);
    std::memset(buffer + 35, '4', 415);
    decode_station_record_n(buffer, 450, &v);
    EXPECT_EQ(slot(v, 35), std::string(TOKEN_UNITS, '4'));
}

TEST(StationRecord, ResetWritesPlaceholdersAndKeepsUndrawnSlots)
{
    LiveValues v = filled_with(full_record);
    reset_live_values(&v);
    const struct { int token; const char *text; } cases[] = {
        {token::logger_percent, "--"}, {token::indoor_temp, "--.-"}, {token::indoor_humidity, "--"},
        {token::outdoor_temp, "--.-"}, {token::outdoor_humidity, "--"},
        {token::daily_rain, "-.-"}, {token::rain_rate, "-.-"},
        {token::wind_speed, "--"}, {token::wind_gust, "--"},
        {token::wind_dir_degrees, ""}, {token::wind_dir_point, "--"},
        {token::rel_pressure, "--"}, {token::abs_pressure, "--"}, {token::uv_index, "--"},
        {token::dew_point, "--.-"}, {token::heat_index, "--.-"},
        {token::ch1_temp, "--.-"}, {token::ch4_humidity, "--"}, {token::ch7_temp, "--.-"},
        {token::ch7_humidity, "--"},
        // not drawn by the dashboard, so not reset
        {token::date, "2018-01-05"}, {token::time, "12:34"}, {token::wind_chill, "-9.0"},
        {token::hourly_rain, "0.3"}, {token::weekly_rain, "4.5"}, {token::monthly_rain, "30.7"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(slot(v, c.token), c.text) << "token " << c.token;
    for (int n = 1; n <= 7; ++n) {
        EXPECT_EQ(slot(v, 16 + 2 * n), "--.-") << "channel " << n;
        EXPECT_EQ(slot(v, 17 + 2 * n), "--") << "channel " << n;
    }
}
