#include "cli/live_text.h"

#include <cstdio>
#include <cstring>

#include "common/json.h"
#include "live/units.h"
#include "upload/request.h"

namespace {

enum : int { PRESSURE = -1, DIRECTION = -2 };

struct Reading {
    const char *caption;
    const char *name; // in JSON
    int token;
    ReadingKind kind;
};

// The dashboard's readings in its order, then the seven extra channels.
const Reading readings[] = {
    {"Logger", "logger", token::logger_percent, ReadingKind::humidity},
    {"Indoor temperature", "indoor_temperature", token::indoor_temp, ReadingKind::temperature},
    {"Indoor humidity", "indoor_humidity", token::indoor_humidity, ReadingKind::humidity},
    {"Outdoor temperature", "outdoor_temperature", token::outdoor_temp, ReadingKind::temperature},
    {"Outdoor humidity", "outdoor_humidity", token::outdoor_humidity, ReadingKind::humidity},
    {"Wind speed", "wind_speed", token::wind_speed, ReadingKind::wind_speed},
    {"Wind gust", "wind_gust", token::wind_gust, ReadingKind::wind_speed},
    {"Wind direction", "wind_direction", DIRECTION, ReadingKind::direction},
    {"Daily rain", "daily_rain", token::daily_rain, ReadingKind::rain_amount},
    {"Rain rate", "rain_rate", token::rain_rate, ReadingKind::rain_rate},
    {nullptr, "pressure", PRESSURE, ReadingKind::pressure},
    {"Dew point", "dew_point", token::dew_point, ReadingKind::temperature},
    {"Heat index", "heat_index", token::heat_index, ReadingKind::temperature},
    {"UV index", "uv_index", token::uv_index, ReadingKind::text},
};

int token_of(const Reading &r, const UnitSettings &units)
{
    if (r.token == PRESSURE)
        return pressure_token(units.pressure_kind);
    if (r.token == DIRECTION)
        return direction_token(units.direction_style);
    return r.token;
}

const char *pressure_caption(const UnitSettings &units)
{
    return pressure_caption_key(units.pressure_kind) == 18 ? "Relative pressure"
                                                           : "Absolute pressure";
}

// What the dashboard draws for a token, and its unit label; empty when it
// draws nothing.
void shown(ReadingKind kind, const char16_t *token, const UnitSettings &units, std::string *value,
           std::string *label)
{
    FormattedText text;
    value->clear();
    label->clear();
    if (!dashboard_value_text(kind, token, units, &text))
        return;
    *value = utf8_text(text.text);
    *label = utf8_text(value_label(kind, text.text, units));
}

void add_line(std::string &out, const char *caption, const std::string &value,
              const std::string &label)
{
    char head[32];
    std::snprintf(head, sizeof head, "%-21s", caption);
    out += head;
    out += value;
    if (!label.empty() && !value.empty())
        out += " " + label;
    out += "\n";
}

int json_number(const std::string &text)
{
    std::size_t i = text[0] == '-' ? 1 : 0;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
        ++i;
    if (i == digits || (text[digits] == '0' && i > digits + 1))
        return 0;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fraction = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        if (i == fraction)
            return 0;
    }
    return i == text.size();
}

void add_json_value(std::string &out, const char *name, ReadingKind kind, const char16_t *token,
                    const UnitSettings &units)
{
    std::string value, label;
    shown(kind, token, units, &value, &label);
    out += ",\"";
    out += name;
    out += "\":";
    // Placeholders ("--", "--.-", "---") are dashes and points only.
    if (value.empty() || is_missing_reading(kind, token) ||
        value.find_first_not_of("-.") == std::string::npos)
        out += "null";
    else if (json_number(value))
        out += value;
    else
        add_json_string(out, value);
}

} // namespace

std::string utf8_text(const char16_t *text)
{
    char out[4 * SLOT_UNITS * 2];
    if (!utf16_to_utf8(text, out, sizeof out))
        return std::string();
    return out;
}

int utf16_text(const char *text, char16_t *out, int units)
{
    int n = 0;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (*p) {
        unsigned long c;
        int more;
        if (*p < 0x80) {
            c = *p;
            more = 0;
        } else if ((*p & 0xE0) == 0xC0) {
            c = *p & 0x1F;
            more = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            c = *p & 0x0F;
            more = 2;
        } else if ((*p & 0xF8) == 0xF0) {
            c = *p & 0x07;
            more = 3;
        } else {
            return 0;
        }
        ++p;
        for (int i = 0; i < more; ++i, ++p) {
            if ((*p & 0xC0) != 0x80)
                return 0;
            c = c << 6 | (*p & 0x3F);
        }
        const int need = c >= 0x10000 ? 2 : 1;
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || n + need > units - 1)
            return 0;
        if (need == 2) {
            out[n++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out[n++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out[n++] = static_cast<char16_t>(c);
        }
    }
    out[n] = 0;
    return 1;
}

std::string live_text(const LiveValues &values, const UnitSettings &units)
{
    std::string out;
    add_line(out, "Read at",
             utf8_text(values.slot[token::date]) + " " + utf8_text(values.slot[token::time]), "");
    std::string value, label;
    for (const Reading &r : readings) {
        shown(r.kind, values.slot[token_of(r, units)], units, &value, &label);
        // A count and a character, not a literal: GCC 12 at -O3 takes the
        // literal's assignment for an overlapping copy (-Wrestrict).
        if (r.token == token::logger_percent)
            label.assign(value.empty() ? 0 : 1, '%');
        add_line(out, r.caption ? r.caption : pressure_caption(units), value, label);
    }
    for (int ch = 1; ch <= 7; ++ch) {
        char caption[32];
        std::snprintf(caption, sizeof caption, "CH %d", ch);
        std::string t, tl, h, hl;
        shown(ReadingKind::temperature, values.slot[16 + 2 * ch], units, &t, &tl);
        shown(ReadingKind::humidity, values.slot[17 + 2 * ch], units, &h, &hl);
        add_line(out, caption, t + (tl.empty() ? "" : " " + tl) + "   " + h, hl);
    }
    return out;
}

std::string live_json(const LiveValues &values, const UnitSettings &units, const char *iso_time)
{
    std::string out = "{\"date\":";
    add_json_string(out, utf8_text(values.slot[token::date]));
    out += ",\"time\":";
    if (iso_time && !*iso_time)
        out += "null";
    else
        add_json_string(out, iso_time ? iso_time : utf8_text(values.slot[token::time]));
    for (const Reading &r : readings) {
        const char *name = r.token == PRESSURE ? (pressure_token(units.pressure_kind) == token::rel_pressure
                                                      ? "relative_pressure"
                                                      : "absolute_pressure")
                                               : r.name;
        add_json_value(out, name, r.kind, values.slot[token_of(r, units)], units);
    }
    for (int ch = 1; ch <= 7; ++ch) {
        char name[32];
        std::snprintf(name, sizeof name, "ch%d_temperature", ch);
        add_json_value(out, name, ReadingKind::temperature, values.slot[16 + 2 * ch], units);
        std::snprintf(name, sizeof name, "ch%d_humidity", ch);
        add_json_value(out, name, ReadingKind::humidity, values.slot[17 + 2 * ch], units);
    }
    const struct {
        const char *name;
        ReadingKind kind;
    } unit_kinds[] = {{"temperature", ReadingKind::temperature}, {"humidity", ReadingKind::humidity},
                      {"pressure", ReadingKind::pressure},       {"wind_speed", ReadingKind::wind_speed},
                      {"rain", ReadingKind::rain_amount},        {"rain_rate", ReadingKind::rain_rate},
                      {"wind_direction", ReadingKind::direction}};
    out += ",\"units\":{";
    for (const auto &k : unit_kinds) {
        if (out.back() != '{')
            out += ',';
        add_json_string(out, k.name);
        out += ':';
        const char *label = k.kind == ReadingKind::direction && units.direction_style == 0
                                ? "compass"
                                : nullptr;
        add_json_string(out, label ? label : utf8_text(unit_label(k.kind, units)));
    }
    out += "}}";
    return out;
}
