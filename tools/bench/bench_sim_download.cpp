// A full 60000-record history download from the simulated console through
// the program's own report handler into the history store, reply for reply.
// On USB each report and each reply takes at least one 1 ms full-speed
// frame, so a packet costs at least 2 ms; usb_limit_records_per_s is the
// record rate that allows, to set against records_per_s. The second run
// writes the export of the downloaded store after each download.
#include <benchmark/benchmark.h>

#include <memory>

#include "history/export_writer.h"
#include "station/report_handler.h"
#include "simulator/virtual_console.h"
#include "simulator/weather_model.h"

namespace {

constexpr int RECORDS = 60000;

// Half-hourly records of the built-in weather, made once.
const VirtualConsole &filled_console()
{
    static std::unique_ptr<VirtualConsole> console = [] {
        auto c = std::make_unique<VirtualConsole>();
        console_init(c.get(), seconds_from_civil({2026, 12, 8, 0, 0, 0}), 0);
        const std::int64_t first = console_clock(c.get(), 0) - RECORDS * DEMO_HISTORY_INTERVAL;
        char record[CONSOLE_MAX_PAYLOAD + 1];
        for (int i = 0; i < RECORDS; ++i) {
            WeatherReading w;
            const std::int64_t t = first + i * DEMO_HISTORY_INTERVAL;
            weather_at(1, t, &w);
            const std::size_t n = format_station_record(w, 100, t, record, sizeof record);
            console_add_history(c.get(), record, n);
        }
        return c;
    }();
    return *console;
}

int count_bytes(void *context, const std::uint8_t *, std::size_t count)
{
    *static_cast<std::size_t *>(context) += count;
    return 1;
}

void download(benchmark::State &state, bool then_export)
{
    auto console = std::make_unique<VirtualConsole>(filled_console());
    auto reader = std::make_unique<ReaderState>();
    LinkCounters counters{};
    LinkFlags flags;
    char16_t file_name[] = u"bench.csv";
    const LinkContext link = {&counters, &flags, &history_store, file_name};
    std::uint8_t report[REPORT_BYTES];
    ReportAction action;
    long packets = 0;
    for (auto _ : state) {
        *reader = ReaderState{};
        flags.history_active = 0;
        flags.history_complete = 0;
        console_connect(console.get(), 0);
        console_feed_command(console.get(), CMD_READ_HISTORY, FRAME_BYTES, 0);
        while (console_next_report(console.get(), 0, report)) {
            ++packets;
            handle_report(report, *reader, link, action);
            for (int i = 0; i < action.count; ++i)
                if (action.step[i].frame)
                    console_feed_command(console.get(), action.step[i].frame, FRAME_BYTES, 0);
        }
        if (!flags.history_complete) {
            state.SkipWithError("the download did not complete");
            return;
        }
        if (then_export) {
            static ExportWorkspace work;
            ExportRequest request{};
            request.whole_period = 1;
            for (int &flag : request.data_set)
                flag = 1;
            std::size_t bytes = 0;
            if (write_export(ByteSink{&bytes, &count_bytes}, history_store, request, UnitSettings{},
                             flags, &work) != ExportOutcome::written) {
                state.SkipWithError("the export failed");
                return;
            }
        }
    }
    const double packets_per_record = static_cast<double>(packets) / (static_cast<double>(state.iterations()) * RECORDS);
    const double usb_limit = 1000.0 / (2.0 * packets_per_record);
    state.SetItemsProcessed(state.iterations() * RECORDS);
    state.counters["records_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()) * RECORDS,
                                                         benchmark::Counter::kIsRate);
    state.counters["packets_per_record"] = packets_per_record;
    state.counters["usb_limit_records_per_s"] = usb_limit;
    state.counters["times_usb_limit"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * RECORDS / usb_limit,
                           benchmark::Counter::kIsRate);
}

void BM_HistoryDownload60000(benchmark::State &state)
{
    download(state, false);
}

void BM_HistoryDownloadAndExport60000(benchmark::State &state)
{
    download(state, true);
}

} // namespace

BENCHMARK(BM_HistoryDownload60000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HistoryDownloadAndExport60000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
