#include "cli/options.h"

#include <cctype>
#include <cstring>

#include "cli/config.h"
#include "common/split.h"
#include "report/climate_report.h"

struct FrontEnd;
int command_live(FrontEnd &f);
int command_export(FrontEnd &f);
int command_run(FrontEnd &f);
int command_clock(FrontEnd &f);
int command_catch_up(FrontEnd &f);
int command_archive(FrontEnd &f);
int command_serve(FrontEnd &f);
int command_report(FrontEnd &f);

namespace {

// ---- the commands' own operands and checks ---------------------------------

int export_operand(Options &o, const std::string &word)
{
    if (!o.file.empty())
        return 0;
    o.file = word;
    return 1;
}

int export_check(Options &o, std::string *error)
{
    o.from_archive |= !o.archive_file.empty();
    if (o.file.empty()) {
        *error = "export needs a FILE";
        return 0;
    }
    if (o.all == (!o.from.empty() || !o.to.empty())) {
        *error = o.all ? "--all goes without --from and --to"
                       : "export needs --all, or --from Y-M-D and --to Y-M-D";
        return 0;
    }
    if (!o.all && (o.from.empty() || o.to.empty())) {
        *error = "export needs both --from Y-M-D and --to Y-M-D";
        return 0;
    }
    return 1;
}

// `archive ACTION`, and the files of `archive import`.
int archive_operand(Options &o, const std::string &word)
{
    if (o.archive_action.empty())
        o.archive_action = word;
    else if (o.archive_action == "import")
        o.files.push_back(word);
    else
        return 0;
    return 1;
}

int archive_check(Options &o, std::string *error)
{
    if (o.archive_action == "info" || o.archive_action == "import")
        return 1;
    *error = o.archive_action.empty() ? "archive needs info or import"
                                      : "unknown archive action \"" + o.archive_action +
                                            "\"; expected info or import";
    return 0;
}
int report_operand(Options &o, const std::string &word)
{
    if (!o.report_period.empty())
        return 0;
    (o.report_kind.empty() ? o.report_kind : o.report_period) = word;
    return 1;
}
int report_check(Options &o, std::string *error)
{
    int year, month;
    if ((o.report_kind == "month" || o.report_kind == "year") &&
        parse_report_period(o.report_period, &year, &month) &&
        (month == 0) == (o.report_kind == "year"))
        return 1;
    *error = "report needs month YYYY-MM or year YYYY";
    return 0;
}

// ---- the table ---------------------------------------------------------------

const CommandOption live_options[] = {
    {"--watch", nullptr, "prints every new record until Ctrl-C", &Options::watch, nullptr},
    {"--json", nullptr, "one JSON object per record, missing readings null", &Options::json,
     nullptr},
};
const CommandOption export_options[] = {
    {"--archive", nullptr, "reads the archive instead of the console", &Options::from_archive,
     nullptr},
    {"--all", nullptr, "the whole history", &Options::all, nullptr},
    {"--from", " Y-M-D", "the first day of the period", nullptr, &Options::from},
    {"--to", " Y-M-D", "the last day of the period", nullptr, &Options::to},
    {"--sets", " LIST",
     "data sets, comma-separated: pressure, indoor, outdoor,\n"
     "rain, uv, wind, dew-point, heat-index, ch1 .. ch7",
     nullptr, &Options::sets},
    {"--utf8", nullptr, "UTF-8 with one-line titles instead of UTF-16", &Options::utf8, nullptr},
};
const CommandOption run_options[] = {
    {"--http", "=ADDRESS:PORT", "serves the web page too, at this address", nullptr,
     &Options::http},
};
const CommandOption serve_options[] = {
    {"--http", "=ADDRESS:PORT", "where the page listens", nullptr, &Options::http},
};

// Shown by setup's help only: setup reads its own argv.
const CommandOption setup_options[] = {
    {"--units", "=metric|imperial", "the units (the unit options below say more)", nullptr, nullptr},
    {"--wunderground-id", "=ID", "the Weather Underground station and its key", nullptr, nullptr},
    {"--wunderground-key", "=KEY", "", nullptr, nullptr},
    {"--weathercloud-id", "=ID", "the Weathercloud station and its key", nullptr, nullptr},
    {"--weathercloud-key", "=KEY", "", nullptr, nullptr},
    {"--http", "=ADDRESS:PORT", "where the service's web page listens (127.0.0.1:8470)", nullptr,
     nullptr},
};

#define OPTIONS(list) list, static_cast<int>(sizeof list / sizeof list[0])

// In the order the usage text lists them.
const CommandRow commands[] = {
    {"live", "[--watch] [--json]",
     "the current readings in your units; --watch prints\n"
     "every new record, --json one JSON object per record",
     OPTIONS(live_options), command_live, nullptr, nullptr},
    {"export", "[--archive] (--all | --from Y-M-D --to Y-M-D) [--sets LIST] [--utf8] FILE",
     "downloads the history (or reads the archive) and writes\n"
     "FILE (.csv or .xls), UTF-16 as on Windows, or UTF-8",
     OPTIONS(export_options), command_export, export_operand, export_check},
    {"run", "",
     "stays connected: answers the clock request, uploads,\n"
     "catches up, publishes, reconnects; ends on SIGTERM or SIGINT",
     OPTIONS(run_options), command_run, nullptr, nullptr},
    {"clock", "", "sets the console's clock from this machine's now", nullptr, 0, command_clock,
     nullptr, nullptr},
    {"catch-up", "", "downloads the history into the archive", nullptr, 0, command_catch_up,
     nullptr, nullptr},
    {"archive", "(info | import FILE...)",
     "info: the archive's records, interval and gaps;\n"
     "import: brings export files (either encoding, any\n"
     "units) into the archive",
     nullptr, 0, command_archive, archive_operand, archive_check},
    {"report", "(month YYYY-MM | year YYYY)",
     "the climate summary of a month (a row per day) or of a\n"
     "year (a row per month) from the archive, in your units",
     nullptr, 0, command_report, report_operand, report_check},
    {"serve", "[--http=ADDRESS:PORT]",
     "the web page of the live readings and the archive's\n"
     "charts (127.0.0.1:8470 unless set); ends on SIGTERM",
     OPTIONS(serve_options), command_serve, nullptr, nullptr},
    // main hands setup its own argv before any of this table's parsing:
    // it takes the settings themselves as options.
    {"setup", "[--units=metric|imperial] [--SERVICE-id=ID --SERVICE-key=KEY]",
     "writes your configuration, starts the service and\n"
     "checks the console: the step after installing",
     OPTIONS(setup_options), nullptr, nullptr, nullptr},
};

#undef OPTIONS

// The options every command takes before the settings' own.
const char common_options[] =
    "  --simulate[=FILE]           the simulated console (a scenario file, or its weather)\n"
    "  --upload-server=HOST:PORT   every upload to this server instead of the services\n"
    "  --aprs-server=HOST:PORT     CWOP's APRS-IS session with this server instead\n"
    "  --config=FILE               instead of $XDG_CONFIG_HOME/nimbrel/nimbrel.conf\n"
    "  --archive=PATH              instead of $XDG_DATA_HOME/nimbrel/archive.sqlite\n";

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

std::string name_and_synopsis(const CommandRow &c)
{
    return *c.synopsis ? std::string(c.name) + " " + c.synopsis : std::string(c.name);
}

// The settings that `command` lists as options ("" for every command's).
std::string setting_options(const char *command)
{
    std::string out;
    for (const SettingRow &s : settings_list())
        if (s.option_of && std::strcmp(s.option_of, command) == 0)
            out += two_columns(std::string("--") + s.name + "=" + s.values, s.help);
    return out;
}

std::string shared_options()
{
    return common_options + setting_options("") +
           "  --help                      what the command does and its options\n";
}

} // namespace

const CommandRow *command_named(const std::string &name)
{
    for (const CommandRow &c : commands)
        if (name == c.name)
            return &c;
    return nullptr;
}

std::string usage_text()
{
    std::string out = "Usage: nimbrel COMMAND [OPTIONS]\n"
                      "       nimbrel COMMAND --help\n"
                      "       nimbrel --version\n"
                      "\n"
                      "Commands:\n";
    for (const CommandRow &c : commands)
        out += two_columns(name_and_synopsis(c), c.summary);
    return out + "\nOptions of every command:\n" + shared_options() + "\n" + exit_status;
}

std::string command_help(const CommandRow *c)
{
    if (!c)
        return usage_text();
    std::string out = "Usage: nimbrel " + name_and_synopsis(*c) + " [OPTIONS]\n\n";
    std::string summary = c->summary;
    summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
    out += summary + ".\n\nOptions:\n";
    for (int i = 0; i < c->option_count; ++i) {
        const CommandOption &option = c->options[i];
        out += two_columns(std::string(option.name) + (option.value ? option.value : ""),
                           option.help);
    }
    out += setting_options(c->name);
    return out + shared_options() + "\n" + exit_status;
}

std::string command_list()
{
    std::string out;
    for (const CommandRow &c : commands)
        out += name_and_synopsis(c) + "\n";
    return out;
}

namespace {

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
        o->version = 1;
        return 1;
    }
    // Hidden: the tables as the scripts that check the manual page read them.
    if (first == "--list-commands" || first == "--list-settings") {
        o->list = first == "--list-commands" ? 1 : 2;
        return 1;
    }
    // `nimbrel help [COMMAND]` as `nimbrel [COMMAND] --help`.
    const int help_first = first == "help" || first == "--help" || first == "-h";
    const char *name = help_first && argc > 2 ? argv[2] : argv[1];
    if (help_first)
        o->help = 1;
    o->command = command_named(name);
    if (help_first && (argc == 2 || o->command))
        return 1;
    if (!o->command) {
        *error = std::string("unknown command \"") + name + "\"";
        return 0;
    }
    const CommandRow &command = *o->command;
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
        if (name == "--simulate") {
            o->simulate = 1;
            o->scenario = value;
            if (has_value && value.empty()) {
                *error = "--simulate= needs a scenario file";
                return 0;
            }
            continue;
        }
        if (name == "--upload-server" || name == "--config" || name == "--aprs-server") {
            if (!take(name == "--config"          ? &o->config_file
                      : name == "--aprs-server"   ? &o->aprs_server
                                                  : &o->upload_server))
                return 0;
            continue;
        }
        if (name == "--archive" && has_value) {
            if (value.empty()) {
                *error = "--archive= needs a file name";
                return 0;
            }
            o->archive_file = value;
            continue;
        }
        const CommandOption *own = nullptr;
        for (int k = 0; k < command.option_count; ++k) {
            const CommandOption &option = command.options[k];
            if (option.flag ? arg == option.name : name == option.name)
                own = &option;
        }
        if (own) {
            if (own->flag)
                o->*own->flag = 1;
            else if (!take(&(o->*own->text)))
                return 0;
            continue;
        }
        if (command.operand && !arg.empty() && arg[0] != '-' && command.operand(*o, arg))
            continue;
        // A setting given as an option, by any command.
        const SettingRow *setting =
            has_value && name.compare(0, 2, "--") == 0 ? setting_named(name.substr(2)) : nullptr;
        if (!setting || !setting->option_of) {
            *error = "unknown option \"" + arg + "\" for " + argv[1];
            return 0;
        }
        o->settings.push_back(setting->name + std::string(" = ") + value);
    }
    return !command.check || command.check(*o, error);
}

int parse_data_sets(const std::string &list, int data_set[15], std::string *error)
{
    for (int i = 0; i < 15; ++i)
        data_set[i] = list.empty();
    for (const std::string &name : split_list(list, ',')) {
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
    }
    return 1;
}
