// `nimbrel`, the Linux front end: the console's readings, history export,
// uploads and clock from the command line, on the same core as nimbrel.exe.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/archive_commands.h"
#include "cli/commands.h"
#include "cli/hid_port.h"
#include "cli/live_text.h"
#include "cli/platform.h"
#include "cli/serve.h"
#include "cli/setup.h"
#include "cli/sim_port.h"

namespace {

// The message, then the help of the command it concerns (the usage text
// when there is no command).
int usage_error(const std::string &message, Command command)
{
    std::fprintf(stderr, "nimbrel: %s\n\n%s", message.c_str(), command_help(command).c_str());
    return 2;
}

// The configuration file, when there is one; a missing default file is no
// error, a missing named one is.
int load_config(const Options &o, FrontEndConfig *config)
{
    const std::string path = o.config_file.empty() ? default_config_path() : o.config_file;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (o.config_file.empty() && errno == ENOENT)
            return 1;
        std::fprintf(stderr, "nimbrel: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
        return 0;
    }
    std::string text;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && text.size() < (1u << 20))
        text.append(chunk, got);
    std::fclose(file);
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
    // setup takes the settings themselves as options: its own parser.
    if (argc > 1 && std::strcmp(argv[1], "setup") == 0)
        return command_setup(argc, argv);
    static FrontEnd f;
    std::string error;
    if (!parse_options(argc, argv, &f.options, &error))
        return usage_error(error, f.options.command);
    if (f.options.command == Command::version) {
        std::printf("nimbrel %s\n", NIMBREL_VERSION);
        return 0;
    }
    if (f.options.help) {
        std::fputs(command_help(f.options.command).c_str(), stdout);
        return 0;
    }
    if (!load_config(f.options, &f.config))
        return 2;
    for (const std::string &line : f.options.settings) {
        char message[CONFIG_ERROR_BYTES];
        if (!apply_config_line(line.c_str(), &f.config, message))
            return usage_error(std::string("--") + message, f.options.command);
    }
    if (!check_http_option(f))
        return 2;
    if (!f.options.upload_server.empty()) {
        char16_t text[UPLOAD_HOST_BYTES + 8];
        if (!utf16_text(f.options.upload_server.c_str(), text, UPLOAD_HOST_BYTES + 8) ||
            !parse_upload_server(text, f.destination.host, &f.destination.port))
            return usage_error("--upload-server needs HOST:PORT, not \"" + f.options.upload_server +
                                   "\"",
                               f.options.command);
    }
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
    switch (f.options.command) {
    case Command::live: return command_live(f);
    case Command::export_history: return command_export(f);
    case Command::run: return command_run(f);
    case Command::clock: return command_clock(f);
    case Command::serve: return command_serve(f);
    case Command::catch_up: return command_catch_up(f);
    case Command::archive: return command_archive(f);
    default: return usage_error("no command given", Command::none);
    }
}
