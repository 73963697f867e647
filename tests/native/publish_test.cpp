// What Home Assistant is told about each reading under each unit setting,
// and the time stamp of the state message.
#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "publish/discovery.h"

namespace {

UnitSettings units(int t, int r, int p, int w, int kind, int dir)
{
    UnitSettings u;
    u.temperature_unit = static_cast<std::uint8_t>(t);
    u.rain_unit = static_cast<std::uint8_t>(r);
    u.pressure_unit = static_cast<std::uint8_t>(p);
    u.wind_unit = static_cast<std::uint8_t>(w);
    u.pressure_kind = static_cast<std::uint8_t>(kind);
    u.direction_style = static_cast<std::uint8_t>(dir);
    return u;
}

} // namespace

TEST(Discovery, EachReadingsUnitAndClassesFollowTheUnitSettings)
{
    const UnitSettings defaults;
    const UnitSettings other = units(1, 1, 2, 3, 0, 1);
    const struct {
        const char *name;
        UnitSettings units;
        const char *key;
        const char *unit;  // nullptr: the sensor is not published
        const char *device_class;
        const char *state_class;
    } cases[] = {
        {"°C", defaults, "outdoor_temperature", "°C", "temperature", "measurement"},
        {"°F", other, "outdoor_temperature", "°F", "temperature", "measurement"},
        {"°F dew point", other, "dew_point", "°F", "temperature", "measurement"},
        {"°F channel", other, "ch7_temperature", "°F", "temperature", "measurement"},
        {"humidity", other, "ch3_humidity", "%", "humidity", "measurement"},
        {"km/h", defaults, "wind_speed", "km/h", "wind_speed", "measurement"},
        {"knots are kn", other, "wind_gust", "kn", "wind_speed", "measurement"},
        {"mph", units(0, 0, 0, 0, 1, 0), "wind_speed", "mph", "wind_speed", "measurement"},
        {"m/s", units(0, 0, 0, 1, 1, 0), "wind_speed", "m/s", "wind_speed", "measurement"},
        {"daily rain mm", defaults, "daily_rain", "mm", "precipitation", "total_increasing"},
        {"daily rain in", other, "daily_rain", "in", "precipitation", "total_increasing"},
        {"rain rate mm/h", defaults, "rain_rate", "mm/h", "precipitation_intensity", "measurement"},
        {"rain rate in/h", other, "rain_rate", "in/h", "precipitation_intensity", "measurement"},
        {"hPa relative", defaults, "relative_pressure", "hPa", "atmospheric_pressure", "measurement"},
        {"no absolute beside relative", defaults, "absolute_pressure", nullptr, nullptr, nullptr},
        {"inHg absolute", other, "absolute_pressure", "inHg", "atmospheric_pressure", "measurement"},
        {"no relative beside absolute", other, "relative_pressure", nullptr, nullptr, nullptr},
        {"mmHg", units(0, 0, 1, 2, 1, 0), "relative_pressure", "mmHg", "atmospheric_pressure",
         "measurement"},
        {"compass points are text", defaults, "wind_direction", "", nullptr, nullptr},
        {"degrees are an angle", other, "wind_direction", "°", "wind_direction", "measurement_angle"},
        {"UV index", defaults, "uv_index", "UV index", nullptr, "measurement"},
        {"logger", other, "logger", "%", nullptr, "measurement"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Sensor *found = nullptr;
        const std::vector<Sensor> sensors = station_sensors(c.units);
        for (const Sensor &s : sensors)
            if (std::string(s.key) == c.key)
                found = &s;
        if (!c.unit) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->unit, c.unit);
        EXPECT_STREQ(found->device_class ? found->device_class : "", c.device_class ? c.device_class : "");
        EXPECT_STREQ(found->state_class ? found->state_class : "", c.state_class ? c.state_class : "");
    }
}

TEST(StateTime, RecordTimeCarriesThisMachinesOffsetForThatDay)
{
    const char *saved = std::getenv("TZ");
    const std::string old = saved ? saved : "";
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const struct {
        const char *date, *time, *expected;
    } cases[] = {
        {"2026-12-08", "14:30", "2026-12-08T14:30:00+01:00"},
        {"2026-07-01", "09:05:07", "2026-07-01T09:05:07+02:00"},
        {"2026-03-29", "01:59", "2026-03-29T01:59:00+01:00"},  // before the change to summer time
        {"2026-03-29", "03:00", "2026-03-29T03:00:00+02:00"},
        {"2026-2-3", "7:05", "2026-02-03T07:05:00+01:00"},
        {"2026-04-31", "12:00", ""},  // no such day
        {"2026-12-08", "24:00", ""},
        {"--", "--", ""},
        {"2026-12-08", "", ""},
        {"2026-12-08x", "12:00", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(record_iso_time(c.date, c.time), c.expected) << c.date << " " << c.time;
    setenv("TZ", "America/St_Johns", 1);  // a zone half an hour off, west of UTC
    tzset();
    EXPECT_EQ(record_iso_time("2026-12-08", "14:30"), "2026-12-08T14:30:00-03:30");
    if (saved)
        setenv("TZ", old.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(Discovery, EachUploadServiceHasItsLastSuccessAndAProblemSensor)
{
    MqttSettings settings;
    settings.topic = "garden";
    const MqttTopics topics = mqtt_topics(settings);
    const std::vector<UploadStatus> services = {
        {"windy", "Windy", 1765204200, 0, 0, ""},
        {"wow", "WOW", 0, 1765204500, 1, "HTTP 500: \"bad\" \\ line"},
    };
    EXPECT_EQ(uploads_message(services),
              "{\"windy\":{\"last_success\":\"2025-12-08T14:30:00Z\",\"last_failure\":null,"
              "\"problem\":\"OFF\",\"reason\":\"\"},"
              "\"wow\":{\"last_success\":null,\"last_failure\":\"2025-12-08T14:35:00Z\","
              "\"problem\":\"ON\",\"reason\":\"HTTP 500: \\\"bad\\\" \\\\ line\"}}");
    const auto configs = upload_discovery(settings, topics, services);
    ASSERT_EQ(configs.size(), 4u);
    const std::string device = ",\"device\":{\"identifiers\":[\"garden\"],\"name\":\"Nimbrel "
                               "garden\",\"model\":\"USB weather station console\"}}";
    EXPECT_EQ(configs[0].first, "homeassistant/sensor/garden/upload_windy/config");
    EXPECT_EQ(configs[0].second,
              "{\"name\":\"Windy last upload\",\"unique_id\":\"garden_upload_windy\","
              "\"state_topic\":\"garden/uploads\","
              "\"value_template\":\"{{ value_json.windy.last_success }}\","
              "\"device_class\":\"timestamp\",\"entity_category\":\"diagnostic\"" + device);
    EXPECT_EQ(configs[3].first, "homeassistant/binary_sensor/garden/upload_wow_problem/config");
    EXPECT_EQ(configs[3].second,
              "{\"name\":\"WOW upload problem\",\"unique_id\":\"garden_upload_wow_problem\","
              "\"state_topic\":\"garden/uploads\","
              "\"value_template\":\"{{ value_json.wow.problem }}\","
              "\"json_attributes_topic\":\"garden/uploads\","
              "\"json_attributes_template\":\"{{ value_json.wow | tojson }}\","
              "\"device_class\":\"problem\",\"entity_category\":\"diagnostic\"" + device);
}
