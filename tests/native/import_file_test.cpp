// Export files read back into station records: files the writer wrote in
// any units and encodings come back as records that export to the very
// same file, within one shown step of what the console sent; files that
// are not exports, or are damaged, are refused at their line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/import_file.h"
#include "cli/export_file.h"
#include "history/export_writer.h"

namespace {

struct Memory {
    std::vector<std::uint8_t> bytes;
    static int take(void *context, const std::uint8_t *data, std::size_t count)
    {
        auto *self = static_cast<Memory *>(context);
        self->bytes.insert(self->bytes.end(), data, data + count);
        return 1;
    }
};

// The file the writer makes of these records; every data set unless `sets`
// names the chosen ones (1 each, in ExportRequest order).
std::vector<std::uint8_t> export_of(const std::vector<std::string> &records, const UnitSettings &units,
                                    int utf8, const char *sets = "111111111111111")
{
    Memory memory;
    const ByteSink raw{&memory, &Memory::take};
    static Utf8Sink converter;
    const ByteSink sink = utf8 ? utf8_sink(&converter, &raw) : raw;
    ExportRequest request{};
    request.whole_period = 1;
    for (int i = 0; i < 15; ++i)
        request.data_set[i] = sets[i] == '1';
    static ExportWorkspace work;
    EXPECT_TRUE(write_export_header(sink, units));
    for (const std::string &r : records) {
        std::uint8_t slot[RECORD_BYTES] = {};
        r.copy(reinterpret_cast<char *>(slot), RECORD_BYTES - 1);
        EXPECT_TRUE(write_record_row(sink, slot, request, units, &work));
    }
    return memory.bytes;
}

std::vector<std::string> split(const std::string &record)
{
    std::vector<std::string> out(1);
    for (char c : record)
        if (c == ' ')
            out.emplace_back();
        else
            out.back() += c;
    return out;
}

const std::vector<std::string> records = {
    "12 2026-12-08 14:00 21.1 45 7.9 80 1.5 0.3 10.1 15.2 200 SSW 1013.4 1001.3 3 4.6 8.6 "
    "19.4 50 18.2 51 17.3 52 16.4 53 15.5 54 14.6 55 13.7 56 7.8 0.2 4.4 14.8",
    "12 2026-12-07 12:00 22.0 40 12.5 60 -.- -.- --.- --.- --- --- ---.- ---.- 5 --.- --.- --.- -- "
    "--.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -.- -.- -.-",
    "97 2027-01-15 06:10 -0.1 30 -17.8 99 0.0 0.0 0.0 0.0 0 N 985.7 973.6 0 -21.3 -17.8 -5.3 "
    "20 37.0 21 -40.0 22 20.0 23 0.1 24 -0.2 25 -9.9 26 -25.4 0.0 12.7 103.9",
    "3 2027-07-02 23:55 35.6 71 41.3 12 87.4 36.6 112.6 140.3 359 N 1049.9 1038.1 11 28.9 47.2 "
    "--.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 41.3 9.9 99.9 487.3",
};

// Which readings a token holds, written out here rather than taken from
// the code under test: x exact, T temperature, P pressure, W wind, R rain,
// D direction, L the logger (never exported).
const char token_group[] = "LxxTxTxRRWWDDPPxTTTxTxTxTxTxTxTxTRRR";

double number(const std::string &text) { return std::strtod(text.c_str(), nullptr); }

struct UnitsRow {
    const char *name;
    UnitSettings units;
    int utf8;
    // one shown step of each kind in the console's units (°C, hPa, km/h, mm)
    double temperature, pressure, wind, rain;
};

class ImportedValues : public testing::TestWithParam<UnitsRow> {};

TEST_P(ImportedValues, ExportAgainToTheSameFileWithinOneShownStep)
{
    const UnitsRow &row = GetParam();
    const std::vector<std::uint8_t> file = export_of(records, row.units, row.utf8);
    ImportedFile imported;
    long line = 0;
    std::string error;
    ASSERT_TRUE(read_export_file(file.data(), file.size(), &imported, &line, &error))
        << "line " << line << ": " << error;
    ASSERT_EQ(imported.records.size(), records.size());
    EXPECT_EQ(imported.utf16, !row.utf8);
    EXPECT_EQ(export_of(imported.records, row.units, row.utf8), file);

    const int pressure = row.units.pressure_kind == 1 ? 13 : 14;
    const int direction = row.units.direction_style == 1 ? 11 : 12;
    for (std::size_t r = 0; r < records.size(); ++r) {
        const std::vector<std::string> was = split(records[r]), now = split(imported.records[r]);
        ASSERT_EQ(now.size(), 36u) << imported.records[r];
        for (int t = 0; t < 36; ++t) {
            const char group = token_group[t];
            std::string expected_missing = group == 'L' ? "--" : group == 'P' ? "---.-" : "---";
            if (group == 'L' || (group == 'P' && t != pressure) || (group == 'D' && t != direction)) {
                EXPECT_EQ(now[t], expected_missing) << "token " << t << " of " << imported.records[r];
                continue;
            }
            const double step = group == 'T' ? row.temperature : group == 'P' ? row.pressure
                                : group == 'W' ? row.wind : group == 'R' ? row.rain : 0;
            if (step == 0 || was[t].find("--") != std::string::npos || was[t].find("-.") == 0)
                EXPECT_EQ(now[t], was[t]) << "token " << t << " of " << imported.records[r];
            else
                EXPECT_LE(std::fabs(number(now[t]) - number(was[t])), step)
                    << "token " << t << ": " << was[t] << " came back as " << now[t];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Units, ImportedValues,
    testing::Values(
        UnitsRow{"console_units", {0, 0, 0, 2, 1, 0}, 0, 0, 0, 0, 0},
        UnitsRow{"console_units_utf8_absolute_degrees", {0, 0, 0, 2, 0, 1}, 1, 0, 0, 0, 0},
        UnitsRow{"F_inHg_mph_in", {1, 1, 2, 0, 1, 0}, 0, 0.056, 0.339, 0.161, 0.254},
        UnitsRow{"F_inHg_mph_in_utf8", {1, 1, 2, 0, 1, 1}, 1, 0.056, 0.339, 0.161, 0.254},
        UnitsRow{"mmHg_ms", {0, 0, 1, 1, 0, 0}, 0, 0, 0.134, 0.361, 0},
        UnitsRow{"knots", {0, 0, 0, 3, 1, 0}, 0, 0, 0, 0.186, 0}),
    [](const testing::TestParamInfo<UnitsRow> &info) { return std::string(info.param.name); });

struct RecordRow {
    const char *name;
    UnitSettings units;
    const char *sets;
    const char *record;
    const char *imported;
};

class ImportedRecord : public testing::TestWithParam<RecordRow> {};

TEST_P(ImportedRecord, IsWhatTheConsoleWouldHaveSent)
{
    const RecordRow &row = GetParam();
    const std::vector<std::uint8_t> file = export_of({row.record}, row.units, 0, row.sets);
    ImportedFile imported;
    long line = 0;
    std::string error;
    ASSERT_TRUE(read_export_file(file.data(), file.size(), &imported, &line, &error)) << error;
    ASSERT_EQ(imported.records.size(), 1u);
    EXPECT_EQ(imported.records[0], row.imported);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ImportedRecord,
    testing::Values(
        RecordRow{"console_units_kept_as_written", {0, 0, 0, 2, 1, 0}, "111111111111111",
                  "12 2026-12-08 14:00 21.10 45 7.9 80 1.5 0.3 10 15.2 200 SSW 1013.4 1001.3 3 4.6 8.6 "
                  "19.4 50 18.2 51 17.3 52 16.4 53 15.5 54 14.6 55 13.7 56 7.8 0.2 4.4 14.8",
                  "-- 2026-12-08 14:00 21.10 45 7.9 80 1.5 0.3 10 15.2 --- SSW 1013.4 ---.- 3 4.6 8.6 "
                  "19.4 50 18.2 51 17.3 52 16.4 53 15.5 54 14.6 55 13.7 56 7.8 0.2 4.4 14.8"},
        // Only indoor chosen: everything else is missing, as the console writes it.
        RecordRow{"one_data_set_in_fahrenheit", {1, 1, 2, 0, 1, 1}, "010000000000000",
                  "12 2026-12-08 14:00 -17.8 45 7.9 80 1.5 0.3 10.1 15.2 200 SSW 1013.4 1001.3 3 4.6 8.6 "
                  "19.4 50 18.2 51 17.3 52 16.4 53 15.5 54 14.6 55 13.7 56 7.8 0.2 4.4 14.8",
                  "-- 2026-12-08 14:00 -17.8 45 --.- -- -.- -.- --.- --.- --- --- ---.- ---.- -- --.- --.- "
                  "--.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -.- -.- -.-"},
        // 10.1 and 10.2 km/h both show 5.5 knots; 5.5 / 0.5399 = 10.19 is nearer 10.2.
        // 0.9, 1.0 and 1.1 mm show 0.04 in (1.02 mm); 0.2 and 0.3 mm show 0.01 in (0.25 mm).
        RecordRow{"nearest_of_the_values_that_show_the_same", {0, 1, 0, 3, 1, 1}, "000101000000000",
                  "12 2026-12-08 14:00 21.1 45 7.9 80 1.0 0.3 10.1 15.2 200 SSW 1013.4 1001.3 3 4.6 8.6 "
                  "19.4 50 18.2 51 17.3 52 16.4 53 15.5 54 14.6 55 13.7 56 7.8 0.2 4.4 14.8",
                  "-- 2026-12-08 14:00 --.- -- --.- -- 1.0 0.3 10.2 15.2 200 --- ---.- ---.- -- --.- --.- "
                  "--.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 7.8 0.3 4.3 14.7"}),
    [](const testing::TestParamInfo<RecordRow> &info) { return std::string(info.param.name); });

std::vector<std::uint8_t> bytes_of(const std::string &s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> with(std::vector<std::uint8_t> bytes, std::size_t cut_to,
                               const std::string &append = "")
{
    bytes.resize(cut_to);
    bytes.insert(bytes.end(), append.begin(), append.end());
    return bytes;
}

struct RefusalRow {
    const char *name;
    std::vector<std::uint8_t> bytes;
    long line;
    const char *message;
};

class Refusal : public testing::TestWithParam<RefusalRow> {};

TEST_P(Refusal, NamesTheLine)
{
    const RefusalRow &row = GetParam();
    ImportedFile imported;
    long line = 0;
    std::string error;
    ASSERT_FALSE(read_export_file(row.bytes.data(), row.bytes.size(), &imported, &line, &error));
    EXPECT_EQ(line, row.line) << error;
    EXPECT_NE(error.find(row.message), std::string::npos) << error;
}

const std::vector<std::uint8_t> wide = export_of(records, UnitSettings{}, 0);
const std::vector<std::uint8_t> narrow = export_of(records, UnitSettings{1, 0, 0, 2, 1, 0}, 1);
// In the UTF-8 file the titles are line 1, the units line 2, records from 3.
std::string narrow_text(narrow.begin(), narrow.end());
std::size_t narrow_row(int n)
{
    std::size_t at = 0;
    for (int i = 1; i < n; ++i)
        at = narrow_text.find('\n', at) + 1;
    return at;
}

INSTANTIATE_TEST_SUITE_P(
    Files, Refusal,
    testing::Values(
        RefusalRow{"empty", {}, 1, "not an export file"},
        RefusalRow{"a_configuration_file", bytes_of("temperature = F\nrain = in\n"), 1, "not an export file"},
        RefusalRow{"titles_only", with(narrow, narrow_row(2)), 2, "units row"},
        RefusalRow{"units_the_writer_never_writes",
                   bytes_of(narrow_text.substr(0, narrow_row(2)) + " yy-mm-dd \t hh:mm \t hPa(Rel) \t K \n"),
                   2, "units row"},
        RefusalRow{"utf16_cut_in_half_a_character", with(wide, wide.size() - 1), 35, "half a character"},
        RefusalRow{"cut_inside_a_row", with(narrow, narrow.size() - 20), 6, "cut short"},
        RefusalRow{"a_cell_lost", bytes_of(narrow_text.substr(0, narrow_row(4)) + " 2027-01-15 \t 06:10 \n"),
                   4, "has 2 cells"},
        RefusalRow{"a_damaged_date",
                   bytes_of(narrow_text.substr(0, narrow_row(3)) + " 2026-1207 " +
                            narrow_text.substr(narrow_text.find('\t', narrow_row(3)))),
                   3, "not a date and time"},
        RefusalRow{"a_damaged_fahrenheit_reading",
                   bytes_of(narrow_text.substr(0, narrow_row(3)) + " 2026-12-08 \t 14:00 \t 1013.4 \t 70.0x " +
                            narrow_text.substr(narrow_text.find("\t 45 ", narrow_row(3)))),
                   3, "\"70.0x\" in column Indoor temperature is not a reading"},
        RefusalRow{"not_utf8", with(narrow, narrow_row(5), "\xC3\x28\n"), 5, "not UTF-8"}),
    [](const testing::TestParamInfo<RefusalRow> &info) { return std::string(info.param.name); });

// A spreadsheet or editor that saves the UTF-8 file again with Windows
// line ends and a blank last line changes nothing of what is imported.
TEST(ImportedFile, ReadsTheSameWithWindowsLineEnds)
{
    std::string crlf;
    for (char ch : narrow_text)
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    crlf += "\r\n";
    ImportedFile plain, saved;
    long line = 0;
    std::string error;
    ASSERT_TRUE(read_export_file(narrow.data(), narrow.size(), &plain, &line, &error)) << error;
    const std::vector<std::uint8_t> bytes = bytes_of(crlf);
    ASSERT_TRUE(read_export_file(bytes.data(), bytes.size(), &saved, &line, &error))
        << "line " << line << ": " << error;
    EXPECT_EQ(saved.records, plain.records);
}

} // namespace
