#include "cli/options.h"

#include <cctype>
#include <cstring>

namespace {

// The commands in the order the usage text lists them: a new command is a
// row here. `summary` is what the usage text says of it (its lines split by
// '\n'), `options` its own options for `nimbrel COMMAND --help`, one a line
// so that shell completion finds each.
struct Command_entry {
    const char *name;
    Command command;
    const char *synopsis;
    const char *summary;
    const char *options;
};
const Command_entry commands[] = {
    {"live", Command::live, "[--watch] [--json]",
     "the current readings in your units; --watch prints\n"
     "every new record, --json one JSON object per record",
     "  --watch                     prints every new record until Ctrl-C\n"
     "  --json                      one JSON object per record, missing readings null\n"},
    {"export", Command::export_history,
     "[--archive] (--all | --from Y-M-D --to Y-M-D) [--sets LIST] [--utf8] FILE",
     "downloads the history (or reads the archive) and writes\n"
     "FILE (.csv or .xls), UTF-16 as on Windows, or UTF-8",
     "  --archive                   reads the archive instead of the console\n"
     "  --all                       the whole history\n"
     "  --from Y-M-D                the first day of the period\n"
     "  --to Y-M-D                  the last day of the period\n"
     "  --sets LIST                 data sets, comma-separated: pressure, indoor, outdoor,\n"
     "                              rain, uv, wind, dew-point, heat-index, ch1 .. ch7\n"
     "  --utf8                      UTF-8 with one-line titles instead of UTF-16\n"},
    {"run", Command::run, "",
     "stays connected: answers the clock request, uploads,\n"
     "catches up, publishes, reconnects; ends on SIGTERM or SIGINT",
     "  --http=ADDRESS:PORT         serves the web page too, at this address\n"
     "  --mqtt=HOST[:PORT]          publishes the readings to this MQTT broker\n"
     "  --mqtt-user=NAME            the broker's login\n"
     "  --mqtt-password=WORD        its password (better kept in the configuration)\n"
     "  --mqtt-tls=on|off           TLS to the broker\n"
     "  --mqtt-ca=FILE              the certificate authority that checks the broker\n"
     "  --mqtt-topic=TOPIC          the station's topic (nimbrel)\n"
     "  --mqtt-discovery=on|off     Home Assistant discovery configs (on)\n"
     "  --mqtt-discovery-prefix=PREFIX\n"
     "                              where Home Assistant looks for them (homeassistant)\n"},
    {"clock", Command::clock, "", "sets the console's clock from this machine's now", ""},
    {"catch-up", Command::catch_up, "", "downloads the history into the archive", ""},
    {"archive", Command::archive, "(info | import FILE...)",
     "info: the archive's records, interval and gaps;\n"
     "import: brings export files (either encoding, any\n"
     "units) into the archive",
     ""},
    {"serve", Command::serve, "[--http=ADDRESS:PORT]",
     "the web page of the live readings and the archive's\n"
     "charts (127.0.0.1:8470 unless set); ends on SIGTERM",
     "  --http=ADDRESS:PORT         where the page listens\n"},
    {"setup", Command::setup, "[--units=metric|imperial] [--SERVICE-id=ID --SERVICE-key=KEY]",
     "writes your configuration, starts the service and\n"
     "checks the console: the step after installing",
     "  --units=metric|imperial     the units (the unit options below say more)\n"
     "  --wunderground-id=ID        the Weather Underground station and its key\n"
     "  --wunderground-key=KEY\n"
     "  --weathercloud-id=ID        the Weathercloud station and its key\n"
     "  --weathercloud-key=KEY\n"
     "  --http=ADDRESS:PORT         where the service's web page listens (127.0.0.1:8470)\n"},
};

const char common_options[] =
    "  --simulate[=FILE]           the simulated console (a scenario file, or its weather)\n"
    "  --upload-server=HOST:PORT   every upload to this server instead of the services\n"
    "  --config=FILE               instead of $XDG_CONFIG_HOME/nimbrel/nimbrel.conf\n"
    "  --archive=PATH              instead of $XDG_DATA_HOME/nimbrel/archive.sqlite\n"
    "  --temperature=C|F           these six override the configuration's units\n"
    "  --rain=mm|in\n"
    "  --pressure=hPa|mmHg|inHg\n"
    "  --wind=mph|m/s|km/h|knots\n"
    "  --pressure-kind=relative|absolute\n"
    "  --direction=compass|degrees\n"
    "  --help                      what the command does and its options\n";

const char exit_status[] =
    "Exit status: 0 done, 1 the console or a file failed, 2 usage or configuration error.\n";

// "  NAME SYNOPSIS" with TEXT beside it from column 30, or below it when the
// two do not fit on one line; TEXT's further lines indented alike.
std::string two_columns(const std::string &head, const char *text)
{
    const std::size_t column = 28;
    std::string out = "  " + head;
    if (*text) {
        if (head.size() + 1 < column)
            out.append(column - head.size(), ' ');
        else
            out += "\n" + std::string(column + 2, ' ');
        for (const char *c = text; *c; ++c) {
            out += *c;
            if (*c == '\n')
                out.append(column + 2, ' ');
        }
    }
    return out + "\n";
}

std::string name_and_synopsis(const Command_entry &c)
{
    return *c.synopsis ? std::string(c.name) + " " + c.synopsis : std::string(c.name);
}

const Command_entry *entry_of(Command command)
{
    for (const Command_entry &c : commands)
        if (c.command == command)
            return &c;
    return nullptr;
}

} // namespace

std::string usage_text()
{
    std::string out = "Usage: nimbrel COMMAND [OPTIONS]\n"
                      "       nimbrel COMMAND --help\n"
                      "       nimbrel --version\n"
                      "\n"
                      "Commands:\n";
    for (const Command_entry &c : commands)
        out += two_columns(name_and_synopsis(c), c.summary);
    return out + "\nOptions of every command:\n" + common_options + "\n" + exit_status;
}

std::string command_help(Command command)
{
    const Command_entry *c = entry_of(command);
    if (!c)
        return usage_text();
    std::string out = "Usage: nimbrel " + name_and_synopsis(*c) + " [OPTIONS]\n\n";
    std::string summary = c->summary;
    summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
    out += summary + ".\n\nOptions:\n" + c->options + common_options + "\n" + exit_status;
    return out;
}

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

} // namespace

int parse_options(int argc, const char *const *argv, Options *o, std::string *error)
{
    *o = Options{};
    if (argc < 2) {
        *error = "no command given";
        return 0;
    }
    const std::string first = argv[1];
    if (first == "--version") {
        o->command = Command::version;
        return 1;
    }
    // `nimbrel help [COMMAND]` as `nimbrel [COMMAND] --help`.
    const int help_first = first == "help" || first == "--help" || first == "-h";
    const char *name = help_first && argc > 2 ? argv[2] : argv[1];
    if (help_first)
        o->help = 1;
    for (const Command_entry &c : commands)
        if (name == std::string(c.name))
            o->command = c.command;
    if (help_first && (argc == 2 || o->command != Command::none))
        return 1;
    if (o->command == Command::none) {
        *error = std::string("unknown command \"") + name + "\"";
        return 0;
    }
    // --help anywhere after the command shows its help, whatever else is there.
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            o->help = 1;
            return 1;
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
