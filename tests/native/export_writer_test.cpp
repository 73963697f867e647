#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "history/export_writer.h"
#include "text16.h"

namespace {

// Every token different, so that a column taking the wrong token shows.
const char *const sample =
    "12 2026-12-08 14:00 21.1 45 7.9 80 1.5 0.3 10.1 15.2 200 SSW 1013.4 1001.3 3 4.6 8.6 "
    "19.4 50 18.2 51 17.3 52 16.4 53 15.5 54 14.6 55 13.7 56 7.8 0.2 4.4 14.8";

struct MemorySink {
    std::vector<std::uint8_t> bytes;
    std::size_t refuse_after = SIZE_MAX; // bytes taken before the "disk" is full
    ByteSink sink() { return ByteSink{this, &MemorySink::take}; }
    static int take(void *context, const std::uint8_t *data, std::size_t count)
    {
        auto *self = static_cast<MemorySink *>(context);
        if (self->bytes.size() + count > self->refuse_after)
            return 0;
        self->bytes.insert(self->bytes.end(), data, data + count);
        return 1;
    }
    // The file after its byte-order mark, as UTF-8 for readable failures.
    std::string text(std::size_t from = 2) const
    {
        std::u16string units;
        for (std::size_t i = from; i + 1 < bytes.size(); i += 2)
            units += char16_t(bytes[i] | (bytes[i + 1] << 8));
        return utf8(units.c_str());
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::string all = text(), line;
        for (char c : all) {
            // A line feed inside a two-line title follows a carriage return.
            if (c == '\n' && (line.empty() || line.back() != '\r')) {
                out.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        EXPECT_TRUE(line.empty()) << "text after the last line feed";
        return out;
    }
};

std::vector<std::string> tokens_of(const std::string &record)
{
    std::vector<std::string> out(1);
    for (char c : record) {
        if (c == ' ')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

std::vector<std::string> cells(const std::string &row)
{
    std::vector<std::string> out(1);
    for (char c : row) {
        if (c == '\t')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

ExportRequest whole_request(int chosen)
{
    ExportRequest request{};
    request.whole_period = 1;
    for (int &flag : request.data_set)
        flag = chosen;
    return request;
}

void set_period(ExportRequest &request, const char *start, const char *end)
{
    request.whole_period = 0;
    const std::u16string a = utf16(start), b = utf16(end);
    std::memset(request.period_start, 0, sizeof request.period_start);
    std::memset(request.period_end, 0, sizeof request.period_end);
    std::memcpy(request.period_start, a.c_str(), a.size() * 2);
    std::memcpy(request.period_end, b.c_str(), b.size() * 2);
}

struct Slot {
    std::uint8_t bytes[RECORD_BYTES] = {};
    explicit Slot(const std::string &text) { std::memcpy(bytes, text.data(), text.size()); }
};

// The record row of one record, or "" when nothing was written.
std::string row_of(const std::string &record, const ExportRequest &request, const UnitSettings &u)
{
    static ExportWorkspace work;
    MemorySink sink;
    Slot slot(record);
    EXPECT_EQ(write_record_row(sink.sink(), slot.bytes, request, u, &work), 1);
    return sink.text(0);
}

HistoryStore store; // 27 MB: static, shared by the walk tests

void fill_store(const std::vector<std::string> &records)
{
    clear_history_store(store);
    for (std::size_t i = 0; i < records.size(); ++i)
        std::memcpy(store.slot[i], records[i].data(), records[i].size());
}

std::string with_date(const char *date)
{
    std::string record = sample;
    record.replace(3, 10, date);
    return record;
}

// ---- header and units rows -------------------------------------------------

TEST(ExportHeader, BytesOfTheFirstTwoRowsWithDefaultUnits)
{
    MemorySink sink;
    ASSERT_EQ(write_export_header(sink.sink(), UnitSettings{}), 1);
    ASSERT_GE(sink.bytes.size(), 4u);
    // Byte-order mark, then "D" as a little-endian code unit.
    EXPECT_EQ(sink.bytes[0], 0xFF);
    EXPECT_EQ(sink.bytes[1], 0xFE);
    EXPECT_EQ(sink.bytes[2], 'D');
    EXPECT_EQ(sink.bytes[3], 0x00);

    const std::string header =
        "Date\tTime\t\"Barometric\r\npressure\"\t\"Indoor\r\ntemperature\"\t\"Indoor\r\nhumidity\"\t"
        "\"Outdoor\r\ntemperature\"\t\"Outdoor\r\nhumidity\"\tDew-point\t\"Heat\r\nindex\"\t"
        "\"Wind\r\nspeed\"\t\"Wind\r\ngust\"\t\"Wind\r\nchill\"\t\"Wind\r\ndirection\"\tRain rate\t"
        "\"Hourly\r\nrainfall\"\t\"Daily\r\nrainfall\"\t\"Weekly\r\nrainfall\"\t"
        "\"Monthly\r\nrainfall\"\t\"UV\r\nindex\"\t"
        "\"CH1\r\ntemperature\"\t\"CH1\r\nhumidity\"\t\"CH2\r\ntemperature\"\t\"CH2\r\nhumidity\"\t"
        "\"CH3\r\ntemperature\"\t\"CH3\r\nhumidity\"\t\"CH4\r\ntemperature\"\t\"CH4\r\nhumidity\"\t"
        "\"CH5\r\ntemperature\"\t\"CH5\r\nhumidity\"\t\"CH6\r\ntemperature\"\t\"CH6\r\nhumidity\"\t"
        "\"CH7\r\ntemperature\"\t\"CH7\r\nhumidity\"\n";
    const std::string units_row =
        " yy-mm-dd \t hh:mm \t hPa(Rel) \t °C \t % \t °C \t % \t °C \t °C \t km/h \t km/h \t °C \t"
        " 16(direction) \t mm/h \t mm \t  mm \t mm \t mm \t index \t"
        " °C \t % \t °C \t % \t °C \t % \t °C \t % \t °C \t % \t °C \t % \t °C \t % \n";
    EXPECT_EQ(sink.text(), header + units_row);
    // The degree sign goes out as B0 00, not as UTF-8.
    const std::vector<std::uint8_t> degree_c = {0xB0, 0x00, 'C', 0x00};
    EXPECT_NE(std::search(sink.bytes.begin(), sink.bytes.end(), degree_c.begin(), degree_c.end()),
              sink.bytes.end());
}

TEST(ExportHeader, UnitsRowFollowsTheChosenUnits)
{
    struct Case {
        const char *name;
        UnitSettings u;
        std::vector<std::pair<int, std::string>> expected; // column number, cell
    } cases[] = {
        {"°F, in, inHg absolute, knots, degrees", UnitSettings{1, 1, 2, 3, 0, 1},
         {{3, " inHg(Abs) "}, {4, " °F "}, {10, " knots "}, {13, " 360°(Degree) "},
          {14, " in/h "}, {15, " in "}, {16, "  in "}, {33, " % "}}},
        {"mmHg relative, mph", UnitSettings{0, 0, 1, 0, 1, 0},
         {{3, " mmHg(Rel) "}, {11, " mph "}, {12, " °C "}}},
        {"m/s", UnitSettings{0, 0, 0, 1, 1, 0}, {{10, " m/s "}}},
    };
    for (const Case &c : cases) {
        MemorySink sink;
        ASSERT_EQ(write_export_header(sink.sink(), c.u), 1) << c.name;
        const auto lines = sink.lines();
        ASSERT_EQ(lines.size(), 2u) << c.name;
        const auto row = cells(lines[1]);
        ASSERT_EQ(row.size(), 33u) << c.name;
        for (const auto &[column, cell] : c.expected)
            EXPECT_EQ(row[column - 1], cell) << c.name << ", column " << column;
    }
}

// ---- record rows -----------------------------------------------------------

TEST(ExportRow, EveryDataSetWithDefaultsRepeatsTheTokens)
{
    const auto tokens = tokens_of(sample);
    ASSERT_EQ(std::set<std::string>(tokens.begin(), tokens.end()).size(), 36u)
        << "a repeated token would hide a column reading the wrong one";
    const std::string row = row_of(sample, whole_request(1), UnitSettings{});
    EXPECT_EQ(row,
              " 2026-12-08 \t 14:00 \t 1013.4 \t 21.1 \t 45 \t 7.9 \t 80 \t 4.6 \t 8.6 \t 10.1 \t"
              " 15.2 \t 7.8 \t SSW \t 0.3 \t 0.2 \t 1.5 \t 4.4 \t 14.8 \t 3 \t"
              " 19.4 \t 50 \t 18.2 \t 51 \t 17.3 \t 52 \t 16.4 \t 53 \t 15.5 \t 54 \t"
              " 14.6 \t 55 \t 13.7 \t 56 \n");
}

TEST(ExportRow, NoDataSetLeavesDateAndTimeAndEmptyCells)
{
    std::string expected = " 2026-12-08 \t 14:00 ";
    for (int i = 0; i < 31; ++i)
        expected += "\t  ";
    EXPECT_EQ(row_of(sample, whole_request(0), UnitSettings{}), expected + "\n");
}

TEST(ExportRow, EachDataSetFillsItsOwnColumns)
{
    // data_set index -> the 1-based columns it fills
    const std::vector<std::vector<int>> owned = {
        {3}, {4, 5}, {6, 7}, {14, 15, 16, 17, 18}, {19}, {10, 11, 12, 13}, {8}, {9},
        {20, 21}, {22, 23}, {24, 25}, {26, 27}, {28, 29}, {30, 31}, {32, 33}};
    for (int set = 0; set < 15; ++set) {
        ExportRequest request = whole_request(0);
        request.data_set[set] = 1;
        const auto row = cells(row_of(sample, request, UnitSettings{}));
        ASSERT_EQ(row.size(), 33u);
        for (int column = 3; column <= 33; ++column) {
            const bool filled = std::find(owned[set].begin(), owned[set].end(), column) !=
                                owned[set].end();
            EXPECT_EQ(row[column - 1] != "  " && row[column - 1] != "  \n", filled)
                << "data set " << set << ", column " << column << ": '" << row[column - 1] << "'";
        }
    }
}

TEST(ExportRow, ValuesInTheChosenUnits)
{
    // Token positions: 3 indoor temp, 7 daily rain, 8 rain rate, 9 wind
    // speed, 13 relative pressure, 32 wind chill.
    struct Case {
        const char *name;
        int token;
        const char *value;
        UnitSettings u;
        int column;
        const char *cell;
    } cases[] = {
        {"°F 21.3", 3, "21.3", UnitSettings{1, 0, 0, 2, 1, 0}, 4, " 70.3 "},
        {"°F -0.1", 3, "-0.1", UnitSettings{1, 0, 0, 2, 1, 0}, 4, " 31.8 "},
        {"°F -5.0 is a sign", 3, "-5.0", UnitSettings{1, 0, 0, 2, 1, 0}, 4, " 23.0 "},
        {"°F missing", 3, "--.-", UnitSettings{1, 0, 0, 2, 1, 0}, 4, " --.- "},
        {"°F wind chill", 32, "21.3", UnitSettings{1, 0, 0, 2, 1, 0}, 12, " 70.3 "},
        {"in 10.0", 7, "10.0", UnitSettings{0, 1, 0, 2, 1, 0}, 16, " 0.39 "},
        {"in missing daily", 7, "-.-", UnitSettings{0, 1, 0, 2, 1, 0}, 16, " -.- "},
        {"in missing rate", 8, "-.-", UnitSettings{0, 1, 0, 2, 1, 0}, 14, " -.- "},
        {"inHg relative", 13, "1013.2", UnitSettings{0, 0, 2, 2, 1, 0}, 3, " 29.92 "},
        {"mmHg relative", 13, "1013.2", UnitSettings{0, 0, 1, 2, 1, 0}, 3, " 760.0 "},
        {"absolute pressure", 14, "1000.0", UnitSettings{0, 0, 0, 2, 0, 0}, 3, " 1000.0 "},
        {"knots", 9, "10.0", UnitSettings{0, 0, 0, 3, 1, 0}, 10, " 5.4 "},
        {"m/s", 9, "36.0", UnitSettings{0, 0, 0, 1, 1, 0}, 10, " 10.0 "},
        {"mph", 9, "100", UnitSettings{0, 0, 0, 0, 1, 0}, 10, " 62.1 "},
        {"degrees", 11, "225", UnitSettings{0, 0, 0, 2, 1, 1}, 13, " 225 "},
        {"not a number", 9, "abc", UnitSettings{0, 0, 0, 3, 1, 0}, 10, " abc "},
    };
    for (const Case &c : cases) {
        auto tokens = tokens_of(sample);
        tokens[c.token] = c.value;
        std::string record;
        for (const std::string &t : tokens)
            record += (record.empty() ? "" : " ") + t;
        const auto row = cells(row_of(record, whole_request(1), c.u));
        ASSERT_EQ(row.size(), 33u) << c.name;
        EXPECT_EQ(row[c.column - 1], c.cell) << c.name;
    }
}

// Any record in any units: each cell is the record's token as a plain
// split reads it (at most 36 tokens, each cut after 31 characters), put
// through the dashboard's formatting. Spaces fall at every offset of a
// machine word, beside bytes that differ from a space in one bit.
TEST(ExportRow, CellsAreTheDashboardsTextOfEachTokenOfAnyRecord)
{
    std::srand(7);
    const std::string alphabet = "0123456789.--!!\"aZ\xA0\xE9\xFF";
    for (int r = 0; r < 300; ++r) {
        std::string record;
        while (record.size() < RECORD_BYTES - 1 - 48) {
            const int length = std::rand() % (std::rand() % 4 == 0 ? 40 : 7);
            for (int i = 0; i < length; ++i)
                record += alphabet[std::rand() % alphabet.size()];
            record += ' ';
            if (r % 20 == 0 && record.size() > 100)
                break;
        }
        std::vector<std::string> tokens = tokens_of(record);
        tokens.resize(TOKEN_COUNT);
        for (std::string &t : tokens)
            t = t.substr(0, TOKEN_UNITS);
        const auto unit = [r](int step, int count) { return std::uint8_t(r / step % count); };
        const UnitSettings units{unit(1, 2), unit(2, 2), unit(4, 3), unit(12, 4), unit(48, 2), unit(96, 2)};
        std::u16string expected;
        for (int c = 0; c < EXPORT_COLUMNS; ++c) {
            const ExportColumn &column = export_columns[c];
            const int k = column.source == ExportSource::pressure ? pressure_token(units.pressure_kind)
                        : column.source == ExportSource::direction
                            ? direction_token(units.direction_style)
                            : column.token;
            std::u16string token;
            for (unsigned char b : tokens[k])
                token += char16_t(b);
            expected += u' ';
            expected += column.source == ExportSource::plain
                            ? token
                            : export_cell_text(column.kind, token.c_str(), units).text;
            expected += c + 1 < EXPORT_COLUMNS ? u" \t" : u" \n";
        }
        ASSERT_EQ(row_of(record, whole_request(1), units), utf8(expected.c_str())) << "record " << r;
    }
}

TEST(ExportRow, ShortRecordGivesEmptyCellsForAbsentTokens)
{
    const auto row = cells(row_of("12 2026-12-08 14:00 21.1", whole_request(1), UnitSettings{}));
    ASSERT_EQ(row.size(), 33u);
    EXPECT_EQ(row[3], " 21.1 ");
    EXPECT_EQ(row[4], "  ");
    EXPECT_EQ(row[32], "  \n");
}

TEST(ExportRow, LongestTokensFitTheRow)
{
    // 36 tokens of 40 characters fill most of the 450-byte slot; each cell
    // keeps the first 31 characters of its token.
    std::string record;
    for (int i = 0; i < 11; ++i)
        record += std::string(40, char('a' + i)) + " ";
    record.resize(RECORD_BYTES);
    static ExportWorkspace work;
    MemorySink sink;
    Slot slot(record);
    ASSERT_EQ(write_record_row(sink.sink(), slot.bytes, whole_request(1), UnitSettings{}, &work), 1);
    const auto row = cells(sink.text(0));
    ASSERT_EQ(row.size(), 33u);
    EXPECT_EQ(row[0], " " + std::string(31, 'b') + " ");
    EXPECT_EQ(row[4], " " + std::string(31, 'e') + " ");
}

TEST(ExportRow, PeriodFilterIsInclusiveAndComparesNumbers)
{
    struct Case {
        const char *date, *start, *end;
        bool exported;
    } cases[] = {
        {"2018-01-05", "2018-1-5", "2018-1-5", true},
        {"2018-01-04", "2018-1-5", "2018-1-5", false},
        {"2018-01-06", "2018-1-5", "2018-1-5", false},
        {"2017-12-31", "2017-12-31", "2018-01-01", true},
        {"2018-01-01", "2017-12-31", "2018-01-01", true},
        {"2019-01-01", "2018-12-31", "2018-1-1", false}, // start after end
        {"2018/01/05", "2018-1-1", "2018-1-31", false},   // not a date: outside any period
        {"2018-01-05", "2018-1-1", "x", false},          // a period that reads as nothing
    };
    for (const Case &c : cases) {
        ExportRequest request = whole_request(1);
        set_period(request, c.start, c.end);
        const std::string row = row_of(with_date(c.date), request, UnitSettings{});
        EXPECT_EQ(!row.empty(), c.exported) << c.date << " in " << c.start << " .. " << c.end;
    }
}

TEST(ExportRow, EmptySlotWritesNothing)
{
    EXPECT_EQ(row_of("", whole_request(1), UnitSettings{}), "");
}

TEST(ReadDateKey, ThreeNumbers)
{
    struct Case {
        const char *text;
        int read;
        long long key;
    } cases[] = {
        {"2018-01-05", 1, 20180105}, {"2018-1-5", 1, 20180105}, {" 2018-1-5", 1, 20180105},
        {"2019-12-31", 1, 20191231}, {"2018-1", 0, 0},          {"", 0, 0},
        {"2018-1a-5", 0, 0},
    };
    for (const Case &c : cases) {
        long long key = 0;
        EXPECT_EQ(read_date_key(utf16(c.text).c_str(), &key), c.read) << c.text;
        EXPECT_EQ(key, c.key) << c.text;
    }
}

// ---- the walk over the store -----------------------------------------------

TEST(ExportWalk, FiveAnnouncedFourStoredGivesFourRows)
{
    fill_store({with_date("2026-12-01"), with_date("2026-12-02"), with_date("2026-12-03"),
                with_date("2026-12-04")});
    LinkFlags flags;
    flags.history_total = 5;
    static ExportWorkspace work;
    MemorySink sink;
    EXPECT_EQ(write_export(sink.sink(), store, whole_request(1), UnitSettings{}, flags, &work),
              ExportOutcome::written);
    const auto lines = sink.lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(cells(lines[2])[0], " 2026-12-01 ");
    EXPECT_EQ(cells(lines[5])[0], " 2026-12-04 ");
}

TEST(ExportWalk, StopsAtTheAnnouncedCountAndAtTheStoreEnd)
{
    fill_store({with_date("2026-12-01"), with_date("2026-12-02"), with_date("2026-12-03")});
    std::memcpy(store.slot[HISTORY_SLOTS - 1], sample, std::strlen(sample));
    static ExportWorkspace work;
    struct Case {
        int total;
        std::size_t lines;
    } cases[] = {{2, 4}, {0, 2}, {65535, 6}};
    for (const Case &c : cases) {
        LinkFlags flags;
        flags.history_total = c.total;
        MemorySink sink;
        EXPECT_EQ(write_export(sink.sink(), store, whole_request(1), UnitSettings{}, flags, &work),
                  ExportOutcome::written);
        EXPECT_EQ(sink.lines().size(), c.lines) << "history_total " << c.total;
    }
}

// The user's cancel, and a cancel of the download (the console's status
// report, an unplug), both stop the file after the record being written.
TEST(ExportWalk, EitherCancelStopsAfterTheRecordBeingWritten)
{
    fill_store({sample, sample, sample});
    static ExportWorkspace work;
    for (int user : {1, 0}) {
        SCOPED_TRACE(user ? "user's cancel" : "download cancelled");
        LinkFlags flags;
        flags.history_total = 3;
        (user ? flags.export_cancel : flags.history_cancel) = 1;
        MemorySink sink;
        EXPECT_EQ(write_export(sink.sink(), store, whole_request(1), UnitSettings{}, flags, &work),
                  ExportOutcome::cancelled);
        EXPECT_EQ(sink.lines().size(), 3u);
    }
}

TEST(ExportWalk, ARefusedWriteIsAFailureNotASuccess)
{
    fill_store({sample, sample, sample});
    LinkFlags flags;
    flags.history_total = 3;
    static ExportWorkspace work;
    for (std::size_t limit : {std::size_t(0), std::size_t(1), std::size_t(600), std::size_t(2000)}) {
        MemorySink sink;
        sink.refuse_after = limit;
        EXPECT_EQ(write_export(sink.sink(), store, whole_request(1), UnitSettings{}, flags, &work),
                  ExportOutcome::write_failed)
            << "disk full after " << limit << " bytes";
    }
}

} // namespace
