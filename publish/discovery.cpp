#include "publish/discovery.h"

#include <cstdio>
#include <ctime>

#include "common/calendar.h"
#include "common/json.h"
#include "live/units.h"
#include "upload/request.h"
#include "upload/service_request.h"

namespace {

// What a reading is to Home Assistant: its kind gives the unit, the class
// pair says how it is shown and kept in the statistics.
struct Kind {
    ReadingKind reading;
    const char *device_class;
    const char *state_class;
};

const Kind temperature{ReadingKind::temperature, "temperature", "measurement"};
const Kind humidity{ReadingKind::humidity, "humidity", "measurement"};
const Kind wind{ReadingKind::wind_speed, "wind_speed", "measurement"};
// Daily rain counts up and starts again at zero each day.
const Kind rain_total{ReadingKind::rain_amount, "precipitation", "total_increasing"};
const Kind rain_rate{ReadingKind::rain_rate, "precipitation_intensity", "measurement"};
const Kind pressure{ReadingKind::pressure, "atmospheric_pressure", "measurement"};
const Kind uv{ReadingKind::text, nullptr, "measurement"};
const Kind logger{ReadingKind::humidity, nullptr, "measurement"};

struct Entry {
    const char *key;
    const char *name;
    const Kind *kind;  // null: the wind direction, which depends on its style
    int pressure_kind; // -1 for every reading but the pressures
};

// The readings of the state message, in its order.
const Entry entries[] = {
    {"logger", "Logger", &logger, -1},
    {"indoor_temperature", "Indoor temperature", &temperature, -1},
    {"indoor_humidity", "Indoor humidity", &humidity, -1},
    {"outdoor_temperature", "Outdoor temperature", &temperature, -1},
    {"outdoor_humidity", "Outdoor humidity", &humidity, -1},
    {"wind_speed", "Wind speed", &wind, -1},
    {"wind_gust", "Wind gust", &wind, -1},
    {"wind_direction", "Wind direction", nullptr, -1},
    {"daily_rain", "Daily rain", &rain_total, -1},
    {"rain_rate", "Rain rate", &rain_rate, -1},
    {"relative_pressure", "Relative pressure", &pressure, 1},
    {"absolute_pressure", "Absolute pressure", &pressure, 0},
    {"dew_point", "Dew point", &temperature, -1},
    {"heat_index", "Heat index", &temperature, -1},
    {"uv_index", "UV index", &uv, -1},
    {"ch1_temperature", "CH 1 temperature", &temperature, -1},
    {"ch1_humidity", "CH 1 humidity", &humidity, -1},
    {"ch2_temperature", "CH 2 temperature", &temperature, -1},
    {"ch2_humidity", "CH 2 humidity", &humidity, -1},
    {"ch3_temperature", "CH 3 temperature", &temperature, -1},
    {"ch3_humidity", "CH 3 humidity", &humidity, -1},
    {"ch4_temperature", "CH 4 temperature", &temperature, -1},
    {"ch4_humidity", "CH 4 humidity", &humidity, -1},
    {"ch5_temperature", "CH 5 temperature", &temperature, -1},
    {"ch5_humidity", "CH 5 humidity", &humidity, -1},
    {"ch6_temperature", "CH 6 temperature", &temperature, -1},
    {"ch6_humidity", "CH 6 humidity", &humidity, -1},
    {"ch7_temperature", "CH 7 temperature", &temperature, -1},
    {"ch7_humidity", "CH 7 humidity", &humidity, -1},
};

// The dashboard's unit label, except where Home Assistant spells the unit
// its own way.
std::string ha_unit(const Entry &e, const UnitSettings &units)
{
    if (e.kind == &uv)
        return "UV index";
    if (e.kind == &logger)
        return "%";
    char label[32];
    if (!utf16_to_utf8(unit_label(e.kind->reading, units), label, sizeof label))
        return std::string();
    const std::string text = label;
    return text == "knots" ? "kn" : text;
}

Sensor sensor_of(const Entry &e, const UnitSettings &units)
{
    if (!e.kind) {
        // In compass points the direction is text; in degrees an angle,
        // whose statistics must wrap round at north.
        if (units.direction_style == 0)
            return Sensor{e.key, e.name, nullptr, nullptr, std::string(), 0};
        return Sensor{e.key, e.name, "wind_direction", "measurement_angle", "\xC2\xB0", 0};
    }
    return Sensor{e.key, e.name, e.kind->device_class, e.kind->state_class, ha_unit(e, units),
                  e.kind == &logger};
}

int published(const Entry &e, const UnitSettings &units)
{
    return e.pressure_kind < 0 || e.pressure_kind == (units.pressure_kind == 0 ? 0 : 1);
}

void add_member(std::string &out, const char *name, const std::string &value)
{
    out += out.size() > 1 ? ",\"" : "\"";
    out += name;
    out += "\":";
    add_json_string(out, value);
}

int topic_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '_' || c == '.';
}

// gmtime's buffer is shared with localtime, which the log uses on other
// threads.
int utc_time(std::time_t t, std::tm *out)
{
#ifdef _WIN32
    return gmtime_s(out, &t) == 0;
#else
    return gmtime_r(&t, out) != nullptr;
#endif
}

} // namespace

int valid_topic(const std::string &topic)
{
    if (topic.empty() || topic.size() > 200 || topic.front() == '/' || topic.back() == '/')
        return 0;
    for (std::size_t i = 0; i < topic.size(); ++i)
        if (!topic_char(topic[i]) && !(topic[i] == '/' && topic[i - 1] != '/'))
            return 0;
    return 1;
}

std::vector<Sensor> station_sensors(const UnitSettings &units)
{
    std::vector<Sensor> out;
    for (const Entry &e : entries)
        if (published(e, units))
            out.push_back(sensor_of(e, units));
    return out;
}

std::vector<std::string> retired_sensor_keys(const UnitSettings &units)
{
    std::vector<std::string> out;
    for (const Entry &e : entries)
        if (!published(e, units))
            out.push_back(e.key);
    return out;
}

MqttTopics mqtt_topics(const MqttSettings &settings)
{
    MqttTopics t;
    t.state = settings.topic + "/state";
    t.status = settings.topic + "/status";
    t.announcement = settings.discovery_prefix + "/status";
    t.uploads = settings.topic + "/uploads";
    // Discovery topics allow one level of [A-Za-z0-9_-] for the device.
    for (char c : settings.topic)
        t.device += topic_char(c) && c != '.' ? c : '_';
    return t;
}

std::string discovery_topic(const MqttSettings &settings, const MqttTopics &topics,
                            const std::string &key)
{
    return settings.discovery_prefix + "/sensor/" + topics.device + "/" + key + "/config";
}

std::string discovery_config(const Sensor &sensor, const MqttSettings &settings,
                             const MqttTopics &topics)
{
    const std::string value = "value_json." + std::string(sensor.key);
    std::string out = "{";
    add_member(out, "name", sensor.name);
    add_member(out, "unique_id", topics.device + "_" + sensor.key);
    add_member(out, "state_topic", topics.state);
    // Home Assistant takes a rendered "None" as an unknown state; a text
    // such as "unknown" would be refused by a numeric sensor.
    add_member(out, "value_template",
               "{{ None if " + value + " is not defined or " + value + " is none else " + value +
                   " }}");
    add_member(out, "availability_topic", topics.status);
    add_member(out, "payload_available", "online");
    add_member(out, "payload_not_available", "offline");
    if (sensor.device_class)
        add_member(out, "device_class", sensor.device_class);
    if (sensor.state_class)
        add_member(out, "state_class", sensor.state_class);
    if (!sensor.unit.empty())
        add_member(out, "unit_of_measurement", sensor.unit);
    if (sensor.diagnostic)
        add_member(out, "entity_category", "diagnostic");
    out += ",\"device\":{\"identifiers\":[";
    add_json_string(out, topics.device);
    out += "],\"name\":";
    add_json_string(out, settings.topic == "nimbrel" ? "Nimbrel" : "Nimbrel " + settings.topic);
    out += ",\"model\":\"USB weather station console\"}}";
    return out;
}

std::string record_iso_time(const std::string &date, const std::string &time)
{
    std::tm local{}, utc{};
    std::time_t t;
    if (!record_local_time(date, time, &local, &t) || !utc_time(t, &utc))
        return std::string();
    // Day numbers give the UTC offset without timegm.
    const long offset_min = static_cast<long>(
        (days_from_civil(local.tm_year + 1900L, local.tm_mon + 1, local.tm_mday) -
         days_from_civil(utc.tm_year + 1900L, utc.tm_mon + 1, utc.tm_mday)) * 1440 +
        (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min));
    // Offsets stay within a day; the bound keeps the text's length known.
    const int magnitude = static_cast<int>((offset_min < 0 ? -offset_min : offset_min) % 1440);
    char out[96];
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offset_min < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return out;
}

int next_retry_pause(int previous)
{
    return previous <= 0 ? 1 : previous >= 30 ? 60 : previous * 2;
}

namespace {

// A JSON string of any text: a service's reason is not ours to trust.
std::string json_text(const std::string &text)
{
    std::string out;
    add_json_string(out, text);
    return out;
}

std::string utc_iso(long long utc)
{
    return utc > 0 ? utc_text(utc, "\"%Y-%m-%dT%H:%M:%SZ\"") : "null";
}

std::string device_member(const MqttSettings &settings, const MqttTopics &topics)
{
    return ",\"device\":{\"identifiers\":[\"" + topics.device + "\"],\"name\":\"" +
           (settings.topic == "nimbrel" ? std::string("Nimbrel") : "Nimbrel " + settings.topic) +
           "\",\"model\":\"USB weather station console\"}}";
}

} // namespace

std::string uploads_message(const std::vector<UploadStatus> &services)
{
    std::string out = "{";
    for (const UploadStatus &s : services) {
        if (out.size() > 1)
            out += ',';
        out += "\"" + s.key + "\":{\"last_success\":" + utc_iso(s.last_success) +
               ",\"last_failure\":" + utc_iso(s.last_failure) + ",\"problem\":\"" +
               (s.problem ? "ON" : "OFF") + "\",\"reason\":" + json_text(s.reason) + "}";
    }
    return out + "}";
}

std::vector<std::pair<std::string, std::string>>
upload_discovery(const MqttSettings &settings, const MqttTopics &topics,
                 const std::vector<UploadStatus> &services)
{
    std::vector<std::pair<std::string, std::string>> out;
    const std::string base = settings.discovery_prefix;
    for (const UploadStatus &s : services) {
        const std::string id = "upload_" + s.key;
        const std::string value = "value_json." + s.key;
        std::string last = "{";
        add_member(last, "name", s.name + " last upload");
        add_member(last, "unique_id", topics.device + "_" + id);
        add_member(last, "state_topic", topics.uploads);
        add_member(last, "value_template", "{{ " + value + ".last_success }}");
        add_member(last, "device_class", "timestamp");
        add_member(last, "entity_category", "diagnostic");
        out.emplace_back(base + "/sensor/" + topics.device + "/" + id + "/config",
                         last + device_member(settings, topics));
        std::string problem = "{";
        add_member(problem, "name", s.name + " upload problem");
        add_member(problem, "unique_id", topics.device + "_" + id + "_problem");
        add_member(problem, "state_topic", topics.uploads);
        add_member(problem, "value_template", "{{ " + value + ".problem }}");
        add_member(problem, "json_attributes_topic", topics.uploads);
        add_member(problem, "json_attributes_template", "{{ " + value + " | tojson }}");
        add_member(problem, "device_class", "problem");
        add_member(problem, "entity_category", "diagnostic");
        out.emplace_back(base + "/binary_sensor/" + topics.device + "/" + id + "_problem/config",
                         problem + device_member(settings, topics));
    }
    return out;
}
