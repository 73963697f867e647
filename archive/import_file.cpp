// An export file read back into station records. The column table and the
// unit conversions are the export writer's own: the units row is matched
// against the captions the writer would write, and a converted reading is
// taken back to the console value whose export gives the same text.
#include "archive/import_file.h"

#include <array>
#include <charconv>
#include <cmath>

#include "archive/archive.h"
#include "history/export_writer.h"
#include "history/history_store.h"
#include "live/station_record.h"
#include "live/units.h"

namespace {

// Every reading the console sends in its own unit has one decimal.
constexpr int CONSOLE_TENTHS = 10;
// No reading of the console shows beyond this in any unit; the limit keeps
// converted values far inside what the format operations read exactly.
constexpr double LARGEST_READING = 1e4;

struct Failure {
    long line;
    std::string message;
};

int fail(Failure *f, long line, const std::string &message)
{
    f->line = line;
    f->message = message;
    return 0;
}

std::string narrow(const std::u16string &text)
{
    std::string out;
    for (char16_t c : text)
        if (c < 0x80)
            out += static_cast<char>(c);
        else if (c < 0x800)
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        else
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
    return out;
}

long lines_in(const std::u16string &text, std::size_t from, std::size_t to)
{
    long n = 0;
    for (std::size_t i = from; i < to; ++i)
        n += text[i] == u'\n';
    return n;
}

// ---- bytes to UTF-16 --------------------------------------------------------

int decode_utf16(const std::uint8_t *bytes, std::size_t size, std::u16string *text, Failure *f)
{
    for (std::size_t i = 2; i + 1 < size; i += 2)
        *text += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (size % 2 != 0)
        return fail(f, 1 + lines_in(*text, 0, text->size()),
                    "the file ends in half a character (cut short?)");
    return 1;
}

// Strict UTF-8: a byte sequence that is not a character refuses the file.
int decode_utf8(const std::uint8_t *bytes, std::size_t size, std::u16string *text, Failure *f)
{
    std::size_t i = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    long line = 1;
    while (i < size) {
        const unsigned b = bytes[i];
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        unsigned long c = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
        int ok = extra >= 0 && i + extra < size;
        for (int k = 1; ok && k <= extra; ++k) {
            ok = (bytes[i + k] & 0xC0) == 0x80;
            c = c << 6 | (bytes[i + k] & 0x3F);
        }
        static const unsigned long least[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return fail(f, line, "not UTF-8 text");
        if (c >= 0x10000) {
            *text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            *text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            *text += static_cast<char16_t>(c);
        }
        line += c == '\n';
        i += 1 + extra;
    }
    return 1;
}

// ---- rows and cells -----------------------------------------------------------

std::vector<std::u16string> split_cells(const std::u16string &row)
{
    std::vector<std::u16string> cells(1);
    for (char16_t c : row)
        if (c == u'\t')
            cells.emplace_back();
        else
            cells.back() += c;
    return cells;
}

// A cell's value: the writer puts spaces round it (two before one caption).
std::u16string trimmed(const std::u16string &cell)
{
    std::size_t a = 0, b = cell.size();
    while (a < b && cell[a] == u' ')
        ++a;
    while (b > a && cell[b - 1] == u' ')
        --b;
    return cell.substr(a, b - a);
}

// A title as the UTF-16 file writes it ("Wind<CR><LF>speed" in quotes) or
// as the UTF-8 one does ("Wind speed").
int title_matches(const std::u16string &cell, const char16_t *title)
{
    std::u16string first, second;
    const char16_t *c = title;
    for (; *c && *c != u'/'; ++c)
        first += *c;
    if (*c == 0)
        return cell == first;
    second = c + 1;
    return cell == u"\"" + first + u"\r\n" + second + u"\"" || cell == first + u" " + second;
}

std::u16string caption(const ExportColumn &column, const UnitSettings &units)
{
    return column.caption ? column.caption : export_caption(column.kind, units);
}

// The settings whose units row the writer writes as these captions.
int units_of(const std::vector<std::u16string> &captions, UnitSettings *found)
{
    if (captions.size() != EXPORT_COLUMNS)
        return 0;
    for (int t = 0; t < 2; ++t)
        for (int r = 0; r < 2; ++r)
            for (int p = 0; p < 3; ++p)
                for (int w = 0; w < 4; ++w)
                    for (int k = 0; k < 2; ++k)
                        for (int d = 0; d < 2; ++d) {
                            const UnitSettings u{std::uint8_t(t), std::uint8_t(r), std::uint8_t(p),
                                                 std::uint8_t(w), std::uint8_t(k), std::uint8_t(d)};
                            int c = 0;
                            while (c < EXPORT_COLUMNS && trimmed(captions[c]) == caption(export_columns[c], u))
                                ++c;
                            if (c == EXPORT_COLUMNS) {
                                *found = u;
                                return 1;
                            }
                        }
    return 0;
}

// ---- cells back to tokens ---------------------------------------------------

std::string column_name(const ExportColumn &column)
{
    std::u16string name = column.title;
    for (char16_t &c : name)
        if (c == u'/')
            c = u' ';
    return narrow(name);
}

// How the console writes a reading it does not have.
const char *missing_form(ReadingKind kind)
{
    switch (kind) {
    case ReadingKind::temperature:
    case ReadingKind::wind_speed: return "--.-";
    case ReadingKind::pressure: return "---.-";
    case ReadingKind::rain_amount:
    case ReadingKind::rain_rate: return "-.-";
    case ReadingKind::direction: return "---";
    default: return "--";
    }
}

// A cell can stand for a token when it has no space or control character
// and fits a token; record bytes travel as code units of the same value.
int token_of(const std::u16string &cell, std::string *token)
{
    if (cell.size() > static_cast<std::size_t>(TOKEN_UNITS))
        return 0;
    token->clear();
    for (char16_t c : cell) {
        if (c <= 0x20 || c == 0x7F || c > 0xFF)
            return 0;
        *token += static_cast<char>(c);
    }
    return 1;
}

std::string tenths_text(long long tenths)
{
    const long long size = tenths < 0 ? -tenths : tenths;
    // Appended, not a literal + string: GCC 12 at -O3 takes that for an
    // overlapping copy (-Wrestrict).
    std::string text(tenths < 0 ? 1 : 0, '-');
    text += std::to_string(size / CONSOLE_TENTHS);
    text += '.';
    text += std::to_string(size % CONSOLE_TENTHS);
    return text;
}

// The console's token for a converted cell: the conversion undone, to the
// nearest tenth the console can send. A shown step is wider than a tenth in
// every unit but °F, where each tenth of a degree Celsius has a text of its
// own; either way that tenth exports to the same text again.
int console_token(ReadingKind kind, const std::u16string &cell, const UnitSettings &units,
                  std::string *token)
{
    double shown = 0;
    if (!token_of(cell, token))
        return 0;
    if (!console_value(kind, 0, units, &shown) || is_missing_reading(kind, cell.c_str()))
        return 1;
    float leading = 0;
    const auto parsed = std::from_chars(token->data(), token->data() + token->size(), shown,
                                        std::chars_format::fixed);
    if (parsed.ec != std::errc() || parsed.ptr != token->data() + token->size())
        return !read_leading_float(cell.c_str(), &leading); // no number at all: kept as sent
    if (!(std::fabs(shown) <= LARGEST_READING))
        return 0;
    double value = 0;
    console_value(kind, shown, units, &value);
    *token = tenths_text(std::llround(value * CONSOLE_TENTHS));
    return 1;
}

// Every token as the console writes it missing, by the kind of the column
// that shows it; tokens no column shows (the logger percentage) as text.
const std::array<std::string, TOKEN_COUNT> &missing_tokens()
{
    static const std::array<std::string, TOKEN_COUNT> tokens = [] {
        ReadingKind kind[TOKEN_COUNT];
        for (ReadingKind &k : kind)
            k = ReadingKind::text;
        for (const ExportColumn &column : export_columns) {
            if (column.source == ExportSource::pressure)
                kind[token::rel_pressure] = kind[token::abs_pressure] = column.kind;
            else if (column.source == ExportSource::direction)
                kind[token::wind_dir_degrees] = kind[token::wind_dir_point] = column.kind;
            else
                kind[column.token] = column.kind;
        }
        std::array<std::string, TOKEN_COUNT> out;
        for (int t = 0; t < TOKEN_COUNT; ++t)
            out[t] = missing_form(kind[t]);
        return out;
    }();
    return tokens;
}

int record_of_row(const std::vector<std::u16string> &raw, const UnitSettings &units, long line,
                  std::string *record, Failure *f)
{
    if (raw.size() != EXPORT_COLUMNS)
        return fail(f, line, "this row has " + std::to_string(raw.size()) + " cells; an export row has " +
                                 std::to_string(EXPORT_COLUMNS));
    std::u16string cell[EXPORT_COLUMNS];
    for (int c = 0; c < EXPORT_COLUMNS; ++c)
        cell[c] = trimmed(raw[c]);
    std::array<std::string, TOKEN_COUNT> tokens = missing_tokens();
    for (int c = 0; c < EXPORT_COLUMNS; ++c) {
        const ExportColumn &column = export_columns[c];
        if (cell[c].empty())
            continue; // a data set the export left out
        const int t = column.source == ExportSource::pressure    ? pressure_token(units.pressure_kind)
                      : column.source == ExportSource::direction ? direction_token(units.direction_style)
                                                                 : column.token;
        const int ok = column.source == ExportSource::plain || column.source == ExportSource::direction
                           ? token_of(cell[c], &tokens[t])
                           : console_token(column.kind, cell[c], units, &tokens[t]);
        if (!ok)
            return fail(f, line, "\"" + narrow(cell[c]) + "\" in column " + column_name(column) +
                                     " is not a reading (" +
                                     narrow(caption(column, units)) + ")");
    }
    record->clear();
    for (int t = 0; t < TOKEN_COUNT; ++t)
        *record += (t ? " " : "") + tokens[t];
    std::string time;
    if (!archive_record_time(*record, &time))
        return fail(f, line, "\"" + narrow(cell[0]) + " " + narrow(cell[1]) +
                                 "\" is not a date and time (YYYY-MM-DD HH:MM)");
    if (record->size() >= static_cast<std::size_t>(RECORD_BYTES))
        return fail(f, line, "the row makes a record longer than the console's " +
                                 std::to_string(RECORD_BYTES) + " bytes");
    return 1;
}

int read_file(const std::uint8_t *bytes, std::size_t size, ImportedFile *file, Failure *f)
{
    std::u16string text;
    file->utf16 = size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
    if (!(file->utf16 ? decode_utf16(bytes, size, &text, f) : decode_utf8(bytes, size, &text, f)))
        return 0;

    // The titles row: its two-line titles hold line breaks inside quotes.
    std::size_t end = 0;
    for (int quoted = 0; end < text.size() && (quoted || text[end] != u'\n'); ++end)
        quoted ^= text[end] == u'"';
    // A file saved again with Windows line ends reads the same.
    const std::size_t titles_end = end > 0 && text[end - 1] == u'\r' ? end - 1 : end;
    const std::vector<std::u16string> titles = split_cells(text.substr(0, titles_end));
    int matching = titles.size() == EXPORT_COLUMNS && end < text.size();
    for (int c = 0; matching && c < EXPORT_COLUMNS; ++c)
        matching = title_matches(titles[c], export_columns[c].title);
    if (!matching)
        return fail(f, 1, "not an export file: the first row is not the export's column titles");
    long line = 1 + lines_in(text, 0, end) + 1;

    // Then the units row and the records, each ending in a line feed.
    int have_units = 0;
    for (std::size_t start = end + 1; start < text.size(); start = end + 1, ++line) {
        end = text.find(u'\n', start);
        if (end == std::u16string::npos)
            return fail(f, line, "the file ends inside this row (cut short?)");
        const std::size_t stop = end > start && text[end - 1] == u'\r' ? end - 1 : end;
        if (stop == start && have_units)
            continue; // an empty line holds no record
        const std::vector<std::u16string> cells = split_cells(text.substr(start, stop - start));
        if (!have_units) {
            if (!units_of(cells, &file->units))
                break;
            have_units = 1;
            continue;
        }
        file->records.emplace_back();
        if (!record_of_row(cells, file->units, line, &file->records.back(), f))
            return 0;
    }
    if (!have_units)
        return fail(f, line, "not an export file: the second row is not a units row the export writes");
    return 1;
}

} // namespace

int read_export_file(const std::uint8_t *bytes, std::size_t size, ImportedFile *file, long *line,
                     std::string *error)
{
    *file = ImportedFile{};
    Failure f{0, ""};
    if (read_file(bytes, size, file, &f))
        return 1;
    *line = f.line;
    *error = f.message;
    return 0;
}
