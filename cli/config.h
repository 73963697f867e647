// The front end's settings: units, each service's ID, key and switch, and the
// MQTT broker, read from nimbrel.conf and overridden by command-line options
// of the same names. One setting a line:
//
//   temperature = C | F
//   rain = mm | in
//   pressure = hPa | mmHg | inHg
//   wind = mph | m/s | km/h | knots
//   pressure-kind = relative | absolute
//   direction = compass | degrees
//   wunderground-id = ...      wunderground-key = ...   wunderground = on | off
//   weathercloud-id = ...      weathercloud-key = ...   weathercloud = on | off
//   http = ADDRESS:PORT        the web page, also inside `nimbrel run`
//   http-hosts = NAME ...      names the page answers to besides addresses and localhost
//   archive = PATH             catch-up = HH:MM | off
//   mqtt = HOST[:PORT]   mqtt-user = ...   mqtt-password = ...
//   mqtt-tls = on | off  mqtt-ca = FILE    mqtt-topic = nimbrel
//   mqtt-discovery = on | off              mqtt-discovery-prefix = homeassistant
//
// Blank lines and lines whose first non-blank character is '#' are comments.
// A value is the rest of the line without the blanks around it, so a key
// may hold '#', '&' or '='.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "publish/discovery.h"
#include "settings/unit_settings.h"
#include "upload/service_table.h"

struct ServiceConfig {
    char id[UPLOAD_CREDENTIAL_BYTES];  // UTF-8 as typed
    char key[UPLOAD_CREDENTIAL_BYTES];
    int upload;                        // 1: the console's bodies go to this service
};

struct FrontEndConfig {
    UnitSettings units;
    ServiceConfig service[UPLOAD_SERVICE_COUNT];  // upload_services' order
    std::string http;          // ADDRESS:PORT of the web page; empty: none in `run`
    std::vector<std::string> http_hosts;  // lower case
    std::string archive;       // empty: the default place
    int catch_up_minute = 180; // minute of the day of run's daily catch-up; -1 off
    MqttSettings mqtt;
};

constexpr std::size_t CONFIG_ERROR_BYTES = 160;

// Applies one "name = value" line (a comment or blank line changes nothing).
// 0 with what was expected in `error` when the name is unknown or the value
// is not one of the name's.
int apply_config_line(const char *line, FrontEndConfig *config, char error[CONFIG_ERROR_BYTES]);

// Applies a whole file's text; 0 with the 1-based number of the first bad
// line in `*bad_line` and the reason in `error`.
int apply_config_text(const char *text, std::size_t length, FrontEndConfig *config, int *bad_line,
                      char error[CONFIG_ERROR_BYTES]);

// 1 when a service's key or the broker's password is set: a file holding
// one must not be readable by others.
int config_holds_key(const FrontEndConfig &config);
