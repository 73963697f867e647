#include "cli/options.h"

#include <cstring>

const char usage_text[] =
    "Usage: nimbrel COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  live [--watch] [--json]     the current readings; --watch prints every new record,\n"
    "                              --json one JSON object per record\n"
    "  export [--archive] (--all | --from Y-M-D --to Y-M-D) [--sets LIST] [--utf8] FILE\n"
    "                              downloads the history (or reads the archive) and writes\n"
    "                              FILE (.csv or .xls), UTF-16 as on Windows, or UTF-8\n"
    "  run                         stays connected: answers the clock request, uploads,\n"
    "                              catches up, reconnects; ends on SIGTERM or SIGINT\n"
    "  clock                       sets the console's clock from this machine's clock\n"
    "  catch-up                    downloads the history into the archive\n"
    "  archive info                the archive's records, interval and gaps\n"
    "  archive import FILE...      brings export files (either encoding, any units)\n"
    "                              into the archive\n"
    "  serve [--http=ADDRESS:PORT] the web page of the live readings and the archive's\n"
    "                              charts (127.0.0.1:8470 unless set); ends on SIGTERM\n"
    "\n"
    "Options:\n"
    "  --simulate[=FILE]           the simulated console (a scenario file, or its weather)\n"
    "  --upload-server=HOST:PORT   every upload to this server instead of the services\n"
    "  --config=FILE               instead of $XDG_CONFIG_HOME/nimbrel/nimbrel.conf\n"
    "  --http=ADDRESS:PORT         serve and run: the web page's address\n"
    "  --archive=PATH              instead of $XDG_DATA_HOME/nimbrel/archive.sqlite\n"
    "                              (export reads from it)\n"
    "  --temperature=C|F  --rain=mm|in  --pressure=hPa|mmHg|inHg\n"
    "  --wind=mph|m/s|km/h|knots  --pressure-kind=relative|absolute\n"
    "  --direction=compass|degrees  override the configuration's units\n"
    "  --mqtt=HOST[:PORT]          run publishes the readings to this MQTT broker;\n"
    "  --mqtt-user=NAME  --mqtt-password=WORD  --mqtt-tls=on|off  --mqtt-ca=FILE\n"
    "  --mqtt-topic=TOPIC  --mqtt-discovery=on|off  --mqtt-discovery-prefix=PREFIX\n"
    "                              its login, TLS, topic and Home Assistant discovery\n"
    "  --sets LIST                 data sets, comma-separated: pressure, indoor, outdoor,\n"
    "                              rain, uv, wind, dew-point, heat-index, ch1 .. ch7\n"
    "\n"
    "Exit status: 0 done, 1 the console or a file failed, 2 usage or configuration error.\n";

namespace {

// Options that set a configuration line of the same name.
const char *const setting_options[] = {"temperature", "rain", "pressure", "wind", "pressure-kind",
                                       "direction", "mqtt", "mqtt-user", "mqtt-password",
                                       "mqtt-tls", "mqtt-ca", "mqtt-topic", "mqtt-discovery",
                                       "mqtt-discovery-prefix"};

// data_set order: pressure, indoor, outdoor, rain, UV, wind, dew point,
// heat index, CH1 .. CH7.
const char *const set_names[15] = {"pressure", "indoor", "outdoor", "rain", "uv",
                                   "wind", "dew-point", "heat-index", "ch1", "ch2",
                                   "ch3", "ch4", "ch5", "ch6", "ch7"};

struct Command_name {
    const char *name;
    Command command;
};
const Command_name commands[] = {{"live", Command::live},   {"export", Command::export_history},
                                 {"run", Command::run},     {"clock", Command::clock},
                                 {"serve", Command::serve},
                                 {"catch-up", Command::catch_up},
                                 {"archive", Command::archive},
                                 {"help", Command::help},   {"--help", Command::help},
                                 {"-h", Command::help}};

} // namespace

int parse_options(int argc, const char *const *argv, Options *o, std::string *error)
{
    *o = Options{};
    if (argc < 2) {
        *error = "no command given";
        return 0;
    }
    for (const Command_name &c : commands)
        if (std::strcmp(argv[1], c.name) == 0)
            o->command = c.command;
    if (o->command == Command::none) {
        *error = std::string("unknown command \"") + argv[1] + "\"";
        return 0;
    }
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const int has_value = eq != std::string::npos;
        std::string value = has_value ? arg.substr(eq + 1) : "";
        // Options that take a value also take it as the next argument.
        auto take = [&](std::string *out) {
            if (!has_value) {
                if (i + 1 >= argc) {
                    *error = name + " needs a value";
                    return 0;
                }
                value = argv[++i];
            }
            *out = value;
            return 1;
        };
        const bool is_export = o->command == Command::export_history;
        const bool is_live = o->command == Command::live;
        if (name == "--simulate") {
            o->simulate = 1;
            o->scenario = value;
            if (has_value && value.empty()) {
                *error = "--simulate= needs a scenario file";
                return 0;
            }
        } else if (name == "--upload-server") {
            if (!take(&o->upload_server))
                return 0;
        } else if (name == "--config") {
            if (!take(&o->config_file))
                return 0;
        } else if ((o->command == Command::serve || o->command == Command::run) &&
                   name == "--http") {
            if (!take(&o->http))
                return 0;
        } else if (name == "--archive" && has_value) {
            if (value.empty()) {
                *error = "--archive= needs a file name";
                return 0;
            }
            o->archive_file = value;
            o->from_archive |= is_export;
        } else if (is_export && arg == "--archive") {
            o->from_archive = 1;
        } else if (o->command == Command::archive && arg.size() > 0 && arg[0] != '-' &&
                   o->archive_action.empty()) {
            o->archive_action = arg;
        } else if (o->command == Command::archive && arg.size() > 0 && arg[0] != '-' &&
                   o->archive_action == "import") {
            o->files.push_back(arg);
        } else if (is_live && arg == "--watch") {
            o->watch = 1;
        } else if (is_live && arg == "--json") {
            o->json = 1;
        } else if (is_export && arg == "--all") {
            o->all = 1;
        } else if (is_export && arg == "--utf8") {
            o->utf8 = 1;
        } else if (is_export && name == "--from") {
            if (!take(&o->from))
                return 0;
        } else if (is_export && name == "--to") {
            if (!take(&o->to))
                return 0;
        } else if (is_export && name == "--sets") {
            if (!take(&o->sets))
                return 0;
        } else if (is_export && arg.size() > 0 && arg[0] != '-' && o->file.empty()) {
            o->file = arg;
        } else {
            bool unit = false;
            for (const char *u : setting_options)
                if (name == std::string("--") + u && has_value) {
                    o->settings.push_back(std::string(u) + " = " + value);
                    unit = true;
                }
            if (!unit) {
                *error = "unknown option \"" + arg + "\" for " + argv[1];
                return 0;
            }
        }
    }
    if (o->command == Command::archive && o->archive_action != "info" &&
        o->archive_action != "import") {
        *error = o->archive_action.empty() ? "archive needs info or import"
                                           : "unknown archive action \"" + o->archive_action +
                                                 "\"; expected info or import";
        return 0;
    }
    if (o->command == Command::export_history) {
        if (o->file.empty()) {
            *error = "export needs a FILE";
            return 0;
        }
        if (o->all == (!o->from.empty() || !o->to.empty())) {
            *error = o->all ? "--all goes without --from and --to"
                            : "export needs --all, or --from Y-M-D and --to Y-M-D";
            return 0;
        }
        if (!o->all && (o->from.empty() || o->to.empty())) {
            *error = "export needs both --from Y-M-D and --to Y-M-D";
            return 0;
        }
    }
    return 1;
}

int parse_data_sets(const std::string &list, int data_set[15], std::string *error)
{
    for (int i = 0; i < 15; ++i)
        data_set[i] = list.empty();
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string name = list.substr(start, end - start);
        int found = -1;
        for (int i = 0; i < 15; ++i)
            if (name == set_names[i])
                found = i;
        if (found < 0) {
            *error = "--sets: unknown data set \"" + name +
                     "\"; expected pressure, indoor, outdoor, rain, uv, wind, dew-point, "
                     "heat-index or ch1 .. ch7";
            return 0;
        }
        data_set[found] = 1;
        start = end + 1;
    }
    return 1;
}
