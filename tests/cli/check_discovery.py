# Checks the retained discovery configs (argv[1], "topic payload" lines)
# against the state message (argv[2]) of the station's topic (argv[3]): one device, a unique id and topic per
# reading, the keys Home Assistant needs, a value template that renders each
# reading (and "None", Home Assistant's unknown, for null), and units that
# agree with the units the state message names.
import json, sys
import jinja2

state = json.load(open(sys.argv[2], encoding="utf-8"))
units = state["units"]
ha_speed = {"knots": "kn"}
configs = {}
for line in open(sys.argv[1], encoding="utf-8").read().splitlines():
    topic, payload = line.split(" ", 1)
    parts = topic.split("/")
    assert parts[:3] == ["homeassistant", "sensor", sys.argv[3].replace("/", "_")], topic
    assert len(parts) == 5 and parts[4] == "config", topic
    key = parts[3]
    config = json.loads(payload)
    assert key not in configs, "two configs for " + key
    configs[key] = config
    for needed in ("name", "unique_id", "state_topic", "value_template", "availability_topic", "device"):
        assert needed in config, (key, needed)
    assert config["unique_id"] == parts[2] + "_" + key, config["unique_id"]
    assert config["state_topic"] == sys.argv[3] + "/state", config
    assert config["availability_topic"] == sys.argv[3] + "/status", config
    assert key in state, key + " is not in the state"
    rendered = jinja2.Environment().from_string(config["value_template"]).render(value_json=state)
    assert rendered == ("None" if state[key] is None else str(state[key])), (key, rendered)

    unit = config.get("unit_of_measurement")
    kind = config.get("device_class")
    if key.endswith("temperature") or key in ("dew_point", "heat_index"):
        expected = (units["temperature"], "temperature", "measurement")
    elif key.endswith("humidity"):
        expected = ("%", "humidity", "measurement")
    elif key.endswith("pressure"):
        expected = (units["pressure"], "atmospheric_pressure", "measurement")
    elif key in ("wind_speed", "wind_gust"):
        expected = (ha_speed.get(units["wind_speed"], units["wind_speed"]), "wind_speed", "measurement")
    elif key == "daily_rain":
        expected = (units["rain"], "precipitation", "total_increasing")
    elif key == "rain_rate":
        expected = (units["rain_rate"], "precipitation_intensity", "measurement")
    elif key == "wind_direction":
        expected = ((None, None, None) if units["wind_direction"] == "compass"
                    else ("°", "wind_direction", "measurement_angle"))
    elif key == "uv_index":
        expected = ("UV index", None, "measurement")
    elif key == "logger":
        expected = ("%", None, "measurement")
    else:
        raise AssertionError("unexpected reading " + key)
    got = (unit, kind, config.get("state_class"))
    assert got == expected, (key, got, expected)

readings = set(k for k in state if k not in ("date", "time", "units"))
assert set(configs) == readings, ("configs and state differ", set(configs) ^ readings)
devices = set(json.dumps(c["device"], sort_keys=True) for c in configs.values())
assert len(devices) == 1, devices
assert len(set(c["unique_id"] for c in configs.values())) == len(configs)
print(len(configs), "configs")
