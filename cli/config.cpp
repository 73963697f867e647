#include "cli/config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/host_port.h"
#include "web/server.h"

namespace {

struct Choice {
    const char *name;
    int value;
};

int blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trimmed(const char *begin, const char *end)
{
    while (begin < end && blank(*begin))
        ++begin;
    while (end > begin && blank(end[-1]))
        --end;
    return std::string(begin, end);
}

// One of `choices` (in the order the error names them) into a unit field.
template <std::size_t N>
int choose(const char *name, const std::string &value, const Choice (&choices)[N],
           std::uint8_t *out, char error[CONFIG_ERROR_BYTES])
{
    std::string expected;
    for (std::size_t i = 0; i < N; ++i) {
        if (value == choices[i].name) {
            *out = static_cast<std::uint8_t>(choices[i].value);
            return 1;
        }
        expected += (i == 0 ? "" : i == N - 1 ? " or " : ", ");
        expected += choices[i].name;
    }
    std::snprintf(error, CONFIG_ERROR_BYTES, "%s: expected %s, not \"%s\"", name,
                  expected.c_str(), value.c_str());
    return 0;
}

int credential(const std::string &name, const std::string &value, char *out,
               char error[CONFIG_ERROR_BYTES])
{
    if (value.size() >= UPLOAD_CREDENTIAL_BYTES) {
        std::snprintf(error, CONFIG_ERROR_BYTES, "%s: expected at most %d bytes",
                      name.c_str(), UPLOAD_CREDENTIAL_BYTES - 1);
        return 0;
    }
    std::memset(out, 0, UPLOAD_CREDENTIAL_BYTES);
    std::memcpy(out, value.data(), value.size());
    return 1;
}

int on_off(const std::string &name, const std::string &value, int *out,
           char error[CONFIG_ERROR_BYTES])
{
    if (value == "on" || value == "off") {
        *out = value == "on";
        return 1;
    }
    std::snprintf(error, CONFIG_ERROR_BYTES, "%s: expected on or off, not \"%s\"", name.c_str(),
                  value.c_str());
    return 0;
}

// HOST, HOST:PORT, or [IPv6]:PORT; an empty value switches MQTT off.
int broker_address(const std::string &value, MqttSettings *mqtt, char error[CONFIG_ERROR_BYTES])
{
    std::string host;
    int port = 0;
    if (!value.empty() && !parse_host_port(value, BROKER_ADDRESS, &host, &port)) {
        std::snprintf(error, CONFIG_ERROR_BYTES, "mqtt: expected HOST or HOST:PORT, not \"%s\"",
                      value.c_str());
        return 0;
    }
    mqtt->host = host;
    mqtt->port = port;
    return 1;
}

int topic(const std::string &name, const std::string &value, std::string *out,
          char error[CONFIG_ERROR_BYTES])
{
    if (!valid_topic(value)) {
        std::snprintf(error, CONFIG_ERROR_BYTES,
                      "%s: expected letters, digits, \"-_.\" and single \"/\" between "
                      "them, not \"%s\"",
                      name.c_str(), value.c_str());
        return 0;
    }
    *out = value;
    return 1;
}

int http_address(const char *, const std::string &value, FrontEndConfig *config,
                 char error[CONFIG_ERROR_BYTES])
{
    std::string address;
    int port;
    if (!parse_http_address(value, &address, &port)) {
        std::snprintf(error, CONFIG_ERROR_BYTES, "http: expected ADDRESS:PORT, not \"%s\"",
                      value.c_str());
        return 0;
    }
    config->http = value;
    return 1;
}

int archive_file(const char *, const std::string &value, FrontEndConfig *config,
                 char error[CONFIG_ERROR_BYTES])
{
    if (value.empty()) {
        std::snprintf(error, CONFIG_ERROR_BYTES, "archive: expected a file name");
        return 0;
    }
    config->archive = value;
    return 1;
}

int catch_up_time(const char *, const std::string &value, FrontEndConfig *config,
                  char error[CONFIG_ERROR_BYTES])
{
    int h = -1, m = -1, end = 0;
    if (value == "off") {
        config->catch_up_minute = -1;
        return 1;
    }
    if (std::sscanf(value.c_str(), "%2d:%2d%n", &h, &m, &end) == 2 &&
        end == static_cast<int>(value.size()) && value.size() == 5 && h >= 0 && h < 24 &&
        m >= 0 && m < 60) {
        config->catch_up_minute = h * 60 + m;
        return 1;
    }
    std::snprintf(error, CONFIG_ERROR_BYTES, "catch-up: expected HH:MM or off, not \"%s\"",
                  value.c_str());
    return 0;
}

// A service's three settings, by its place in upload_services.
template <int S>
int service_id(const char *name, const std::string &value, FrontEndConfig *c,
               char error[CONFIG_ERROR_BYTES])
{
    return credential(name, value, c->service[S].id, error);
}
template <int S>
int service_key(const char *name, const std::string &value, FrontEndConfig *c,
                char error[CONFIG_ERROR_BYTES])
{
    return credential(name, value, c->service[S].key, error);
}
template <int S>
int service_on(const char *name, const std::string &value, FrontEndConfig *c,
               char error[CONFIG_ERROR_BYTES])
{
    return on_off(name, value, &c->service[S].upload, error);
}

using Value = const std::string &;
using Error = char *;

// In the order of the example configuration.
const SettingRow rows[] = {
    {"temperature", "C|F", "C", "these six override the configuration's units", "", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return choose(n, v, {{"C", 0}, {"F", 1}}, &c->units.temperature_unit, e);
     }},
    {"rain", "mm|in", "mm", "", "", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return choose(n, v, {{"mm", 0}, {"in", 1}}, &c->units.rain_unit, e);
     }},
    {"pressure", "hPa|mmHg|inHg", "hPa", "", "", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return choose(n, v, {{"hPa", 0}, {"mmHg", 1}, {"inHg", 2}}, &c->units.pressure_unit, e);
     }},
    {"wind", "mph|m/s|km/h|knots", "km/h", "", "", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return choose(n, v, {{"mph", 0}, {"m/s", 1}, {"km/h", 2}, {"knots", 3}},
                       &c->units.wind_unit, e);
     }},
    {"pressure-kind", "relative|absolute", "relative", "", "", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return choose(n, v, {{"absolute", 0}, {"relative", 1}}, &c->units.pressure_kind, e);
     }},
    {"direction", "compass|degrees", "compass", "", "", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return choose(n, v, {{"compass", 0}, {"degrees", 1}}, &c->units.direction_style, e);
     }},
    {"wunderground-id", "ID", "", "the station's ID", nullptr, 0, service_id<UPLOAD_WU>},
    {"wunderground-key", "KEY", "", "its key", nullptr, 1, service_key<UPLOAD_WU>},
    {"wunderground", "on|off", "off", "uploads the readings", nullptr, 0, service_on<UPLOAD_WU>},
    {"weathercloud-id", "ID", "", "the station's ID", nullptr, 0, service_id<UPLOAD_WC>},
    {"weathercloud-key", "KEY", "", "its key", nullptr, 1, service_key<UPLOAD_WC>},
    {"weathercloud", "on|off", "off", "uploads the readings", nullptr, 0, service_on<UPLOAD_WC>},
    {"archive", "PATH", "~/.local/share/nimbrel/archive.sqlite", "the archive's file", nullptr,
     0, archive_file},
    {"catch-up", "HH:MM|off", "03:00", "run's daily catch-up", nullptr, 0, catch_up_time},
    {"mqtt", "HOST[:PORT]", "", "publishes the readings to this MQTT broker", "run", 0,
     [](const char *, Value v, FrontEndConfig *c, Error e) {
         return broker_address(v, &c->mqtt, e);
     }},
    {"mqtt-user", "NAME", "", "the broker's login", "run", 0,
     [](const char *, Value v, FrontEndConfig *c, Error) {
         c->mqtt.user = v;
         return 1;
     }},
    {"mqtt-password", "WORD", "", "its password (better kept in the configuration)", "run", 1,
     [](const char *, Value v, FrontEndConfig *c, Error) {
         c->mqtt.password = v;
         return 1;
     }},
    {"mqtt-tls", "on|off", "off", "TLS to the broker", "run", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return on_off(n, v, &c->mqtt.tls, e);
     }},
    {"mqtt-ca", "FILE", "", "the certificate authority that checks the broker", "run", 0,
     [](const char *, Value v, FrontEndConfig *c, Error) {
         c->mqtt.ca_file = v;
         return 1;
     }},
    {"mqtt-topic", "TOPIC", "nimbrel", "the station's topic (nimbrel)", "run", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return topic(n, v, &c->mqtt.topic, e);
     }},
    {"mqtt-discovery", "on|off", "on", "Home Assistant discovery configs (on)", "run", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return on_off(n, v, &c->mqtt.discovery, e);
     }},
    {"mqtt-discovery-prefix", "PREFIX", "homeassistant",
     "where Home Assistant looks for them (homeassistant)", "run", 0,
     [](const char *n, Value v, FrontEndConfig *c, Error e) {
         return topic(n, v, &c->mqtt.discovery_prefix, e);
     }},
    {"http", "ADDRESS:PORT", "127.0.0.1:8470", "the web page, also inside run", nullptr, 0,
     http_address},
};

} // namespace

const SettingRow *SettingList::begin() const { return rows; }
const SettingRow *SettingList::end() const { return rows + sizeof rows / sizeof rows[0]; }
SettingList settings_list() { return {}; }

const SettingRow *setting_named(const std::string &name)
{
    for (const SettingRow &s : rows)
        if (name == s.name)
            return &s;
    return nullptr;
}

std::string setting_list_text()
{
    std::string out;
    for (const SettingRow &s : rows)
        out += std::string(s.name) + "\t" + s.values + "\t" + s.default_value + "\t" +
               (s.option_of ? (*s.option_of ? s.option_of : "*") : "-") + "\n";
    return out;
}

namespace {

// apply_config_line, with the setting the line set in `*set` (null for a
// comment or a blank line).
int apply_line(const char *line, FrontEndConfig *config, char error[CONFIG_ERROR_BYTES],
               const SettingRow **set)
{
    error[0] = 0;
    *set = nullptr;
    const char *end = line + std::strlen(line);
    const std::string whole = trimmed(line, end);
    if (whole.empty() || whole[0] == '#')
        return 1;
    const char *equals = std::strchr(line, '=');
    if (!equals) {
        std::snprintf(error, CONFIG_ERROR_BYTES, "expected NAME = VALUE");
        return 0;
    }
    const std::string name = trimmed(line, equals);
    const std::string value = trimmed(equals + 1, end);
    const SettingRow *setting = setting_named(name);
    if (!setting) {
        std::snprintf(error, CONFIG_ERROR_BYTES,
                      "unknown setting \"%s\"; expected temperature, rain, pressure, wind, "
                      "pressure-kind, direction, archive, catch-up, http, a service's -id, -key "
                      "or on/off, or mqtt-...",
                      name.c_str());
        return 0;
    }
    if (!setting->apply(setting->name, value, config, error))
        return 0;
    config->holds_secret |= setting->secret && !value.empty();
    *set = setting;
    return 1;
}

} // namespace

int apply_config_line(const char *line, FrontEndConfig *config, char error[CONFIG_ERROR_BYTES])
{
    const SettingRow *set;
    return apply_line(line, config, error, &set);
}

int apply_config_text(const char *text, std::size_t length, FrontEndConfig *config, int *bad_line,
                      char error[CONFIG_ERROR_BYTES])
{
    *bad_line = 0;
    // Where each setting was set: a second line for it is a mistake, not
    // an override that the first would silently lose to.
    std::vector<int> set_on(static_cast<std::size_t>(settings_list().end() - settings_list().begin()));
    // An editor's UTF-8 byte-order mark is no part of the first name.
    std::size_t start = length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    for (int number = 1; start < length; ++number) {
        std::size_t stop = start;
        while (stop < length && text[stop] != '\n')
            ++stop;
        const std::string line(text + start, stop - start);
        if (line.find('\0') != std::string::npos) {
            *bad_line = number;
            std::snprintf(error, CONFIG_ERROR_BYTES, "expected text, found a NUL byte");
            return 0;
        }
        const SettingRow *set = nullptr;
        if (!apply_line(line.c_str(), config, error, &set)) {
            *bad_line = number;
            return 0;
        }
        if (set) {
            int &first = set_on[static_cast<std::size_t>(set - settings_list().begin())];
            if (first) {
                *bad_line = number;
                std::snprintf(error, CONFIG_ERROR_BYTES, "%s: set again, first on line %d",
                              set->name, first);
                return 0;
            }
            first = number;
        }
        start = stop + 1;
    }
    return 1;
}

int config_holds_key(const FrontEndConfig &config) { return config.holds_secret; }
