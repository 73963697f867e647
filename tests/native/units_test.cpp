#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "live/station_record.h"
#include "live/units.h"
#include "text16.h"

namespace {

using Format = FormattedText (*)(const char16_t *, int);

struct Case {
    const char *token;
    int unit;
    const char *expected;
};

// Expected values were worked out by hand from the console's units, not by
// the program's formulas.
void check(const char *what, Format format, std::initializer_list<Case> cases)
{
    for (const Case &c : cases) {
        const std::u16string token = utf16(c.token);
        EXPECT_EQ(utf8(format(token.c_str(), c.unit).text), c.expected)
            << what << " \"" << c.token << "\" with unit " << c.unit;
    }
}

UnitSettings units(int t, int r, int p, int w, int k, int d)
{
    UnitSettings u;
    u.temperature_unit = std::uint8_t(t);
    u.rain_unit = std::uint8_t(r);
    u.pressure_unit = std::uint8_t(p);
    u.wind_unit = std::uint8_t(w);
    u.pressure_kind = std::uint8_t(k);
    u.direction_style = std::uint8_t(d);
    return u;
}

// Exact decimal: °F in tenths for c tenths of a degree, cut towards minus
// infinity.
int fahrenheit_tenths(int c_tenths)
{
    const int scaled = 18 * c_tenths + 3200; // hundredths of °F
    return scaled >= 0 ? scaled / 10 : -((-scaled + 9) / 10);
}

std::string tenths_text(int tenths)
{
    char text[16];
    std::snprintf(text, sizeof text, "%s%d.%d", tenths < 0 ? "-" : "", std::abs(tenths) / 10,
                  std::abs(tenths) % 10);
    return text;
}

} // namespace

TEST(Units, Temperature)
{
    check("temperature", format_temperature, {
        {"37.0", 1, "98.6"}, {"20.0", 1, "68.0"}, {"-40.0", 1, "-40.0"}, {"21.1", 1, "69.9"},
        {"-5.3", 1, "22.4"}, {"21.3", 1, "70.3"}, {"-5.0", 1, "23.0"},
        // cut, not rounded: -0.04 becomes -0.1 and 31.82 becomes 31.8
        {"-17.8", 1, "-0.1"}, {"-0.1", 1, "31.8"}, {"0", 1, "32.0"},
        // exact decimals, however the token writes them
        {"-6.5", 1, "20.3"}, {"-45.5", 1, "-49.9"}, {"-0.65e1", 1, "20.3"}, {"-650e-2", 1, "20.3"},
        {"-6.50000000000001", 1, "20.2"}, {"-6.49999999999999", 1, "20.3"}, {"-1e-30", 1, "31.9"},
        {"--.-", 1, "--.-"}, {"--.-", 0, "--.-"}, {"--", 1, "--"},
        {"-5.3", 0, "-5.3"}, {"21.30", 0, "21.30"},
        {"", 1, ""}, {"", 0, ""},
        // read as "%f" reads: white space, sign, exponent, the rest ignored
        {" 25", 1, "77.0"}, {"+25", 1, "77.0"}, {"25C", 1, "77.0"}, {"2.5e1", 1, "77.0"},
        {"25e", 1, "77.0"}, {"25e+", 1, "77.0"}, {".5", 1, "32.9"}, {"5.", 1, "41.0"},
        // no number at all: shown as the console sent it
        {"abc", 1, "abc"}, {"-", 1, "-"}, {".", 1, "."}, {"-.e5", 1, "-.e5"},
        // values no reading has: never past the 31 units, never a crash
        {"inf", 1, "inf"}, {"-INFINITY", 1, "-inf"}, {"1e999", 1, "inf"}, {"1e-999", 1, "32.0"},
        {"1e38", 1, "1e38"}, {"nan", 1, "nan"},
        // a damaged unit index behaves as °C
        {"37.0", 2, "37.0"}, {"37.0", 255, "37.0"}, {"37.0", -1, "37.0"},
    });
}

TEST(Units, Pressure)
{
    check("pressure", format_pressure, {
        {"1013.2", 1, "760.0"}, {"1013.2", 2, "29.92"}, {"1013.2", 0, "1013.2"},
        {"985.7", 1, "739.3"}, {"985.7", 2, "29.10"},
        {"--", 1, "--"}, {"--", 2, "--"}, {"1013-", 2, "1013-"}, {"-1", 1, "-1"},
        {"", 2, ""}, {"hPa", 2, "hPa"},
        {"1e38", 2, "1e38"}, {"inf", 1, "inf"},
        {"1013.2", 3, "1013.2"}, {"1013.2", 200, "1013.2"},
    });
}

TEST(Units, WindSpeed)
{
    check("wind", format_wind_speed, {
        {"3.6", 0, "2.2"}, {"3.6", 1, "1.0"}, {"3.6", 3, "1.9"}, {"3.6", 2, "3.6"},
        {"10.0", 3, "5.4"}, {"36.0", 1, "10.0"}, {"100", 0, "62.1"}, {"0", 0, "0.0"},
        {"--", 0, "--"}, {"--", 3, "--"}, {"", 0, ""},
        {"3.6", 4, "3.6"}, {"3.6", -3, "3.6"},
    });
}

TEST(Units, Rain)
{
    check("rain", format_rain, {
        {"12.7", 1, "0.50"}, {"0.3", 1, "0.01"}, {"10.0", 1, "0.39"}, {"0.0", 1, "0.00"},
        {"12.7", 0, "12.7"}, {"-.-", 1, "-.-"}, {"-.-", 0, "-.-"}, {"", 1, ""},
        {"12.7", 2, "12.7"},
    });
}

// Every reading the console can send, against exact decimal arithmetic:
// binary fractions must never pull a value a tenth down.
TEST(Units, FahrenheitIsExactFromMinus50To60)
{
    for (int t = -500; t <= 600; ++t) {
        const std::u16string token = utf16(tenths_text(t));
        EXPECT_EQ(utf8(format_temperature(token.c_str(), 1).text), tenths_text(fahrenheit_tenths(t)))
            << tenths_text(t) << " °C";
    }
}

TEST(Units, DirectionIndex)
{
    const struct { const char *text; int style; int index; } cases[] = {
        // 0 .. 359 are in CompassSectorsOfEveryWholeDegree
        {"360", 1, 1}, {"720", 1, 1},
        {"-5", 1, 1}, {"-200", 1, 1}, {"--", 1, 1}, {"abc", 1, 1}, {"99999999999999999", 1, 1},
        {" 45", 1, 3}, {"+45", 1, 3}, {"45.9", 1, 3}, {"0100", 1, 5}, {"", 1, 0},
        {"N", 0, 1}, {"NNE", 0, 2}, {"SW", 0, 11}, {"NNW", 0, 16}, {"W", 0, 13},
        {"sw", 0, 0}, {"n", 0, 0}, {"SW ", 0, 0}, {"NN", 0, 0}, {"NNWW", 0, 0}, {"225", 0, 0},
        {"--", 0, 0}, {"", 0, 0},
        // a damaged style reads points
        {"SW", 7, 11}, {"225", 7, 0},
    };
    for (const auto &c : cases) {
        const std::u16string text = utf16(c.text);
        EXPECT_EQ(direction_index(text.c_str(), c.style), c.index)
            << "\"" << c.text << "\" style " << c.style;
    }
}

TEST(Units, CompassSectorsOfEveryWholeDegree)
{
    // First and last degree of sectors 2 (NNE) .. 16 (NNW); the rest is N.
    const int sectors[15][2] = {
        {12, 33},    {34, 55},    {56, 78},    {79, 100},   {101, 123},
        {124, 145},  {146, 168},  {169, 190},  {191, 213},  {214, 235},
        {236, 258},  {259, 280},  {281, 303},  {304, 325},  {326, 348}};
    for (int d = 0; d < 360; ++d) {
        int expected = 1;
        for (int s = 0; s < 15; ++s)
            if (d >= sectors[s][0] && d <= sectors[s][1])
                expected = s + 2;
        EXPECT_EQ(direction_index(utf16(std::to_string(d).c_str()).c_str(), 1), expected)
            << d << " degrees";
    }
}

TEST(Units, TokenChoice)
{
    EXPECT_EQ(pressure_token(1), token::rel_pressure);
    EXPECT_EQ(pressure_token(0), token::abs_pressure);
    EXPECT_EQ(pressure_token(9), token::rel_pressure) << "damaged: the default, relative";
    EXPECT_EQ(direction_token(1), token::wind_dir_degrees);
    EXPECT_EQ(direction_token(0), token::wind_dir_point);
    EXPECT_EQ(direction_token(9), token::wind_dir_point);
}

TEST(Units, LabelsFollowTheSettings)
{
    const UnitSettings defaults;
    const UnitSettings other = units(1, 1, 2, 3, 0, 1);
    const UnitSettings damaged = units(5, 9, 3, 4, 7, 2);
    const struct { ReadingKind kind; const char *defaults, *other, *damaged; } cases[] = {
        {ReadingKind::temperature, "°C", "°F", "°C"},
        {ReadingKind::humidity, "%", "%", "%"},
        {ReadingKind::pressure, "hPa", "inHg", "hPa"},
        {ReadingKind::wind_speed, "km/h", "knots", "km/h"},
        {ReadingKind::rain_amount, "mm", "in", "mm"},
        {ReadingKind::rain_rate, "mm/h", "in/h", "mm/h"},
        {ReadingKind::direction, "", "°", ""},
        {ReadingKind::text, "", "", ""},
    };
    for (const auto &c : cases) {
        const int k = int(c.kind);
        EXPECT_EQ(utf8(unit_label(c.kind, defaults)), c.defaults) << "kind " << k;
        EXPECT_EQ(utf8(unit_label(c.kind, other)), c.other) << "kind " << k;
        EXPECT_EQ(utf8(unit_label(c.kind, damaged)), c.damaged) << "kind " << k;
    }
    EXPECT_EQ(unit_label(ReadingKind::temperature, other)[0], 0x00B0);
    EXPECT_EQ(utf8(unit_label(ReadingKind::pressure, units(0, 0, 1, 0, 0, 0))), "mmHg");
    EXPECT_EQ(utf8(unit_label(ReadingKind::wind_speed, units(0, 0, 0, 0, 0, 0))), "mph");
    EXPECT_EQ(utf8(unit_label(ReadingKind::wind_speed, units(0, 0, 0, 1, 0, 0))), "m/s");
}

TEST(Units, DegreeSignOnlyAfterADirectionWithoutDash)
{
    const UnitSettings degrees = units(0, 0, 0, 2, 1, 1);
    EXPECT_EQ(utf8(value_label(ReadingKind::direction, u"225", degrees)), "°");
    EXPECT_EQ(utf8(value_label(ReadingKind::direction, u"--", degrees)), "");
    EXPECT_EQ(utf8(value_label(ReadingKind::direction, u"SW", UnitSettings{})), "");
    // the missing-reading label stays for the other kinds
    EXPECT_EQ(utf8(value_label(ReadingKind::temperature, u"--.-", units(1, 0, 0, 2, 1, 0))), "°F");
    EXPECT_EQ(utf8(value_label(ReadingKind::pressure, u"--", units(0, 0, 2, 2, 1, 0))), "inHg");
}

TEST(Units, ExportCaptions)
{
    const UnitSettings defaults;
    const struct { ReadingKind kind; const char *text; } default_row[] = {
        {ReadingKind::pressure, "hPa(Rel)"}, {ReadingKind::temperature, "°C"},
        {ReadingKind::humidity, "%"}, {ReadingKind::wind_speed, "km/h"},
        {ReadingKind::direction, "16(direction)"}, {ReadingKind::rain_rate, "mm/h"},
        {ReadingKind::rain_amount, "mm"},
    };
    for (const auto &c : default_row)
        EXPECT_EQ(utf8(export_caption(c.kind, defaults)), c.text) << "kind " << int(c.kind);

    const char *pressures[3][2] = {{"hPa(Abs)", "hPa(Rel)"}, {"mmHg(Abs)", "mmHg(Rel)"},
                                   {"inHg(Abs)", "inHg(Rel)"}};
    for (int p = 0; p < 3; ++p)
        for (int k = 0; k < 2; ++k)
            EXPECT_EQ(utf8(export_caption(ReadingKind::pressure, units(0, 0, p, 2, k, 0))),
                      pressures[p][k]) << "unit " << p << " kind " << k;
    const UnitSettings other = units(1, 1, 0, 0, 1, 1);
    EXPECT_EQ(utf8(export_caption(ReadingKind::direction, other)), "360°(Degree)");
    EXPECT_EQ(utf8(export_caption(ReadingKind::temperature, other)), "°F");
    EXPECT_EQ(utf8(export_caption(ReadingKind::rain_rate, other)), "in/h");
    EXPECT_EQ(utf8(export_caption(ReadingKind::rain_amount, other)), "in");
    EXPECT_EQ(utf8(export_caption(ReadingKind::wind_speed, other)), "mph");
    EXPECT_EQ(utf8(export_caption(ReadingKind::pressure, units(0, 0, 7, 2, 9, 0))), "hPa(Rel)");
}

// The dashboard's caption names the pressure the export's caption names,
// a damaged stored kind included.
TEST(Units, PressureCaptionFollowsTheExport)
{
    for (int kind : {0, 1, 2, 9, 255}) {
        const std::string caption = utf8(export_caption(ReadingKind::pressure, units(0, 0, 0, 2, kind, 0)));
        EXPECT_EQ(pressure_caption_key(kind), caption == "hPa(Rel)" ? 18 : 19) << "kind " << kind;
    }
}

TEST(Units, MissingReadingsPerKind)
{
    const struct { ReadingKind kind; const char16_t *token; int missing; } cases[] = {
        {ReadingKind::temperature, u"--.-", 1}, {ReadingKind::temperature, u"-5.3", 0},
        {ReadingKind::temperature, u"5--", 1}, {ReadingKind::temperature, u"", 0},
        {ReadingKind::pressure, u"--", 1}, {ReadingKind::pressure, u"1013-", 1},
        {ReadingKind::wind_speed, u"-", 1}, {ReadingKind::rain_amount, u"-.-", 1},
        {ReadingKind::rain_rate, u"0.0", 0}, {ReadingKind::humidity, u"--", 0},
        {ReadingKind::direction, u"--", 0}, {ReadingKind::text, u"--", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(is_missing_reading(c.kind, c.token), c.missing)
            << "kind " << int(c.kind) << " \"" << utf8(c.token) << "\"";
}

TEST(Units, EmptyTokenOnTheDashboardAndInTheExport)
{
    const UnitSettings u = units(1, 1, 2, 0, 1, 1);
    const struct { ReadingKind kind; int drawn; const char *text; } cases[] = {
        {ReadingKind::temperature, 1, "--.-"}, {ReadingKind::humidity, 1, "--"},
        {ReadingKind::rain_amount, 1, "-.-"}, {ReadingKind::rain_rate, 1, "-.-"},
        {ReadingKind::direction, 1, "--"}, {ReadingKind::pressure, 0, ""},
        {ReadingKind::wind_speed, 0, ""}, {ReadingKind::text, 0, ""},
    };
    for (const auto &c : cases) {
        FormattedText shown{};
        EXPECT_EQ(dashboard_value_text(c.kind, u"", u, &shown), c.drawn) << "kind " << int(c.kind);
        if (c.drawn) {
            EXPECT_EQ(utf8(shown.text), c.text) << "kind " << int(c.kind);
        }
        EXPECT_EQ(utf8(export_cell_text(c.kind, u"", u).text), "") << "kind " << int(c.kind);
    }
}

// Each kind reaches its own conversion, in both callers: the texts were
// worked out by hand, so a kind routed to another converter (or to none)
// shows here.
TEST(Units, DashboardAndExportAgreeOnEveryNonEmptyToken)
{
    const UnitSettings metric = units(0, 0, 0, 2, 1, 0);
    const UnitSettings imperial = units(1, 1, 2, 3, 1, 1); // °F, in, inHg, knots
    const UnitSettings other = units(1, 1, 1, 0, 1, 1);    // mmHg, mph
    const struct { ReadingKind kind; const char *token; const UnitSettings &u; const char *text; } cases[] = {
        {ReadingKind::temperature, "21.3", metric, "21.3"},
        {ReadingKind::temperature, "21.3", imperial, "70.3"},
        {ReadingKind::temperature, "--.-", imperial, "--.-"},
        {ReadingKind::temperature, "abc", imperial, "abc"},
        {ReadingKind::humidity, "21.3", imperial, "21.3"},
        {ReadingKind::pressure, "1013.2", imperial, "29.92"},
        {ReadingKind::pressure, "1013.2", other, "760.0"},
        {ReadingKind::pressure, "--", imperial, "--"},
        {ReadingKind::wind_speed, "3.6", imperial, "1.9"},
        {ReadingKind::wind_speed, "3.6", other, "2.2"},
        {ReadingKind::wind_speed, "3.6", metric, "3.6"},
        {ReadingKind::rain_amount, "12.7", imperial, "0.50"},
        {ReadingKind::rain_rate, "12.7", imperial, "0.50"},
        {ReadingKind::rain_rate, "12.7", metric, "12.7"},
        {ReadingKind::direction, "225", imperial, "225"},
        {ReadingKind::direction, "SW", metric, "SW"},
        {ReadingKind::text, "21.3", imperial, "21.3"},
    };
    for (const auto &c : cases) {
        const std::u16string token = utf16(c.token);
        FormattedText shown{};
        ASSERT_EQ(dashboard_value_text(c.kind, token.c_str(), c.u, &shown), 1);
        EXPECT_EQ(utf8(shown.text), c.text) << "dashboard, kind " << int(c.kind) << " " << c.token;
        EXPECT_EQ(utf8(export_cell_text(c.kind, token.c_str(), c.u).text), c.text)
            << "export, kind " << int(c.kind) << " " << c.token;
    }
}

TEST(Units, ResultsNeverPassThirtyOneUnits)
{
    // A 40-character token (longer than any slot keeps) and huge numbers.
    const std::u16string long_number(40, u'9');
    const std::u16string long_letters(40, u'x');
    for (int unit = 0; unit < 4; ++unit) {
        const FormattedText texts[] = {
            format_temperature(long_number.c_str(), unit), format_pressure(long_number.c_str(), unit),
            format_wind_speed(long_number.c_str(), unit), format_rain(long_number.c_str(), unit),
            format_temperature(long_letters.c_str(), unit), format_pressure(u"3.4e38", unit),
            format_wind_speed(u"340282346638528859811704183484516925440", unit),
        };
        for (const FormattedText &f : texts)
            EXPECT_EQ(f.text[31], 0) << "unit " << unit << " text " << utf8(f.text);
    }
    // 31 nines read as a number, and its °F text is too long to show, so the
    // token stays as sent, cut to its 31 units.
    EXPECT_EQ(utf8(format_temperature(long_number.c_str(), 1).text), std::string(31, '9'));
    // a large value that still fits is converted as usual
    EXPECT_EQ(utf8(format_wind_speed(u"2e9", 0).text), "1242800000.0");
}

TEST(Units, ReadLeadingFloatIsAScanfFloat)
{
    const struct { const char16_t *text; int ok; float value; } cases[] = {
        {u"21.3", 1, 21.3f}, {u"-5.3", 1, -5.3f}, {u"\t\n 7", 1, 7.0f}, {u"1e3x", 1, 1000.0f},
        {u"0.1", 1, 0.1f}, {u"1013.2", 1, 1013.2f}, {u"-0", 1, -0.0f}, {u"16777217", 1, 16777216.0f},
        {u"", 0, 0}, {u"x1", 0, 0}, {u"+", 0, 0}, {u"- 5", 0, 0}, {u"e5", 0, 0},
    };
    for (const auto &c : cases) {
        float value = 12345.0f;
        EXPECT_EQ(read_leading_float(c.text, &value), c.ok) << utf8(c.text);
        EXPECT_EQ(value, c.ok ? c.value : 12345.0f) << utf8(c.text);
    }
}
