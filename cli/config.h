// The front end's settings: units, each service's ID, key and switch, the
// archive, the web page and the MQTT broker, read from nimbrel.conf and
// overridden by command-line options of the same names. One list of rows
// (config.cpp) holds each setting's name, values, default and help, and
// drives the file, the options and the help. One setting a line:
//
//   NAME = VALUE
//
// Blank lines and lines whose first non-blank character is '#' are comments.
// A value is the rest of the line without the blanks around it, so a key
// may hold '#', '&' or '='.
#pragma once
#include <cmath>
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
    ServiceConfig service[SERVICE_COUNT];  // upload_services' order
    double latitude = NAN, longitude = NAN, altitude = NAN;  // the station's; NAN: not set
    std::string http;          // ADDRESS:PORT of the web page; empty: none in `run`
    std::vector<std::string> http_hosts;  // lower case
    std::string archive;       // empty: the default place
    int catch_up_minute = 180; // minute of the day of run's daily catch-up; -1 off
    MqttSettings mqtt;
    int holds_secret = 0;      // a key or password was set
};

constexpr std::size_t CONFIG_ERROR_BYTES = 160;

// One setting: a new one is a row of the list in config.cpp.
struct SettingRow {
    const char *name;
    const char *values;         // what it takes, as the help shows it: "C|F", "HOST[:PORT]"
    const char *default_value;  // as the example configuration writes it
    const char *help;           // beside its option in the help
    const char *option_of;      // the command whose help lists it as an option, "" every
                                // command's; null: no option
    int secret;                 // a key or password: the file holding it must be private
    // Sets it from a value; 0 with what was expected in `error`.
    int (*apply)(const char *name, const std::string &value, FrontEndConfig *config,
                 char error[CONFIG_ERROR_BYTES]);
};

struct SettingList {
    const SettingRow *begin() const;
    const SettingRow *end() const;
};
SettingList settings_list();

// The setting of that name; null when there is none.
const SettingRow *setting_named(const std::string &name);

// The hidden --list-settings: "NAME<TAB>VALUES<TAB>DEFAULT<TAB>OPTION OF" a
// line ("-" for no option), for the scripts that hold the manual page and
// the example configuration to the list.
std::string setting_list_text();

// Applies one "name = value" line (a comment or blank line changes nothing).
// 0 with what was expected in `error` when the name is unknown or the value
// is not one of the name's.
int apply_config_line(const char *line, FrontEndConfig *config, char error[CONFIG_ERROR_BYTES]);

// Applies a whole file's text; 0 with the 1-based number of the first bad
// line in `*bad_line` and the reason in `error`.
int apply_config_text(const char *text, std::size_t length, FrontEndConfig *config, int *bad_line,
                      char error[CONFIG_ERROR_BYTES]);

// 1 when a key or password is set: a file holding one must not be readable
// by others.
int config_holds_key(const FrontEndConfig &config);
