#include "history/export_writer.h"

#include <algorithm>
#include <bit>
#include <string>

#include "live/units.h"

namespace {

constexpr int ALWAYS = EXPORT_ALWAYS;
using Source = ExportSource;
using Column = ExportColumn;

} // namespace

// data_set indices: 0 pressure, 1 indoor, 2 outdoor, 3 rain, 4 UV, 5 wind,
// 6 dew point, 7 heat index, 8 .. 14 CH1 .. CH7.
const ExportColumn export_columns[EXPORT_COLUMNS] = {
    {u"Date", u"yy-mm-dd", Source::plain, ReadingKind::text, token::date, ALWAYS},
    {u"Time", u"hh:mm", Source::plain, ReadingKind::text, token::time, ALWAYS},
    {u"Barometric/pressure", nullptr, Source::pressure, ReadingKind::pressure, 0, 0},
    {u"Indoor/temperature", nullptr, Source::converted, ReadingKind::temperature, token::indoor_temp, 1},
    {u"Indoor/humidity", nullptr, Source::plain, ReadingKind::humidity, token::indoor_humidity, 1},
    {u"Outdoor/temperature", nullptr, Source::converted, ReadingKind::temperature, token::outdoor_temp, 2},
    {u"Outdoor/humidity", nullptr, Source::plain, ReadingKind::humidity, token::outdoor_humidity, 2},
    {u"Dew-point", nullptr, Source::converted, ReadingKind::temperature, token::dew_point, 6},
    {u"Heat/index", nullptr, Source::converted, ReadingKind::temperature, token::heat_index, 7},
    {u"Wind/speed", nullptr, Source::converted, ReadingKind::wind_speed, token::wind_speed, 5},
    {u"Wind/gust", nullptr, Source::converted, ReadingKind::wind_speed, token::wind_gust, 5},
    {u"Wind/chill", nullptr, Source::converted, ReadingKind::temperature, token::wind_chill, 5},
    {u"Wind/direction", nullptr, Source::direction, ReadingKind::direction, 0, 5},
    {u"Rain rate", nullptr, Source::converted, ReadingKind::rain_rate, token::rain_rate, 3},
    {u"Hourly/rainfall", nullptr, Source::converted, ReadingKind::rain_amount, token::hourly_rain, 3},
    {u"Daily/rainfall", nullptr, Source::converted, ReadingKind::rain_amount, token::daily_rain, 3},
    {u"Weekly/rainfall", nullptr, Source::converted, ReadingKind::rain_amount, token::weekly_rain, 3},
    {u"Monthly/rainfall", nullptr, Source::converted, ReadingKind::rain_amount, token::monthly_rain, 3},
    {u"UV/index", u"index", Source::plain, ReadingKind::text, token::uv_index, 4},
    {u"CH1/temperature", nullptr, Source::converted, ReadingKind::temperature, token::ch1_temp, 8},
    {u"CH1/humidity", nullptr, Source::plain, ReadingKind::humidity, token::ch1_humidity, 8},
    {u"CH2/temperature", nullptr, Source::converted, ReadingKind::temperature, token::ch2_temp, 9},
    {u"CH2/humidity", nullptr, Source::plain, ReadingKind::humidity, token::ch2_humidity, 9},
    {u"CH3/temperature", nullptr, Source::converted, ReadingKind::temperature, token::ch3_temp, 10},
    {u"CH3/humidity", nullptr, Source::plain, ReadingKind::humidity, token::ch3_humidity, 10},
    {u"CH4/temperature", nullptr, Source::converted, ReadingKind::temperature, token::ch4_temp, 11},
    {u"CH4/humidity", nullptr, Source::plain, ReadingKind::humidity, token::ch4_humidity, 11},
    {u"CH5/temperature", nullptr, Source::converted, ReadingKind::temperature, token::ch5_temp, 12},
    {u"CH5/humidity", nullptr, Source::plain, ReadingKind::humidity, token::ch5_humidity, 12},
    {u"CH6/temperature", nullptr, Source::converted, ReadingKind::temperature, token::ch6_temp, 13},
    {u"CH6/humidity", nullptr, Source::plain, ReadingKind::humidity, token::ch6_humidity, 13},
    {u"CH7/temperature", nullptr, Source::converted, ReadingKind::temperature, token::ch7_temp, 14},
    {u"CH7/humidity", nullptr, Source::plain, ReadingKind::humidity, token::ch7_humidity, 14},
};

namespace {

// Column 16 (daily rainfall) carries two spaces before its caption.
constexpr int wide_caption_column = 15;

// A row being built; appends stop at the capacity instead of overrunning,
// and the row is then refused as a whole.
struct Row {
    char16_t *units;
    int capacity;
    int length;
    int overflow;
};

// A row is built a few hundred times a second for a year's file: units are
// copied a text at a time, not one by one.
char16_t *room(Row &row, int count)
{
    if (row.overflow || count > row.capacity - row.length) {
        row.overflow = 1;
        return nullptr;
    }
    row.length += count;
    return row.units + row.length - count;
}

void append(Row &row, const char16_t *text, int count)
{
    if (char16_t *at = room(row, count))
        std::copy_n(text, count, at);
}

void append(Row &row, const char16_t *text)
{
    append(row, text, static_cast<int>(std::char_traits<char16_t>::length(text)));
}

void append_unit(Row &row, char16_t unit) { append(row, &unit, 1); }

// A token's bytes, each one a code unit.
void append_bytes(Row &row, const unsigned char *bytes, int count)
{
    if (char16_t *at = room(row, count))
        std::copy_n(bytes, count, at);
}

// Little-endian bytes, whatever the machine's order; on a little-endian
// machine they are the units as they stand.
int send_row(const ByteSink &sink, const Row &row, std::uint8_t *bytes)
{
    if (row.overflow)
        return 0;
    const std::size_t count = static_cast<std::size_t>(row.length) * 2;
    if constexpr (std::endian::native == std::endian::little)
        return sink.write(sink.context, reinterpret_cast<const std::uint8_t *>(row.units), count);
    for (int i = 0; i < row.length; ++i) {
        bytes[2 * i] = static_cast<std::uint8_t>(row.units[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(row.units[i] >> 8);
    }
    return sink.write(sink.context, bytes, count);
}

void append_title(Row &row, const char16_t *title)
{
    const char16_t *slash = title;
    while (*slash != 0 && *slash != u'/')
        ++slash;
    if (*slash == 0) {
        append(row, title);
        return;
    }
    append_unit(row, u'"');
    for (const char16_t *c = title; c != slash; ++c)
        append_unit(row, *c);
    append(row, u"\r\n");
    append(row, slash + 1);
    append_unit(row, u'"');
}

const char16_t *caption_of(const Column &column, const UnitSettings &units)
{
    return column.caption != nullptr ? column.caption : export_caption(column.kind, units);
}

// A signed decimal as "%d" reads it: white space, sign, at least one digit.
// Values are held far below overflow; more digits keep the number saturated.
const char16_t *read_number(const char16_t *text, long long *value)
{
    while (*text == u' ' || (*text >= u'\t' && *text <= u'\r'))
        ++text;
    int negative = 0;
    if (*text == u'+' || *text == u'-')
        negative = *text++ == u'-';
    if (*text < u'0' || *text > u'9')
        return nullptr;
    long long number = 0;
    for (; *text >= u'0' && *text <= u'9'; ++text)
        if (number < 1000000000000LL)
            number = number * 10 + (*text - u'0');
    *value = negative ? -number : number;
    return text;
}

int in_period(const char16_t *date, const ExportRequest &request)
{
    long long day = 0, first = 0, last = 0;
    if (!read_date_key(date, &day) || !read_date_key(request.period_start, &first) ||
        !read_date_key(request.period_end, &last))
        return 0;
    return day >= first && day <= last;
}

} // namespace

int read_date_key(const char16_t *text, long long *key)
{
    long long part[3];
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (*text != u'-')
                return 0;
            ++text;
        }
        text = read_number(text, &part[i]);
        if (text == nullptr)
            return 0;
    }
    *key = part[0] * 10000 + part[1] * 100 + part[2];
    return 1;
}

int write_export_header(const ByteSink &sink, const UnitSettings &units)
{
    static const std::uint8_t bom[2] = {0xFF, 0xFE};
    if (!sink.write(sink.context, bom, 2))
        return 0;

    char16_t units_buffer[EXPORT_ROW_UNITS];
    std::uint8_t bytes[EXPORT_ROW_UNITS * 2];
    Row titles{units_buffer, EXPORT_ROW_UNITS, 0, 0};
    for (int c = 0; c < EXPORT_COLUMNS; ++c) {
        append_title(titles, export_columns[c].title);
        append_unit(titles, c + 1 < EXPORT_COLUMNS ? u'\t' : u'\n');
    }
    if (!send_row(sink, titles, bytes))
        return 0;

    Row captions{units_buffer, EXPORT_ROW_UNITS, 0, 0};
    for (int c = 0; c < EXPORT_COLUMNS; ++c) {
        append(captions, c == wide_caption_column ? u"  " : u" ");
        append(captions, caption_of(export_columns[c], units));
        append(captions, c + 1 < EXPORT_COLUMNS ? u" \t" : u" \n");
    }
    return send_row(sink, captions, bytes);
}

int write_record_row(const ByteSink &sink, const std::uint8_t *record,
                     const ExportRequest &request, const UnitSettings &units,
                     ExportWorkspace *work)
{
    if (record == nullptr || record[0] == 0)
        return 1;
    RecordTokens tokens;
    split_station_record(reinterpret_cast<const char *>(record), RECORD_BYTES, &tokens);
    return write_tokens_row(sink, tokens, request, units, work);
}

int write_tokens_row(const ByteSink &sink, const RecordTokens &tokens,
                     const ExportRequest &request, const UnitSettings &units,
                     ExportWorkspace *work)
{
    if (request.whole_period != 1) {
        const int n = tokens.length[token::date];
        char16_t date[TOKEN_UNITS + 1] = {};
        std::copy_n(reinterpret_cast<const unsigned char *>(tokens.text[token::date]), n, date);
        if (!in_period(date, request))
            return 1;
    }

    Row row{work->row, EXPORT_ROW_UNITS, 0, 0};
    for (int c = 0; c < EXPORT_COLUMNS; ++c) {
        const Column &column = export_columns[c];
        append_unit(row, u' ');
        if (column.data_set == ALWAYS || request.data_set[column.data_set] == 1) {
            int k = column.token;
            if (column.source == Source::pressure)
                k = pressure_token(units.pressure_kind);
            else if (column.source == Source::direction)
                k = direction_token(units.direction_style);
            const auto *text = reinterpret_cast<const unsigned char *>(tokens.text[k]);
            // Most cells stand as the console sent them: widened in place.
            if (column.source == Source::plain || shown_as_sent(column.kind, units)) {
                append_bytes(row, text, tokens.length[k]);
            } else {
                char16_t token[TOKEN_UNITS + 1] = {};
                std::copy_n(text, tokens.length[k], token);
                append(row, export_cell_text(column.kind, token, units).text);
            }
        }
        append(row, c + 1 < EXPORT_COLUMNS ? u" \t" : u" \n", 2);
    }
    return send_row(sink, row, work->bytes);
}

ExportOutcome write_export(const ByteSink &sink, const HistoryStore &store,
                           const ExportRequest &request, const UnitSettings &units,
                           const LinkFlags &flags, ExportWorkspace *work)
{
    if (!write_export_header(sink, units))
        return ExportOutcome::write_failed;
    for (int i = 0; i < flags.history_total && i < HISTORY_SLOTS; ++i) {
        if (!write_record_row(sink, store.slot[i], request, units, work))
            return ExportOutcome::write_failed;
        if (flags.export_cancel == 1 || flags.history_cancel == 1)
            return ExportOutcome::cancelled;
    }
    return ExportOutcome::written;
}
