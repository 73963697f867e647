// Time spent deciding one report: a mix of live records, history pages
// (stored into the history store) and upload bodies, in the proportions of
// a download with live readings and uploads going on. One report per USB
// full-speed frame (1 ms) is the most the console can send.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tests/native/report_builder.h"

static std::vector<RawReport> mixed_reports()
{
    const std::string half(54, 'x');
    const char *text = half.c_str();
    std::vector<RawReport> reports;
    const int pages = 2000;
    for (int page = 0; page < pages; ++page) {
        for (int i = 1; i <= 4; ++i)
            reports.push_back(make_report(KIND_RECORD, pages, page, i, 4, text));
        if (page % 20 == 0) {
            for (int i = 1; i <= 4; ++i)
                reports.push_back(make_report(KIND_RECORD, 0, 0, i, 4, text));
            for (int i = 1; i <= 5; ++i)
                reports.push_back(make_report(KIND_WU_BODY, 0, 0, i, 5, text));
            reports.push_back(make_report(KIND_WC_BODY, 0, 0, 1, 1, text));
            reports.push_back(make_report(KIND_STATUS, 0, 0, 1, 1));
        }
    }
    return reports;
}

static void BM_HandleMixedReports(benchmark::State &state)
{
    const std::vector<RawReport> reports = mixed_reports();
    static ReaderState reader;
    LinkCounters counters{};
    LinkFlags flags;
    char16_t file_name[] = u"bench.csv";
    const LinkContext link = {&counters, &flags, &history_store, file_name};
    ReportAction action;
    std::size_t next = 0;
    for (auto _ : state) {
        handle_report(reports[next].bytes, reader, link, action);
        benchmark::DoNotOptimize(action);
        if (++next == reports.size())
            next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandleMixedReports);

BENCHMARK_MAIN();
