// Formatting the fifteen dashboard values of one live record, in every one
// of the 192 unit combinations; the time reported is per record.
#include <benchmark/benchmark.h>

#include "live/station_record.h"
#include "live/units.h"

namespace {

const char record[] =
    "71 2018-01-05 12:34 21.3 45 -5.3 80 1.2 0.4 3.6 7.2 225 SW 1013.2 1009.8 3 -8.1 -5.3 "
    "20.1 50 --.- -- 22.3 52 23.3 53 24.3 54 25.3 55 26.3 56 -9.0 0.3 4.5 30.7";

struct Area {
    int token; // -1: the pressure or direction token chosen by the settings
    ReadingKind kind;
};

// The dashboard's value areas with channel 1 selected.
const Area areas[15] = {
    {token::indoor_temp, ReadingKind::temperature}, {token::outdoor_temp, ReadingKind::temperature},
    {token::ch1_temp, ReadingKind::temperature}, {token::ch1_humidity, ReadingKind::humidity},
    {token::dew_point, ReadingKind::temperature}, {token::heat_index, ReadingKind::temperature},
    {-1, ReadingKind::pressure}, {token::wind_speed, ReadingKind::wind_speed},
    {token::wind_gust, ReadingKind::wind_speed}, {token::daily_rain, ReadingKind::rain_amount},
    {token::rain_rate, ReadingKind::rain_rate}, {token::indoor_humidity, ReadingKind::humidity},
    {token::outdoor_humidity, ReadingKind::humidity}, {-1, ReadingKind::direction},
    {token::uv_index, ReadingKind::text},
};

void format_record(const LiveValues &values, const UnitSettings &units)
{
    for (const Area &area : areas) {
        int k = area.token;
        if (k < 0)
            k = area.kind == ReadingKind::pressure ? pressure_token(units.pressure_kind)
                                                   : direction_token(units.direction_style);
        FormattedText text;
        dashboard_value_text(area.kind, values.slot[k], units, &text);
        const char16_t *label = value_label(area.kind, text.text, units);
        benchmark::DoNotOptimize(text);
        benchmark::DoNotOptimize(label);
        if (area.kind == ReadingKind::direction)
            benchmark::DoNotOptimize(direction_index(text.text, units.direction_style));
    }
}

void BM_FormatDashboardRecord(benchmark::State &state)
{
    LiveValues values;
    decode_station_record(record, &values);
    UnitSettings combos[192];
    int n = 0;
    for (int t = 0; t < 2; ++t)
        for (int r = 0; r < 2; ++r)
            for (int p = 0; p < 3; ++p)
                for (int w = 0; w < 4; ++w)
                    for (int k = 0; k < 2; ++k)
                        for (int d = 0; d < 2; ++d)
                            combos[n++] = UnitSettings{std::uint8_t(t), std::uint8_t(r), std::uint8_t(p),
                                                       std::uint8_t(w), std::uint8_t(k), std::uint8_t(d)};
    for (auto _ : state)
        for (const UnitSettings &units : combos)
            format_record(values, units);
    state.SetItemsProcessed(state.iterations() * 192);
}
BENCHMARK(BM_FormatDashboardRecord);

void BM_DecodeLiveRecord(benchmark::State &state)
{
    LiveValues values;
    for (auto _ : state) {
        decode_station_record_n(record, LIVE_RECORD_BYTES, &values);
        benchmark::DoNotOptimize(values);
    }
}
BENCHMARK(BM_DecodeLiveRecord);

} // namespace

BENCHMARK_MAIN();
