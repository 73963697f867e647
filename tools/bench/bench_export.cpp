// Writing the export of a full store: 60000 records of the built-in weather
// turned into rows in the user's units, into a sink that only counts bytes
// (the file itself is the operating system's cost) and into a temporary file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include "history/export_writer.h"
#include "simulator/virtual_console.h"
#include "simulator/weather_model.h"

namespace {

void fill_store()
{
    static bool filled = false;
    if (filled)
        return;
    const std::int64_t first = seconds_from_civil({2023, 8, 1, 0, 0, 0});
    char record[CONSOLE_MAX_PAYLOAD + 1];
    for (int i = 0; i < HISTORY_SLOTS; ++i) {
        WeatherReading w;
        const std::int64_t t = first + std::int64_t(i) * DEMO_HISTORY_INTERVAL;
        weather_at(1, t, &w);
        const std::size_t n = format_station_record(w, 100, t, record, sizeof record);
        std::memcpy(history_store.slot[i], record, n < RECORD_BYTES ? n : RECORD_BYTES - 1);
    }
    filled = true;
}

int count_bytes(void *context, const std::uint8_t *, std::size_t count)
{
    *static_cast<std::size_t *>(context) += count;
    return 1;
}

int file_bytes(void *context, const std::uint8_t *bytes, std::size_t count)
{
    return std::fwrite(bytes, 1, count, static_cast<std::FILE *>(context)) == count;
}

ExportRequest all_sets()
{
    ExportRequest request{};
    request.whole_period = 1;
    for (int &flag : request.data_set)
        flag = 1;
    return request;
}

void run(benchmark::State &state, const UnitSettings &units, bool to_file)
{
    fill_store();
    LinkFlags flags;
    flags.history_total = HISTORY_SLOTS;
    static ExportWorkspace work;
    const ExportRequest request = all_sets();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::FILE *file = to_file ? std::tmpfile() : nullptr;
        const ByteSink sink = to_file ? ByteSink{file, &file_bytes} : ByteSink{&bytes, &count_bytes};
        if (write_export(sink, history_store, request, units, flags, &work) !=
            ExportOutcome::written)
            state.SkipWithError("export failed");
        if (file)
            std::fclose(file);
    }
    state.counters["records_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * HISTORY_SLOTS, benchmark::Counter::kIsRate);
    if (!to_file)
        state.counters["bytes"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
}

void BM_Export60000StoredUnits(benchmark::State &state)
{
    run(state, UnitSettings{}, false);
}

void BM_Export60000Converted(benchmark::State &state)
{
    UnitSettings units;
    units.temperature_unit = 1;
    units.rain_unit = 1;
    units.pressure_unit = 2;
    units.wind_unit = 3;
    run(state, units, false);
}

void BM_Export60000ToFile(benchmark::State &state)
{
    run(state, UnitSettings{}, true);
}

} // namespace

BENCHMARK(BM_Export60000StoredUnits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export60000Converted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export60000ToFile)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
