// The web page's costs: a year of 5-minute records (105120) charted through
// /api/series over loopback, next to the same aggregation without the
// archive and HTTP, a day's chart for scale; the highs, lows and rain of
// all time over ten years of 5-minute records (1051200) through
// /api/summary; and the bytes a browser fetches for the page, compressed as
// the server sends them.
//
//   build/release/bench_web --benchmark_repetitions=5
//   NIMBREL_BENCH_ARCHIVE=FILE keeps the year's archive in FILE and the ten
//   years' in FILE.10y (made once; a few minutes).
#include <benchmark/benchmark.h>

#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "simulator/virtual_console.h"
#include "simulator/weather_model.h"
#include "web/api.h"
#include "web/server.h"

namespace {

constexpr int YEAR_RECORDS = 365 * 288;
const std::int64_t FIRST = seconds_from_civil({2025, 12, 8, 0, 0, 0});
const std::int64_t TEN_YEARS_FIRST = seconds_from_civil({2016, 12, 8, 0, 0, 0});

std::vector<std::string> year_texts(std::int64_t first = FIRST)
{
    std::vector<std::string> texts;
    char record[512];
    for (int i = 0; i < YEAR_RECORDS; ++i) {
        WeatherReading w;
        const std::int64_t t = first + std::int64_t(i) * 300;
        weather_at(7, t, &w);
        const std::size_t n = format_station_record(w, 50, t, record, sizeof record);
        texts.emplace_back(record, n);
    }
    return texts;
}

// An archive of `years` years of records ending with the year charted,
// merged a year at a time.
std::string make_archive(const char *suffix, int years)
{
    const char *keep = std::getenv("NIMBREL_BENCH_ARCHIVE");
    const std::string path = (keep ? std::string(keep) : "/tmp/nimbrel-bench-web-" +
                                                             std::to_string(getpid()) + ".sqlite") +
                             suffix;
    Archive *archive;
    ArchiveError error;
    ArchiveSummary summary;
    if (!archive_open(path, &archive, &error) || !archive_summary(archive, &summary, &error)) {
        std::fprintf(stderr, "%s\n", error.message.c_str());
        std::exit(1);
    }
    MergeCounts counts;
    for (int y = 0; summary.count < long(years) * YEAR_RECORDS && y < years; ++y)
        if (!archive_merge(archive, year_texts(FIRST - std::int64_t(years - 1 - y) * YEAR_RECORDS * 300),
                           0, &counts, &error)) {
            std::fprintf(stderr, "%s\n", error.message.c_str());
            std::exit(1);
        }
    archive_close(archive);
    return path;
}

struct Served {
    WebServer *server = nullptr;
    int port = 0;
    std::string path;
    Served(const char *suffix, int years) : path(make_archive(suffix, years))
    {
        WebSettings settings;
        settings.port = 0;
        settings.archive_path = path;
        std::string error;
        if (!web_server_start(settings, &server, &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        port = web_server_port(server);
    }
    ~Served()
    {
        web_server_stop(server);
        if (!std::getenv("NIMBREL_BENCH_ARCHIVE")) {
            std::remove(path.c_str());
            std::remove((path + "-wal").c_str());
            std::remove((path + "-shm").c_str());
        }
    }
};

Served &served()
{
    static Served s("", 1);
    return s;
}

Served &served_ten_years()
{
    static Served s(".10y", 10);
    return s;
}

double process_cpu_ms()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Asks once before timing: the server learns the archive's extent at the
// first request and keeps it a while.
void get_timed(benchmark::State &state, Served &served, const std::string &target)
{
    httplib::Client client("127.0.0.1", served.port);
    client.set_read_timeout(600);
    client.Get(target);
    std::size_t bytes = 0;
    const double cpu_before = process_cpu_ms();
    for (auto _ : state) {
        auto res = client.Get(target);
        if (!res || res->status != 200) {
            state.SkipWithError("request failed");
            return;
        }
        bytes = res->body.size();
    }
    state.counters["answer_bytes"] = static_cast<double>(bytes);
    // The server's and the client's CPU together, per request: what a busy
    // machine's other work cannot inflate.
    state.counters["process_cpu_ms"] =
        (process_cpu_ms() - cpu_before) / static_cast<double>(state.iterations());
}

void series_over_http(benchmark::State &state, const char *query)
{
    get_timed(state, served(), std::string("/api/series?") + query);
}

void BM_SeriesYearHttp(benchmark::State &state)
{
    series_over_http(state, "from=2025-12-08&to=2026-12-07");
}
BENCHMARK(BM_SeriesYearHttp)->Unit(benchmark::kMillisecond);

void BM_SeriesDayHttp(benchmark::State &state)
{
    series_over_http(state, "from=2026-12-07&to=2026-12-07");
}
BENCHMARK(BM_SeriesDayHttp)->Unit(benchmark::kMillisecond);

void BM_SummaryAllTimeTenYearsHttp(benchmark::State &state)
{
    get_timed(state, served_ten_years(), "/api/summary?period=all");
}
BENCHMARK(BM_SummaryAllTimeTenYearsHttp)->Unit(benchmark::kMillisecond);

// The same year aggregated from records in memory: what the archive read
// and HTTP add is the difference.
void BM_SeriesYearAggregateOnly(benchmark::State &state)
{
    static const std::vector<std::string> texts = year_texts();
    SeriesRequest request;
    std::string error;
    long long newest = (FIRST / 60) + (YEAR_RECORDS - 1) * 5;
    parse_series_request("2025-12-08", "2026-12-07", "", newest, 5, &request, &error);
    for (auto _ : state) {
        SeriesBuilder builder;
        series_start(&builder, request, UnitSettings{});
        for (int i = 0; i < YEAR_RECORDS; ++i)
            series_add(&builder, WebRecord{FIRST / 60 + i * 5LL, texts[i].c_str()});
        benchmark::DoNotOptimize(series_json(builder));
    }
}
BENCHMARK(BM_SeriesYearAggregateOnly)->Unit(benchmark::kMillisecond);

// Every file the page loads, as a browser asks for it (gzip accepted).
void BM_PageTransfer(benchmark::State &state)
{
    const char *const files[] = {"/", "/style.css", "/uPlot.min.css", "/uPlot.iife.min.js",
                                 "/app.js", "/texts.json"};
    httplib::Client client("127.0.0.1", served().port);
    std::size_t sent = 0, plain = 0;
    for (auto _ : state) {
        sent = plain = 0;
        for (const char *file : files) {
            client.set_decompress(false);
            auto res = client.Get(file, {{"Accept-Encoding", "gzip, deflate"}});
            auto whole = httplib::Client("127.0.0.1", served().port).Get(file);
            if (!res || !whole || res->status != 200) {
                state.SkipWithError("page file missing");
                return;
            }
            sent += res->body.size();
            plain += whole->body.size();
        }
    }
    state.counters["page_bytes_sent"] = static_cast<double>(sent);
    state.counters["page_bytes_plain"] = static_cast<double>(plain);
}
BENCHMARK(BM_PageTransfer)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
