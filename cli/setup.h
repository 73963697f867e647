// `nimbrel setup`: from an installed package to a running station. Writes
// the user's configuration from the example built into the program, with
// the units, services and web address given as options or answered on a
// terminal; enables the user service and lingering; says whether the
// console can be opened and what to do when it cannot; prints the page's
// address. A configuration already there is changed only when the user
// says yes on a terminal.
#pragma once
#include <string>

// The example configuration, packaging/linux/nimbrel.conf, compiled in.
extern const char example_configuration[];

// The whole command from its own argv (argv[1] is "setup"); the exit status.
int command_setup(int argc, const char *const *argv);

// The text with setting `name` set to `value`: its line replaced (a
// commented-out "#name =" line when it has none), else a line appended.
std::string with_setting(const std::string &text, const std::string &name,
                         const std::string &value);

// 1 with its value when the text sets `name` on a line of its own.
int setting_in(const std::string &text, const std::string &name, std::string *value);
