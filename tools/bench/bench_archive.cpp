// The archive's two costs a user waits for: merging a full console memory
// (60000 records of the built-in weather) into an empty archive and into
// one that already holds them, and an export of a year of five-minute
// records (105120) from the archive into a file, beside reading them alone
// and a raw write of the same bytes. A full memory from the console itself
// takes 359 s. The benchmarks run in this order (the raw write needs the
// export's file).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "cli/archive_export.h"
#include "cli/export_file.h"
#include "simulator/virtual_console.h"
#include "simulator/weather_model.h"

namespace {

const char *const merge_path = "/tmp/nimbrel_bench_merge.sqlite";
const char *const year_path = "/tmp/nimbrel_bench_year.sqlite";
const char *const out_path = "/tmp/nimbrel_bench_export.csv";

void remove_archive(const char *path)
{
    for (const char *suffix : {"", "-wal", "-shm"})
        std::remove((std::string(path) + suffix).c_str());
}

// `count` five-minute records of the built-in weather from 2023-08-01.
std::vector<std::string> records(int count)
{
    const std::int64_t first = seconds_from_civil({2023, 8, 1, 0, 0, 0});
    std::vector<std::string> texts;
    char record[CONSOLE_MAX_PAYLOAD + 1];
    for (int i = 0; i < count; ++i) {
        WeatherReading w;
        const std::int64_t t = first + std::int64_t(i) * 300;
        weather_at(1, t, &w);
        const std::size_t n = format_station_record(w, 100, t, record, sizeof record);
        texts.emplace_back(record, n < RECORD_BYTES ? n : RECORD_BYTES - 1);
    }
    return texts;
}

Archive *open_or_die(const char *path, benchmark::State &state)
{
    Archive *a = nullptr;
    ArchiveError error;
    if (!archive_open(path, &a, &error))
        state.SkipWithError(error.message.c_str());
    return a;
}

void merge(benchmark::State &state, bool already_there)
{
    static const std::vector<std::string> memory = records(HISTORY_SLOTS);
    remove_archive(merge_path);
    Archive *a = open_or_die(merge_path, state);
    MergeCounts counts;
    ArchiveError error;
    if (a && already_there)
        archive_merge(a, memory, 0, &counts, &error);
    for (auto _ : state) {
        if (!a)
            break;
        if (!already_there) {
            state.PauseTiming();
            archive_close(a);
            remove_archive(merge_path);
            a = open_or_die(merge_path, state);
            state.ResumeTiming();
        }
        if (!archive_merge(a, memory, 0, &counts, &error))
            state.SkipWithError(error.message.c_str());
    }
    state.counters["added"] = static_cast<double>(counts.added);
    state.counters["already"] = static_cast<double>(counts.already);
    archive_close(a);
    remove_archive(merge_path);
}

void BM_MergeIntoEmptyArchive(benchmark::State &state) { merge(state, false); }
void BM_MergeAlreadyArchived(benchmark::State &state) { merge(state, true); }

Archive *year_archive(benchmark::State &state)
{
    static bool made = false;
    if (!made) {
        remove_archive(year_path);
        Archive *a = open_or_die(year_path, state);
        MergeCounts counts;
        ArchiveError error;
        if (a && !archive_merge(a, records(105120), 0, &counts, &error))
            state.SkipWithError(error.message.c_str());
        archive_close(a);
        made = true;
    }
    return open_or_die(year_path, state);
}

// The export file of the whole archive, all data sets, default units, as
// `nimbrel export --archive` writes it.
void BM_ExportYearFromArchive(benchmark::State &state)
{
    Archive *a = year_archive(state);
    ExportRequest request{};
    request.whole_period = 1;
    for (int &flag : request.data_set)
        flag = 1;
    const UnitSettings units{};
    ArchiveError error;
    for (auto _ : state) {
        if (!a)
            break;
        std::FILE *file = std::fopen(out_path, "wb");
        // As `nimbrel export` writes its file, short of its sync to the disk.
        BackgroundFile background(file);
        if (!write_archive_export(a, ARCHIVE_FIRST, ARCHIVE_LAST, request, units,
                                  background.sink(), &error) ||
            !background.finish())
            state.SkipWithError("the export failed");
        std::fclose(file);
    }
    archive_close(a);
}

// The archive's share of the export: every record read back, nothing written.
void BM_ReadYearFromArchive(benchmark::State &state)
{
    Archive *a = year_archive(state);
    ArchiveError error;
    std::size_t bytes = 0;
    for (auto _ : state) {
        if (!a)
            break;
        bytes = 0;
        archive_each(a, ARCHIVE_FIRST, ARCHIVE_LAST, [&](const ArchiveRecord &r) {
            bytes += r.length;
            return 1;
        }, &error);
    }
    state.counters["text_bytes"] = static_cast<double>(bytes);
    archive_close(a);
}

// The same bytes written from memory in one go.
void BM_RawWriteOfTheSameBytes(benchmark::State &state)
{
    std::FILE *in = std::fopen(out_path, "rb");
    std::vector<char> bytes;
    if (in) {
        char chunk[65536];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
        std::fclose(in);
    }
    if (bytes.empty())
        state.SkipWithError("run BM_ExportYearFromArchive first");
    for (auto _ : state) {
        std::FILE *file = std::fopen(out_path, "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

BENCHMARK(BM_MergeIntoEmptyArchive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeAlreadyArchived)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadYearFromArchive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportYearFromArchive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawWriteOfTheSameBytes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
