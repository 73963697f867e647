// Unit conversion and value texts. The console sends °C, %, hPa, km/h, mm,
// mm/h and degrees; every conversion starts again from the token text.
#include "live/units.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "live/station_record.h"

namespace {

constexpr double HPA_TO_MMHG = 0.7500493583415596;
constexpr double HPA_TO_INHG = 0.02952615992102665;
constexpr double KMH_TO_MPH = 0.6214;
constexpr double KMH_TO_MS = 0.2777;
constexpr double KMH_TO_KNOTS = 0.5399;
constexpr double MM_TO_IN = 0.03937007874015748;

// A damaged stored "unit" value must not pick a table row that does not
// exist: anything unknown behaves as the field's default.
int temperature_index(int u) { return u == 1 ? 1 : 0; }
int rain_index(int u) { return u == 1 ? 1 : 0; }
int pressure_index(int u) { return u >= 0 && u <= 2 ? u : 0; }
int wind_index(int u) { return u >= 0 && u <= 3 ? u : 2; }
int kind_index(int k) { return k == 0 ? 0 : 1; }
int style_index(int s) { return s == 1 ? 1 : 0; }

// Tokens are at most TOKEN_UNITS long; a longer text is seen only that far.
int token_length(const char16_t *text)
{
    int n = 0;
    if (text != nullptr)
        while (n < TOKEN_UNITS && text[n] != 0)
            ++n;
    return n;
}

FormattedText copy_token(const char16_t *token)
{
    FormattedText out{};
    const int n = token_length(token);
    for (int i = 0; i < n; ++i)
        out.text[i] = token[i];
    return out;
}

int contains(const char16_t *text, const char16_t *part)
{
    const int n = token_length(text);
    int m = 0;
    while (part[m] != 0)
        ++m;
    for (int i = 0; i + m <= n; ++i) {
        int j = 0;
        while (j < m && text[i + j] == part[j])
            ++j;
        if (j == m)
            return 1;
    }
    return 0;
}

int is_space(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

int is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

// Moves *i past leading white space and a sign, as number reading does;
// returns 1 for a minus sign.
int skip_space_and_sign(const char16_t *text, int n, int *i)
{
    while (*i < n && is_space(text[*i]))
        ++*i;
    if (*i < n && (text[*i] == u'+' || text[*i] == u'-'))
        return text[(*i)++] == u'-';
    return 0;
}

// Case-insensitive match of an ASCII word at text[i]; returns its length or 0.
int match_word(const char16_t *text, int i, int n, const char *word)
{
    int j = 0;
    for (; word[j] != '\0'; ++j)
        if (i + j >= n || lower(text[i + j]) != char16_t(word[j]))
            return 0;
    return j;
}

// The value as printf's "%.1f"/"%.2f" writes it, widened to UTF-16. Fails
// when it does not fit the 31 units of a result (a huge value).
int write_number(double value, int precision, FormattedText *out)
{
    char digits[32];
    const auto result = std::to_chars(digits, digits + TOKEN_UNITS, value,
                                      std::chars_format::fixed, precision);
    if (result.ec != std::errc())
        return 0;
    *out = FormattedText{};
    for (int i = 0; digits + i < result.ptr; ++i)
        out->text[i] = static_cast<unsigned char>(digits[i]);
    return 1;
}

// token × factor at the given precision; a token that is not a number, or
// a result too long to show, stays as the console sent it.
FormattedText converted(const char16_t *token, double factor, int precision)
{
    FormattedText out = copy_token(token);
    float v = 0;
    FormattedText number;
    if (read_leading_float(out.text, &v) && write_number(static_cast<double>(v) * factor, precision, &number))
        out = number;
    return out;
}

// floor((V × 1.8 + 32) × 10) for the exact decimal V the token writes,
// read as read_leading_float reads it; 0 when the token holds no plain
// decimal or the result passes 10^15 (inf, nan, huge or over-long numbers),
// so that the tenths stay exact in a double.
// V = ±digits × 10^shift, so the result is floor(±18 × digits × 10^shift) + 320.
int fahrenheit_tenths(const char16_t *text, long long *tenths)
{
    const int n = token_length(text);
    int i = 0;
    const int negative = skip_space_and_sign(text, n, &i);
    long long digits = 0;
    int mantissa_digits = 0;
    int shift = 0;
    for (int point = 0; i < n; ++i) {
        if (text[i] == u'.' && !point) {
            point = 1;
            continue;
        }
        if (!is_digit(text[i]))
            break;
        if (digits >= 10000000000000000LL) // beyond 17 digits
            return 0;
        digits = digits * 10 + (text[i] - u'0');
        ++mantissa_digits;
        shift -= point;
    }
    if (mantissa_digits == 0)
        return 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        int k = i + 1;
        const int minus = k < n && text[k] == u'-';
        if (k < n && (text[k] == u'+' || text[k] == u'-'))
            ++k;
        int exponent = 0;
        for (; k < n && is_digit(text[k]); ++k)
            if (exponent < 10000)
                exponent = exponent * 10 + (text[k] - u'0');
        shift += minus ? -exponent : exponent;
    }
    const long long LIMIT = 1000000000000000LL;
    long long scaled = 18 * digits; // below 1.8e18
    long long whole = 0;
    int cut = 0;
    if (scaled == 0) {
    } else if (shift >= 0) {
        for (; shift > 0 && scaled < LIMIT; --shift)
            scaled *= 10;
        whole = scaled;
    } else if (shift >= -18) {
        long long q = 1;
        for (; shift < 0; ++shift)
            q *= 10;
        whole = scaled / q;
        cut = scaled % q != 0;
    } else {
        cut = 1; // |18 V| < 1
    }
    if (whole >= LIMIT)
        return 0;
    *tenths = (negative ? -whole - cut : whole) + 320;
    return 1;
}

} // namespace

int read_leading_float(const char16_t *text, float *value)
{
    const int n = token_length(text);
    int i = 0;
    const int negative = skip_space_and_sign(text, n, &i);

    float magnitude = 0;
    if (match_word(text, i, n, "inf")) {
        magnitude = INFINITY;
    } else if (match_word(text, i, n, "nan")) {
        magnitude = NAN;
    } else {
        // Collect the ASCII number and let the locale-free reader convert it.
        char ascii[TOKEN_UNITS + 1];
        int m = 0;
        int mantissa_digits = 0;
        while (i < n && is_digit(text[i])) {
            ascii[m++] = char(text[i++]);
            ++mantissa_digits;
        }
        if (i < n && text[i] == u'.') {
            ascii[m++] = '.';
            ++i;
            while (i < n && is_digit(text[i])) {
                ascii[m++] = char(text[i++]);
                ++mantissa_digits;
            }
        }
        if (mantissa_digits == 0)
            return 0;
        // An exponent counts only with at least one digit after it.
        if (i < n && (text[i] == u'e' || text[i] == u'E')) {
            int k = i + 1;
            if (k < n && (text[k] == u'+' || text[k] == u'-'))
                ++k;
            if (k < n && is_digit(text[k])) {
                for (int e = i; e < k; ++e)
                    ascii[m++] = char(text[e]);
                while (k < n && is_digit(text[k]))
                    ascii[m++] = char(text[k++]);
            }
        }
        const auto result = std::from_chars(ascii, ascii + m, magnitude);
        if (result.ec == std::errc::result_out_of_range) {
            // Beyond a float: "%f" gives infinity, or zero for a tiny value,
            // which only a negative exponent can make in 31 characters.
            int tiny = 0;
            for (int e = 1; e < m; ++e)
                tiny |= ascii[e] == '-';
            magnitude = tiny ? 0.0f : INFINITY;
        } else if (result.ec != std::errc()) {
            return 0;
        }
    }
    *value = negative ? -magnitude : magnitude;
    return 1;
}

// ---- format operations ------------------------------------------------------

FormattedText format_temperature(const char16_t *token, int temperature_unit)
{
    FormattedText out = copy_token(token);
    float c = 0;
    FormattedText number;
    if (temperature_index(temperature_unit) != 1 || contains(out.text, u"--") ||
        !read_leading_float(out.text, &c))
        return out;
    // Cut, not rounded, to a tenth of the exact value, so that binary
    // fractions never pull a reading a tenth down.
    long long tenths = 0;
    if (fahrenheit_tenths(out.text, &tenths)) {
        if (write_number(static_cast<double>(tenths) / 10, 1, &number))
            out = number;
        return out;
    }
    const double f = std::floor((static_cast<double>(c) * 1.8 + 32) * 10) * 0.1;
    if (write_number(f, 1, &number))
        out = number;
    return out;
}

FormattedText format_pressure(const char16_t *token, int pressure_unit)
{
    const int unit = pressure_index(pressure_unit);
    if (unit == 0 || contains(token, u"-"))
        return copy_token(token);
    return unit == 1 ? converted(token, HPA_TO_MMHG, 1) : converted(token, HPA_TO_INHG, 2);
}

FormattedText format_wind_speed(const char16_t *token, int wind_unit)
{
    static const double factors[] = {KMH_TO_MPH, KMH_TO_MS, 1.0, KMH_TO_KNOTS};
    const int unit = wind_index(wind_unit);
    if (unit == 2 || contains(token, u"-"))
        return copy_token(token);
    return converted(token, factors[unit], 1);
}

FormattedText format_rain(const char16_t *token, int rain_unit)
{
    if (rain_index(rain_unit) == 0 || contains(token, u"-"))
        return copy_token(token);
    return converted(token, MM_TO_IN, 2);
}

int console_value(ReadingKind kind, double shown, const UnitSettings &units, double *value)
{
    static const double wind_factors[] = {KMH_TO_MPH, KMH_TO_MS, 1.0, KMH_TO_KNOTS};
    static const double pressure_factors[] = {1.0, HPA_TO_MMHG, HPA_TO_INHG};
    double factor = 1.0;
    switch (kind) {
    case ReadingKind::temperature:
        if (temperature_index(units.temperature_unit) == 0)
            return 0;
        *value = (shown - 32) / 1.8;
        return 1;
    case ReadingKind::pressure: factor = pressure_factors[pressure_index(units.pressure_unit)]; break;
    case ReadingKind::wind_speed: factor = wind_factors[wind_index(units.wind_unit)]; break;
    case ReadingKind::rain_amount:
    case ReadingKind::rain_rate: factor = rain_index(units.rain_unit) == 1 ? MM_TO_IN : 1.0; break;
    default: break;
    }
    if (factor == 1.0)
        return 0;
    *value = shown / factor;
    return 1;
}

// ---- token choice and compass sectors ---------------------------------------

int pressure_token(int pressure_kind)
{
    return kind_index(pressure_kind) == 1 ? token::rel_pressure : token::abs_pressure;
}

int pressure_caption_key(int pressure_kind)
{
    return pressure_token(pressure_kind) == token::rel_pressure ? 18 : 19;
}

int direction_token(int direction_style)
{
    return style_index(direction_style) == 1 ? token::wind_dir_degrees : token::wind_dir_point;
}

int direction_index(const char16_t *text, int direction_style)
{
    static const char16_t *const points[16] = {
        u"N", u"NNE", u"NE", u"ENE", u"E", u"ESE", u"SE", u"SSE",
        u"S", u"SSW", u"SW", u"WSW", u"W", u"WNW", u"NW", u"NNW"};
    // Upper bound of sectors 1 .. 16; 349 and above wrap round to N.
    static const int upper[16] = {11, 33, 55, 78, 100, 123, 145, 168,
                                  190, 213, 235, 258, 280, 303, 325, 348};
    const int n = token_length(text);
    if (n == 0)
        return 0;
    if (style_index(direction_style) == 0) {
        for (int p = 0; p < 16; ++p) {
            int j = 0;
            while (j < n && points[p][j] == text[j])
                ++j;
            if (j == n && points[p][j] == 0)
                return p + 1;
        }
        return 0;
    }
    int i = 0;
    const int negative = skip_space_and_sign(text, n, &i);
    // Any value of 360 or more is N, so the digits need not be read further.
    int d = 0;
    while (i < n && is_digit(text[i]) && d < 1000)
        d = d * 10 + (text[i++] - u'0');
    if (negative)
        return 1;
    for (int s = 0; s < 16; ++s)
        if (d <= upper[s])
            return s + 1;
    return 1;
}

// ---- labels and captions ----------------------------------------------------

const char16_t *unit_label(ReadingKind kind, const UnitSettings &units)
{
    static const char16_t *const temperatures[] = {u"\u00B0C", u"\u00B0F"};
    static const char16_t *const pressures[] = {u"hPa", u"mmHg", u"inHg"};
    static const char16_t *const winds[] = {u"mph", u"m/s", u"km/h", u"knots"};
    static const char16_t *const amounts[] = {u"mm", u"in"};
    static const char16_t *const rates[] = {u"mm/h", u"in/h"};
    switch (kind) {
    case ReadingKind::temperature: return temperatures[temperature_index(units.temperature_unit)];
    case ReadingKind::humidity: return u"%";
    case ReadingKind::pressure: return pressures[pressure_index(units.pressure_unit)];
    case ReadingKind::wind_speed: return winds[wind_index(units.wind_unit)];
    case ReadingKind::rain_amount: return amounts[rain_index(units.rain_unit)];
    case ReadingKind::rain_rate: return rates[rain_index(units.rain_unit)];
    case ReadingKind::direction: return style_index(units.direction_style) == 1 ? u"\u00B0" : u"";
    case ReadingKind::text: break;
    }
    return u"";
}

const char16_t *value_label(ReadingKind kind, const char16_t *shown, const UnitSettings &units)
{
    if (kind == ReadingKind::direction && contains(shown, u"-"))
        return u"";
    return unit_label(kind, units);
}

const char16_t *export_caption(ReadingKind kind, const UnitSettings &units)
{
    static const char16_t *const pressures[3][2] = {
        {u"hPa(Abs)", u"hPa(Rel)"}, {u"mmHg(Abs)", u"mmHg(Rel)"}, {u"inHg(Abs)", u"inHg(Rel)"}};
    switch (kind) {
    case ReadingKind::pressure:
        return pressures[pressure_index(units.pressure_unit)][kind_index(units.pressure_kind)];
    case ReadingKind::direction:
        return style_index(units.direction_style) == 1 ? u"360\u00B0(Degree)" : u"16(direction)";
    default:
        return unit_label(kind, units);
    }
}

// ---- missing readings and the texts of both callers ------------------------

int is_missing_reading(ReadingKind kind, const char16_t *token)
{
    switch (kind) {
    case ReadingKind::temperature:
        return contains(token, u"--");
    case ReadingKind::pressure:
    case ReadingKind::wind_speed:
    case ReadingKind::rain_amount:
    case ReadingKind::rain_rate:
        return contains(token, u"-");
    default:
        return 0;
    }
}

namespace {

// The text of a non-empty token, the same for the dashboard and the export.
FormattedText shown_text(ReadingKind kind, const char16_t *token, const UnitSettings &units)
{
    switch (kind) {
    case ReadingKind::temperature: return format_temperature(token, units.temperature_unit);
    case ReadingKind::pressure: return format_pressure(token, units.pressure_unit);
    case ReadingKind::wind_speed: return format_wind_speed(token, units.wind_unit);
    case ReadingKind::rain_amount:
    case ReadingKind::rain_rate: return format_rain(token, units.rain_unit);
    default: return copy_token(token);
    }
}

} // namespace

int dashboard_value_text(ReadingKind kind, const char16_t *token, const UnitSettings &units,
                         FormattedText *out)
{
    if (token_length(token) > 0) {
        *out = shown_text(kind, token, units);
        return 1;
    }
    const char16_t *placeholder = nullptr;
    switch (kind) {
    case ReadingKind::temperature: placeholder = u"--.-"; break;
    case ReadingKind::humidity:
    case ReadingKind::direction: placeholder = u"--"; break;
    case ReadingKind::rain_amount:
    case ReadingKind::rain_rate: placeholder = u"-.-"; break;
    default: break; // pressure, wind speed, text: the area keeps what it shows
    }
    if (placeholder == nullptr)
        return 0;
    *out = copy_token(placeholder);
    return 1;
}

int shown_as_sent(ReadingKind kind, const UnitSettings &units)
{
    switch (kind) {
    case ReadingKind::temperature: return temperature_index(units.temperature_unit) != 1;
    case ReadingKind::pressure: return pressure_index(units.pressure_unit) == 0;
    case ReadingKind::wind_speed: return wind_index(units.wind_unit) == 2;
    case ReadingKind::rain_amount:
    case ReadingKind::rain_rate: return rain_index(units.rain_unit) == 0;
    default: return 1;
    }
}

FormattedText export_cell_text(ReadingKind kind, const char16_t *token, const UnitSettings &units)
{
    if (token_length(token) == 0)
        return FormattedText{};
    return shown_text(kind, token, units);
}
