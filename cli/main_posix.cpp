// `nimbrel`, the Linux front end: the console's readings, history export,
// uploads and clock from the command line, on the same core as nimbrel.exe.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/archive_commands.h"
#include "cli/commands.h"
#include "cli/live_text.h"
#include "cli/platform.h"
#include "cli/serve.h"
#include "cli/setup.h"
#include "common/file_read.h"
#include "console/hid_port.h"
#include "console/sim_port.h"
#include "upload/request.h"

namespace {

// Far more than any configuration needs.
constexpr std::size_t MAX_CONFIG_BYTES = 1u << 20;

// The message, then the help of the command it concerns (the usage text
// when there is no command).
int usage_error(const std::string &message, const CommandRow *command)
{
    std::fprintf(stderr, "nimbrel: %s\n\n%s", message.c_str(), command_help(command).c_str());
    return 2;
}

// --upload-server or --aprs-server into `to`; 1 when it is HOST:PORT (or
// https://HOST:PORT, a test's TLS server) or not given (the service's own
// server then).
int server_option(const std::string &value, UploadDestination *to)
{
    char16_t text[UPLOAD_HOST_BYTES + 8];
    const std::string tls = "https://";
    to->tls = value.rfind(tls, 0) == 0;
    const std::string server = to->tls ? value.substr(tls.size()) : value;
    return value.empty() || (utf16_text(server.c_str(), text, UPLOAD_HOST_BYTES + 8) &&
                             parse_upload_server(text, to->host, &to->port));
}

// The configuration file, when there is one; a missing default file is no
// error, a missing named one is. Only a regular file is read: a FIFO
// would wait for a writer, a folder reads as nothing.
int load_config(const Options &o, FrontEndConfig *config)
{
    const std::string path = o.config_file.empty() ? default_config_path() : o.config_file;
    std::string text, why;
    if (!read_file_capped(path, MAX_CONFIG_BYTES, &text, &why)) {
        if (o.config_file.empty() && errno == ENOENT)
            return 1;
        std::fprintf(stderr, "nimbrel: cannot read %s: %s\n", path.c_str(), why.c_str());
        return 0;
    }
    int line = 0;
    char error[CONFIG_ERROR_BYTES];
    if (!apply_config_text(text.data(), text.size(), config, &line, error)) {
        std::fprintf(stderr, "%s:%d: %s\n", path.c_str(), line, error);
        return 0;
    }
    if (config_holds_key(*config) && readable_by_others(path.c_str()))
        std::fprintf(stderr,
                     "nimbrel: warning: %s holds a station key or password and others may read it "
                     "(chmod 600 %s)\n",
                     path.c_str(), path.c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    keep_heap_small();
    // setup takes the settings themselves as options: its own parser.
    if (argc > 1 && std::strcmp(argv[1], "setup") == 0)
        return command_setup(argc, argv);
    static FrontEnd f;
    std::string error;
    if (!parse_options(argc, argv, &f.options, &error))
        return usage_error(error, f.options.command);
    if (f.options.version) {
        std::printf("nimbrel %s\n", NIMBREL_VERSION);
        return 0;
    }
    if (f.options.list) {
        std::fputs((f.options.list == 1 ? command_list() : setting_list_text()).c_str(), stdout);
        return 0;
    }
    if (f.options.help) {
        std::fputs(command_help(f.options.command).c_str(), stdout);
        return 0;
    }
    if (!load_config(f.options, &f.config))
        return 2;
    int secret_shown = 0;
    for (const std::string &line : f.options.settings) {
        char message[CONFIG_ERROR_BYTES];
        if (!apply_config_line(line.c_str(), &f.config, message))
            return usage_error(std::string("--") + message, f.options.command);
        const std::string name = line.substr(0, line.find(" = "));
        const SettingRow *setting = setting_named(name);
        if (setting && setting->secret && line.size() > name.size() + 3 && !secret_shown++)
            std::fprintf(stderr,
                         "nimbrel: warning: --%s is seen by every user of this machine in its "
                         "process list; keep it in the configuration file (chmod 600)\n",
                         name.c_str());
    }
    if (!check_http_option(f))
        return 2;
    if (!server_option(f.options.upload_server, &f.destination))
        return usage_error(
            "--upload-server needs HOST:PORT, not \"" + f.options.upload_server + "\"",
            f.options.command);
    if (!server_option(f.options.aprs_server, &f.aprs) || f.aprs.tls)
        return usage_error("--aprs-server needs HOST:PORT, not \"" + f.options.aprs_server + "\"",
                           f.options.command);
    f.version = NIMBREL_VERSION;
    // The simulated console's invented weather must not reach a real station page.
    f.destination.discard = f.options.simulate && f.options.upload_server.empty();

    static SimPort sim;
    if (f.options.simulate) {
        char message[256];
        if (!sim_port_start(&sim, f.options.scenario.empty() ? nullptr : f.options.scenario.c_str(),
                            message, sizeof message)) {
            std::fprintf(stderr, "nimbrel: %s\n", message);
            return 2;
        }
        f.port = sim_station_port(&sim);
    } else {
        f.port = hid_station_port();
    }
    install_stop_signals();
    return f.options.command->run(f);
}
