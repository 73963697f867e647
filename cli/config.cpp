#include "cli/config.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "web/server.h"

namespace {

struct Choice {
    const char *name;
    int value;
};

struct UnitSetting {
    const char *name;
    std::uint8_t UnitSettings::*field;
    Choice choices[4];
    int count;
};

const UnitSetting unit_table[] = {
    {"temperature", &UnitSettings::temperature_unit, {{"C", 0}, {"F", 1}}, 2},
    {"rain", &UnitSettings::rain_unit, {{"mm", 0}, {"in", 1}}, 2},
    {"pressure", &UnitSettings::pressure_unit, {{"hPa", 0}, {"mmHg", 1}, {"inHg", 2}}, 3},
    {"wind", &UnitSettings::wind_unit, {{"mph", 0}, {"m/s", 1}, {"km/h", 2}, {"knots", 3}}, 4},
    {"pressure-kind", &UnitSettings::pressure_kind, {{"absolute", 0}, {"relative", 1}}, 2},
    {"direction", &UnitSettings::direction_style, {{"compass", 0}, {"degrees", 1}}, 2},
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

int unit_value(const UnitSetting &s, const std::string &value, FrontEndConfig *config,
               char error[CONFIG_ERROR_BYTES])
{
    std::string expected;
    for (int i = 0; i < s.count; ++i) {
        if (value == s.choices[i].name) {
            config->units.*s.field = static_cast<std::uint8_t>(s.choices[i].value);
            return 1;
        }
        expected += (i == 0 ? "" : i == s.count - 1 ? " or " : ", ");
        expected += s.choices[i].name;
    }
    std::snprintf(error, CONFIG_ERROR_BYTES, "%s: expected %s, not \"%s\"", s.name,
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

int service_setting(const std::string &name, const std::string &value, FrontEndConfig *config,
                    char error[CONFIG_ERROR_BYTES], int *known)
{
    for (int s = 0; s < UPLOAD_SERVICE_COUNT; ++s) {
        const std::string base = upload_services[s].config_name;
        ServiceConfig &service = config->service[s];
        if (name == base + "-id") {
            *known = 1;
            return credential(name, value, service.id, error);
        }
        if (name == base + "-key") {
            *known = 1;
            return credential(name, value, service.key, error);
        }
        if (name == base) {
            *known = 1;
            return on_off(name, value, &service.upload, error);
        }
    }
    *known = 0;
    return 0;
}

// HOST, HOST:PORT, or [IPv6]:PORT; an empty value switches MQTT off.
int broker_address(const std::string &value, MqttSettings *mqtt, char error[CONFIG_ERROR_BYTES])
{
    std::string host = value, port;
    int has_port = 0, ok = 1;
    if (!value.empty() && value[0] == '[') {
        const std::size_t close = value.find(']');
        ok = close != std::string::npos && close > 1;
        if (ok) {
            host = value.substr(1, close - 1);
            has_port = close + 1 < value.size();
            ok = !has_port || value[close + 1] == ':';
            port = has_port ? value.substr(close + 2) : "";
        }
    } else if (value.find(':') != std::string::npos && value.find(':') == value.rfind(':')) {
        host = value.substr(0, value.find(':'));
        port = value.substr(value.find(':') + 1);
        has_port = 1;
    }
    long number = 0;
    if (ok && has_port) {
        char *end = nullptr;
        number = std::strtol(port.c_str(), &end, 10);
        ok = !port.empty() && *end == 0 && number >= 1 && number <= 65535;
    }
    if (!ok || (!value.empty() && host.empty()) ||
        host.find_first_of(" \t/[]") != std::string::npos) {
        std::snprintf(error, CONFIG_ERROR_BYTES, "mqtt: expected HOST or HOST:PORT, not \"%s\"",
                      value.c_str());
        return 0;
    }
    mqtt->host = host;
    mqtt->port = static_cast<int>(number);
    return 1;
}

// The mqtt-... settings; *known is 0 for any other name.
int mqtt_setting(const std::string &name, const std::string &value, MqttSettings *mqtt,
                 char error[CONFIG_ERROR_BYTES], int *known)
{
    *known = 1;
    if (name == "mqtt")
        return broker_address(value, mqtt, error);
    if (name == "mqtt-user" || name == "mqtt-password" || name == "mqtt-ca") {
        std::string &out = name == "mqtt-user"       ? mqtt->user
                           : name == "mqtt-password" ? mqtt->password
                                                     : mqtt->ca_file;
        out = value;
        return 1;
    }
    if (name == "mqtt-tls")
        return on_off(name, value, &mqtt->tls, error);
    if (name == "mqtt-discovery")
        return on_off(name, value, &mqtt->discovery, error);
    if (name == "mqtt-topic" || name == "mqtt-discovery-prefix") {
        if (!valid_topic(value)) {
            std::snprintf(error, CONFIG_ERROR_BYTES,
                          "%s: expected letters, digits, \"-_.\" and single \"/\" between "
                          "them, not \"%s\"",
                          name.c_str(), value.c_str());
            return 0;
        }
        (name == "mqtt-topic" ? mqtt->topic : mqtt->discovery_prefix) = value;
        return 1;
    }
    *known = 0;
    return 0;
}

} // namespace

int apply_config_line(const char *line, FrontEndConfig *config, char error[CONFIG_ERROR_BYTES])
{
    error[0] = 0;
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
    for (const UnitSetting &s : unit_table)
        if (name == s.name)
            return unit_value(s, value, config, error);
    if (name == "http") {
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
    if (name == "http-hosts") {
        config->http_hosts.clear();
        std::string host;
        for (std::size_t i = 0; i <= value.size(); ++i) {
            const char c = i < value.size() ? static_cast<char>(std::tolower(static_cast<unsigned char>(value[i]))) : ' ';
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.') {
                host += c;
            } else if (c == ' ' || c == ',' || c == '\t') {
                if (!host.empty())
                    config->http_hosts.push_back(host);
                host.clear();
            } else {
                std::snprintf(error, CONFIG_ERROR_BYTES,
                              "http-hosts: expected host names (letters, digits, \"-.\"), not \"%s\"",
                              value.c_str());
                return 0;
            }
        }
        return 1;
    }
    if (name == "archive") {
        if (value.empty()) {
            std::snprintf(error, CONFIG_ERROR_BYTES, "archive: expected a file name");
            return 0;
        }
        config->archive = value;
        return 1;
    }
    if (name == "catch-up") {
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
    int known = 0;
    int ok = service_setting(name, value, config, error, &known);
    if (!known)
        ok = mqtt_setting(name, value, &config->mqtt, error, &known);
    if (!known)
        std::snprintf(error, CONFIG_ERROR_BYTES,
                      "unknown setting \"%s\"; expected a unit (temperature, pressure-kind ...), "
                      "archive, catch-up, http, http-hosts, a service's -id, -key or on/off, or mqtt-...",
                      name.c_str());
    return ok;
}

int apply_config_text(const char *text, std::size_t length, FrontEndConfig *config, int *bad_line,
                      char error[CONFIG_ERROR_BYTES])
{
    *bad_line = 0;
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
        if (!apply_config_line(line.c_str(), config, error)) {
            *bad_line = number;
            return 0;
        }
        start = stop + 1;
    }
    return 1;
}

int config_holds_key(const FrontEndConfig &config)
{
    for (const ServiceConfig &service : config.service)
        if (service.key[0])
            return 1;
    return !config.mqtt.password.empty();
}
