#include "cli/setup.h"

#include <hidapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "cli/config.h"
#include "cli/options.h"
#include "cli/platform.h"
#include "common/split.h"
#include "console/hid_port.h"
#include "web/server.h"

namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;  // in the order given

const char default_http[] = "127.0.0.1:8470";

int blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Where `name`'s line starts and ends in the text (the end without its
// newline); `commented` asks for a "#name =" line instead.
int find_setting(const std::string &text, const std::string &name, bool commented,
                 std::size_t *begin, std::size_t *end)
{
    for (std::size_t at = 0; at < text.size();) {
        std::size_t stop = text.find('\n', at);
        if (stop == std::string::npos)
            stop = text.size();
        std::size_t c = at;
        while (c < stop && blank(text[c]))
            ++c;
        if (commented && c < stop && text[c] == '#')
            ++c;
        else if (commented)
            c = stop;
        if (text.compare(c, name.size(), name) == 0) {
            c += name.size();
            while (c < stop && blank(text[c]))
                ++c;
            if (c < stop && text[c] == '=') {
                *begin = at;
                *end = stop;
                return 1;
            }
        }
        at = stop + 1;
    }
    return 0;
}

std::string trimmed(const std::string &s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool is_key(const std::string &name)
{
    return name.size() > 4 && name.compare(name.size() - 4, 4, "-key") == 0;
}

// ---- what the user asks for ---------------------------------------------

struct Request {
    Settings settings;
    std::string config_file;
    int simulate = 0;
    int help = 0;
};

void put(Settings *settings, const std::string &name, const std::string &value)
{
    for (auto &s : *settings)
        if (s.first == name) {
            s.second = value;
            return;
        }
    settings->emplace_back(name, value);
}

// 0 with a message for a usage error.
int parse_setup_options(int argc, const char *const *argv, Request *r, std::string *error)
{
    std::vector<std::string> names = {"temperature", "rain",      "pressure", "wind",
                                      "pressure-kind", "direction", "http",   "archive"};
    for (const UploadService &s : upload_services) {
        names.push_back(std::string(s.config_name) + "-id");
        names.push_back(std::string(s.config_name) + "-key");
    }
    Settings units, others;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        std::string value = eq == std::string::npos ? "" : arg.substr(eq + 1);
        if (arg == "--help" || arg == "-h") {
            r->help = 1;
            return 1;
        }
        if (name == "--simulate") {
            r->simulate = 1;
            continue;
        }
        if (name.compare(0, 2, "--") != 0) {
            *error = "setup takes no \"" + arg + "\"";
            return 0;
        }
        if (eq == std::string::npos) {
            if (i + 1 >= argc) {
                *error = name + " needs a value";
                return 0;
            }
            value = argv[++i];
        }
        const std::string bare = name.substr(2);
        if (bare == "units") {
            if (value != "metric" && value != "imperial") {
                *error = "--units: expected metric or imperial, not \"" + value + "\"";
                return 0;
            }
            const bool metric = value == "metric";
            put(&units, "temperature", metric ? "C" : "F");
            put(&units, "rain", metric ? "mm" : "in");
            put(&units, "pressure", metric ? "hPa" : "inHg");
            put(&units, "wind", metric ? "km/h" : "mph");
            continue;
        }
        if (bare == "config") {
            r->config_file = value;
            continue;
        }
        bool known = false;
        for (const std::string &n : names)
            known |= n == bare;
        if (!known) {
            *error = "unknown option \"" + arg + "\" for setup";
            return 0;
        }
        FrontEndConfig check;
        char message[CONFIG_ERROR_BYTES];
        if (!apply_config_line((bare + " = " + value).c_str(), &check, message)) {
            *error = std::string("--") + message;
            return 0;
        }
        put(&others, bare, value);
    }
    // A unit option says more than --units, wherever it stands.
    for (auto &s : others)
        put(&units, s.first, s.second);
    r->settings = units;
    return 1;
}

// ---- the terminal -------------------------------------------------------

int on_terminal() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

// One line typed after `question`; `hidden` keeps it off the screen.
std::string ask(const std::string &question, bool hidden = false)
{
    std::printf("%s", question.c_str());
    std::fflush(stdout);
    termios before = {};
    const bool quiet = hidden && tcgetattr(STDIN_FILENO, &before) == 0;
    if (quiet) {
        termios off = before;
        off.c_lflag &= static_cast<tcflag_t>(~ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &off);
    }
    char line[256] = "";
    if (!std::fgets(line, sizeof line, stdin))
        line[0] = '\0';
    if (quiet) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
        std::printf("\n");
    }
    return trimmed(std::string(line, std::strcspn(line, "\n")));
}

bool given(const Settings &settings, const std::string &name)
{
    for (const auto &s : settings)
        if (s.first == name)
            return true;
    return false;
}

// The questions for whatever the options left open, until each answer is
// one the configuration takes.
void ask_for_the_rest(Settings *settings)
{
    std::printf("A few questions for your station (Enter keeps what is in brackets).\n");
    if (!given(*settings, "temperature") && !given(*settings, "rain") &&
        !given(*settings, "pressure") && !given(*settings, "wind")) {
        for (;;) {
            const std::string units = ask("Units, metric or imperial [metric]: ");
            if (units.empty() || units == "metric")
                break;
            if (units == "imperial") {
                put(settings, "temperature", "F");
                put(settings, "rain", "in");
                put(settings, "pressure", "inHg");
                put(settings, "wind", "mph");
                break;
            }
        }
    }
    for (const UploadService &s : upload_services) {
        const std::string id = std::string(s.config_name) + "-id";
        const std::string key = std::string(s.config_name) + "-key";
        if (given(*settings, id) || given(*settings, key))
            continue;
        const std::string typed = ask(std::string(s.shown_name) + " station ID (Enter: none): ");
        if (typed.empty())
            continue;
        put(settings, id, typed);
        put(settings, key, ask(std::string(s.shown_name) + " key: ", true));
    }
    while (!given(*settings, "http")) {
        const std::string typed = ask(std::string("The web page's address, or 0.0.0.0:8470 for "
                                                  "the whole local network [") +
                                      default_http + "]: ");
        std::string address;
        int port = 0;
        if (typed.empty())
            put(settings, "http", default_http);
        else if (parse_http_address(typed, &address, &port))
            put(settings, "http", typed);
    }
}

// ---- the file -----------------------------------------------------------

int read_text(const std::string &path, std::string *text)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return 0;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && text->size() < (1u << 20))
        text->append(chunk, got);
    std::fclose(file);
    return 1;
}

int make_folders(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
            return 0;
    return 1;
}

// Written whole beside its name and renamed, readable by the user alone
// from the first byte: it may hold the services' keys.
int write_private(const std::string &path, const std::string &text)
{
    if (!make_folders(path))
        return 0;
    std::string temporary;
    std::FILE *file = create_temporary_beside(path.c_str(), temporary);
    if (!file)
        return 0;
    const int ok = fchmod(fileno(file), 0600) == 0 &&
                   std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                   std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    if (std::fclose(file) != 0 || !ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        unlink(temporary.c_str());
        errno = saved;
        return 0;
    }
    return 1;
}

// The text with every requested setting in it, and each service that has
// both an ID and a key now switched on.
std::string applied(std::string text, const Settings &settings)
{
    for (const auto &s : settings)
        text = with_setting(text, s.first, s.second);
    for (const UploadService &s : upload_services) {
        const std::string base = s.config_name;
        std::string id, key;
        if ((given(settings, base + "-id") || given(settings, base + "-key")) &&
            setting_in(text, base + "-id", &id) && !id.empty() &&
            setting_in(text, base + "-key", &key) && !key.empty())
            text = with_setting(text, base, "on");
    }
    return text;
}

// "name: old -> new" for each setting the new text holds otherwise; keys
// are not shown.
std::vector<std::string> differences(const std::string &before, const std::string &after,
                                     const Settings &settings)
{
    std::vector<std::string> names;
    for (const auto &s : settings)
        names.push_back(s.first);
    for (const UploadService &s : upload_services)
        names.push_back(s.config_name);
    std::vector<std::string> out;
    for (const std::string &name : names) {
        std::string was, now;
        const int had = setting_in(before, name, &was);
        setting_in(after, name, &now);
        if (had && was == now)
            continue;
        if (!had && now.empty())
            continue;
        if (is_key(name))
            out.push_back(name + ": a new key");
        else
            out.push_back(name + ": " + (had ? was.empty() ? "(empty)" : was : "(not set)") +
                          " -> " + (now.empty() ? "(empty)" : now));
    }
    return out;
}

// ---- the service --------------------------------------------------------

// Runs PROGRAM ARGUMENTS... (no shell); its exit status, 127 when it
// cannot be started.
int run_program(const std::vector<std::string> &words)
{
    std::vector<char *> argv;
    for (const std::string &w : words)
        argv.push_back(const_cast<char *>(w.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0)
        return 127;
    if (child == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return 127;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

const char *program_from(const char *variable, const char *fallback)
{
    const char *set = std::getenv(variable);
    return set && *set ? set : fallback;
}

void start_service(const std::string &user, bool restart)
{
    const std::string systemctl = program_from("NIMBREL_SYSTEMCTL", "systemctl");
    const std::string loginctl = program_from("NIMBREL_LOGINCTL", "loginctl");
    const int enabled = run_program({systemctl, "--user", "enable", "--now", "nimbrel.service"}) == 0 &&
                        (!restart || run_program({systemctl, "--user", "restart", "nimbrel.service"}) == 0);
    const int lingers = enabled && run_program({loginctl, "enable-linger", user}) == 0;
    if (enabled && lingers) {
        std::printf("The service runs (nimbrel run), now and after every start of this machine, "
                    "whether anyone is logged in or not.\n"
                    "  Its log: journalctl --user -u nimbrel\n");
        return;
    }
    std::printf("%s\n"
                "  Run these later, as %s on this machine, to start it:\n"
                "    systemctl --user enable --now nimbrel\n"
                "    loginctl enable-linger %s\n",
                enabled ? "The service runs, but it stops when you log out: lingering could not "
                          "be switched on."
                        : "The service is not started: no service manager answered.",
                user.c_str(), user.c_str());
}

// ---- the console --------------------------------------------------------

// 1 when `user` is in `group` of the group file (its member list or its
// primary group); -1 when the file has no such group.
int in_group(const std::string &group_file, const char *group, const passwd *user)
{
    std::string text;
    if (!read_text(group_file, &text))
        return -1;
    for (const std::string &line : split_list(text, '\n')) {
        // name:password:gid:member,member
        const std::size_t a = line.find(':'), b = line.find(':', a + 1),
                          c = line.find(':', b + 1);
        if (a == std::string::npos || b == std::string::npos || c == std::string::npos ||
            line.substr(0, a) != group)
            continue;
        if (std::strtoul(line.c_str() + b + 1, nullptr, 10) == user->pw_gid)
            return 1;
        for (const std::string &member : split_list(line.substr(c + 1), ','))
            if (member == user->pw_name)
                return 1;
        return 0;
    }
    return -1;
}

bool rule_installed()
{
    const char *seam = std::getenv("NIMBREL_UDEV_RULE");
    if (seam && *seam)
        return access(seam, R_OK) == 0;
    for (const char *p : {"/etc/udev/rules.d/70-nimbrel.rules", "/usr/lib/udev/rules.d/70-nimbrel.rules",
                          "/lib/udev/rules.d/70-nimbrel.rules"})
        if (access(p, R_OK) == 0)
            return true;
    return false;
}

// What stands between the user and the console, from a plugged-in console
// that opens down to a missing rule or group.
void check_console(const passwd *user)
{
    int found = 0, opened = 0, refused = 0;
    if (hid_init() == 0) {
        hid_device_info *list = hid_enumerate(CONSOLE_VENDOR_ID, CONSOLE_PRODUCT_ID);
        for (const hid_device_info *d = list; d && !opened; d = d->next) {
            ++found;
            if (hid_device *device = hid_open_path(d->path)) {
                hid_close(device);
                opened = 1;
            } else if (d->path && access(d->path, R_OK | W_OK) != 0 && errno == EACCES) {
                refused = 1;
            }
        }
        hid_free_enumeration(list);
        hid_exit();
    }
    const bool rule = rule_installed();
    const int member = in_group(program_from("NIMBREL_GROUP_FILE", "/etc/group"), "plugdev", user);
    if (opened)
        std::printf("Console: plugged in, and this user can open it.\n");
    else if (refused)
        std::printf("Console: plugged in, but this user may not open it.\n");
    else if (found)
        std::printf("Console: plugged in, but it cannot be opened (is another program using it?).\n");
    else
        std::printf("Console: not plugged in. Plug it in: the service finds it within seconds.\n");
    if (!rule)
        std::printf("  The console's udev rule is missing, so only root may open it. Install the "
                    "nimbrel package again (or, from the sources, sudo install -m 644 "
                    "packaging/linux/70-nimbrel.rules /etc/udev/rules.d/), then plug the "
                    "console in again.\n");
    if (member < 0)
        std::printf("  This machine has no plugdev group: sudo groupadd --system plugdev && "
                    "sudo adduser %s plugdev, then plug the console in again.\n",
                    user->pw_name);
    else if (!member)
        std::printf("  %s is not in the plugdev group, which the service needs while nobody is "
                    "logged in at the machine: sudo adduser %s plugdev, then plug the console "
                    "in again.\n",
                    user->pw_name, user->pw_name);
}

void print_address(const std::string &text)
{
    std::string http, address;
    int port = 0;
    if (!setting_in(text, "http", &http) || !parse_http_address(http, &address, &port)) {
        std::printf("The service serves no web page: set http = %s in the configuration "
                    "(or run nimbrel serve).\n",
                    default_http);
        return;
    }
    if (address == "0.0.0.0" || address == "::") {
        char host[256] = "localhost";
        gethostname(host, sizeof host - 1);
        address = host;
    } else if (address.find(':') != std::string::npos) {
        address = "[" + address + "]";
    }
    std::printf("The web page: http://%s:%d/\n", address.c_str(), port);
}

} // namespace

std::string with_setting(const std::string &text, const std::string &name,
                         const std::string &value)
{
    std::size_t begin = 0, end = 0;
    const std::string line = value.empty() ? name + " =" : name + " = " + value;
    if (find_setting(text, name, false, &begin, &end) ||
        find_setting(text, name, true, &begin, &end))
        return text.substr(0, begin) + line + text.substr(end);
    const bool ends = text.empty() || text.back() == '\n';
    return text + (ends ? "" : "\n") + line + "\n";
}

int setting_in(const std::string &text, const std::string &name, std::string *value)
{
    std::size_t begin = 0, end = 0;
    if (!find_setting(text, name, false, &begin, &end))
        return 0;
    const std::string line = text.substr(begin, end - begin);
    *value = trimmed(line.substr(line.find('=') + 1));
    return 1;
}

int command_setup(int argc, const char *const *argv)
{
    Request r;
    std::string error;
    if (!parse_setup_options(argc, argv, &r, &error)) {
        std::fprintf(stderr, "nimbrel: %s\n\n%s", error.c_str(), command_help(command_named("setup")).c_str());
        return 2;
    }
    if (r.help) {
        std::fputs(command_help(command_named("setup")).c_str(), stdout);
        return 0;
    }
    // The station is a user service: a configuration and a service of root's
    // would run it as root, and leave the user's own unset.
    if (geteuid() == 0) {
        std::fprintf(stderr, "nimbrel: setup is not for root: run it as the user who keeps the "
                             "station, without sudo (it asks for nothing that needs root)\n");
        return 1;
    }
    const passwd *user = getpwuid(getuid());
    if (!user) {
        std::fprintf(stderr, "nimbrel: this user has no name on this machine\n");
        return 1;
    }
    const std::string path = r.config_file.empty() ? default_config_path() : r.config_file;
    std::string before;
    const int exists = read_text(path, &before);
    if (!exists && errno != ENOENT) {
        std::fprintf(stderr, "nimbrel: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }

    bool changed = false;
    std::string text = before;
    if (!exists) {
        if (on_terminal())
            ask_for_the_rest(&r.settings);
        else if (!given(r.settings, "http"))
            put(&r.settings, "http", default_http);
        text = applied(example_configuration, r.settings);
        changed = true;
    } else {
        FrontEndConfig config;
        int line = 0;
        char message[CONFIG_ERROR_BYTES];
        if (!apply_config_text(before.data(), before.size(), &config, &line, message)) {
            std::fprintf(stderr, "%s:%d: %s\nnimbrel: mend that line (or move the file away) and "
                                 "run setup again\n",
                         path.c_str(), line, message);
            return 1;
        }
        const std::string after = applied(before, r.settings);
        const std::vector<std::string> changes = differences(before, after, r.settings);
        if (changes.empty()) {
            std::printf("%s is kept as it is.\n", path.c_str());
        } else {
            std::printf("%s is there already. These options would change it:\n", path.c_str());
            for (const std::string &c : changes)
                std::printf("  %s\n", c.c_str());
            if (!on_terminal()) {
                std::printf("Nothing changed: run setup on a terminal to be asked, or edit the "
                            "file.\n");
                return 1;
            }
            const std::string yes = ask("Change them? [y/N] ");
            if (yes == "y" || yes == "Y" || yes == "yes") {
                text = after;
                changed = true;
            } else {
                std::printf("Nothing changed.\n");
            }
        }
    }
    if (changed) {
        FrontEndConfig config;
        int line = 0;
        char message[CONFIG_ERROR_BYTES];
        if (!apply_config_text(text.data(), text.size(), &config, &line, message)) {
            std::fprintf(stderr, "nimbrel: the configuration would read, at line %d: %s\n", line,
                         message);
            return 2;
        }
        if (!write_private(path, text)) {
            std::fprintf(stderr, "nimbrel: cannot write %s: %s\n", path.c_str(),
                         std::strerror(errno));
            return 1;
        }
        std::printf("%s %s (only you may read it).\n", exists ? "Changed" : "Wrote", path.c_str());
    }
    start_service(user->pw_name, changed && exists);
    if (r.simulate)
        std::printf("Console: the simulated one, nothing to check.\n");
    else
        check_console(user);
    print_address(text);
    return 0;
}
