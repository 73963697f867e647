// Turning a station record token into the text shown for it: missing
// readings, unit conversion from the console's fixed units, unit labels,
// the choice of pressure and direction tokens and the compass sector.
// Everything here is pure and allocation-free; the dashboard and the export
// writer both use it so that they show identical texts.
#pragma once
#include "settings/unit_settings.h"

// A result text: at most 31 UTF-16 units and a terminating zero.
struct FormattedText {
    char16_t text[32];
};

enum class ReadingKind {
    temperature, humidity, pressure, wind_speed, rain_amount, rain_rate, direction, text
};

// Each returns unchanged: an empty text, a missing reading, a token that
// does not begin with a number, and a value whose converted text would not
// fit 31 units. Unit indices outside the listed ones behave as the field's
// default (no conversion).
FormattedText format_temperature(const char16_t *token, int temperature_unit);
FormattedText format_pressure(const char16_t *token, int pressure_unit);
FormattedText format_wind_speed(const char16_t *token, int wind_unit);
FormattedText format_rain(const char16_t *token, int rain_unit);

// Token number of the pressure (13 relative, 14 absolute) and the wind
// direction (11 degrees, 12 compass point) that both display and export use.
int pressure_token(int pressure_kind);
// Language key of the dashboard's pressure caption: 18 "Relative" or 19
// "Absolute", after the token pressure_token picks.
int pressure_caption_key(int pressure_kind);
int direction_token(int direction_style);

// The conversion of the format operations undone: the value in the
// console's own unit (°C, hPa, km/h, mm) that a shown number stands for,
// before the shown text was rounded or cut. 0 when the settings show this
// kind as the console sends it, so that there is nothing to undo.
int console_value(ReadingKind kind, double shown, const UnitSettings &units, double *value);

// Compass sector 1 (N) .. 16 (NNW) of a direction text, 0 for none.
int direction_index(const char16_t *text, int direction_style);

// The unit label drawn after a value of a kind; "" for kinds without one.
const char16_t *unit_label(ReadingKind kind, const UnitSettings &units);
// The label for one shown text: as unit_label, except that the degree sign
// is left out after a direction text holding a "-".
const char16_t *value_label(ReadingKind kind, const char16_t *shown, const UnitSettings &units);
// The export's units-row caption of a kind ("hPa(Rel)", "16(direction)",
// "%" ...); "" for plain text, whose columns have captions of their own.
const char16_t *export_caption(ReadingKind kind, const UnitSettings &units);

// 1 when a token of this kind holds a missing reading: "--" for
// temperatures, any "-" for pressure, wind speed and rain.
int is_missing_reading(ReadingKind kind, const char16_t *token);

// The dashboard's text for a token: an empty token gives the kind's
// placeholder. Returns 0 when nothing is to be drawn at all (an empty
// pressure, wind speed or text token).
int dashboard_value_text(ReadingKind kind, const char16_t *token, const UnitSettings &units,
                         FormattedText *out);
// The export cell's value for a token: empty stays empty; otherwise the same
// text as on the dashboard (a direction without its degree sign).
FormattedText export_cell_text(ReadingKind kind, const char16_t *token, const UnitSettings &units);
// 1 when tokens of this kind are shown in the units the console sends them
// in: the dashboard's and the export's text is then the token itself.
int shown_as_sent(ReadingKind kind, const UnitSettings &units);

// The leading number of a text read as "%f" reads it into a float: white
// space, sign, digits, point and fraction, exponent, "inf" and "nan"; the
// rest is ignored. Returns 0 when the text does not begin with a number.
int read_leading_float(const char16_t *text, float *value);
