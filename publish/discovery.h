// What `nimbrel run` publishes over MQTT, apart from the connection: the
// topics, the Home Assistant sensor of each reading with its device class,
// state class and unit under the chosen units, the discovery config texts,
// the time stamp of a record and the pause between connection attempts.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "settings/unit_settings.h"

// The broker settings of the configuration; host empty: MQTT is off.
struct MqttSettings {
    std::string host;
    int port = 0;               // 0: 1883, or 8883 with TLS
    std::string user, password;
    int tls = 0;
    std::string ca_file;        // empty: the system's certificates
    std::string topic = "nimbrel";
    int discovery = 1;
    std::string discovery_prefix = "homeassistant";
};

// 1 when a topic (or prefix) is one or more levels of letters, digits and
// "-_.", joined by single "/": safe in any topic filter and in JSON text.
int valid_topic(const std::string &topic);

// One reading of the state message as a Home Assistant sensor. A null class
// is left out of the config; an empty unit too.
struct Sensor {
    const char *key;            // its member in the state message
    const char *name;
    const char *device_class;
    const char *state_class;
    std::string unit;
    int diagnostic;             // about the console rather than the weather
};

// The sensors published under these units, in the state message's order.
std::vector<Sensor> station_sensors(const UnitSettings &units);
// Keys of sensors the other unit settings publish and these do not (the
// pressure of the other kind): their configs are emptied so that a unit
// change leaves no dead entity behind.
std::vector<std::string> retired_sensor_keys(const UnitSettings &units);

struct MqttTopics {
    std::string state, status;   // TOPIC/state, TOPIC/status
    std::string uploads;         // TOPIC/uploads: the upload services' state
    std::string announcement;    // PREFIX/status, where Home Assistant says "online"
    std::string device;          // the station's id in discovery topics and ids
};
MqttTopics mqtt_topics(const MqttSettings &settings);

// PREFIX/sensor/DEVICE/KEY/config
std::string discovery_topic(const MqttSettings &settings, const MqttTopics &topics,
                            const std::string &key);
// The retained config of one sensor: one device per station, a unique id per
// reading, "unknown" for a null reading, the availability topic.
std::string discovery_config(const Sensor &sensor, const MqttSettings &settings,
                             const MqttTopics &topics);

// A record's date ("2026-12-08") and time of day ("14:30" or "14:30:05") as
// ISO 8601 in this machine's time zone, "2026-12-08T14:30:00+01:00"; empty
// when they are not a date and a time.
std::string record_iso_time(const std::string &date, const std::string &time);

// One upload service as MQTT shows it.
struct UploadStatus {
    std::string key;            // its configuration name, "windy"
    std::string name;           // "Windy"
    long long last_success;     // UTC seconds; 0 never
    long long last_failure;
    int problem;                // its last attempt failed
    std::string reason;         // why, with no secret in it
};

// The retained message on TOPIC/uploads: for each service its last success
// and failure (ISO 8601 in UTC, null for never), "ON" or "OFF" for a
// problem, and the reason.
std::string uploads_message(const std::vector<UploadStatus> &services);

// Each service's Home Assistant entities: a timestamp sensor of its last
// success and a problem binary sensor with the reason as an attribute.
// Pairs of topic and retained config.
std::vector<std::pair<std::string, std::string>>
upload_discovery(const MqttSettings &settings, const MqttTopics &topics,
                 const std::vector<UploadStatus> &services);

// Seconds to wait before the next attempt after `previous` (0 after a
// working connection): 1, 2, 4 ... up to 60.
int next_retry_pause(int previous);
