// The command line of `nimbrel`: a command, then options. The commands are
// rows of one table, which drives the parsing, the dispatch and the help;
// settings given as options (--temperature=F) come from the settings list
// and override the configuration.
#pragma once
#include <string>
#include <vector>

struct FrontEnd;
struct CommandRow;

struct Options {
    const CommandRow *command = nullptr;     // null: none given, or --version
    int version = 0;                         // --version
    int help = 0;                            // --help: command_help(command)
    int list = 0;                            // hidden --list-commands (1), --list-settings (2)
    int watch = 0, json = 0;                 // live
    int all = 0, utf8 = 0;                   // export
    std::string from, to, sets, file;        // export
    int from_archive = 0;                    // export --archive
    std::string archive_action;              // archive info
    std::vector<std::string> files;          // archive import FILE...
    std::string report_kind, report_period;  // report month YYYY-MM | year YYYY
    std::string archive_file;                // --archive=PATH
    int simulate = 0;
    std::string scenario;                    // --simulate=FILE
    std::string upload_server;               // HOST:PORT
    std::string aprs_server;                 // HOST:PORT of CWOP's APRS-IS session
    std::string config_file;                 // --config=FILE
    std::string http;                        // --http=ADDRESS:PORT (serve, run)
    std::vector<std::string> settings;       // "name = value" lines from setting options
};

// An option of one command: a switch (`value` null) that sets `flag`, or one
// that takes a value (after '=' or as the next argument) into `text`.
struct CommandOption {
    const char *name;       // "--watch"
    const char *value;      // as the help shows it after the name: " LIST", "=ADDRESS:PORT"
    const char *help;       // lines split by '\n'
    int Options::*flag;
    std::string Options::*text;
};

// A command: a new one is a row of the table in options.cpp and a file
// with the function that runs it.
struct CommandRow {
    const char *name;
    const char *synopsis;
    const char *summary;    // what the usage text says of it, lines split by '\n'
    const CommandOption *options;
    int option_count;
    // The exit status: 0 done, 1 the console, the download or a file
    // failed, 2 a usage error.
    int (*run)(FrontEnd &f);
    // Takes a word that is not an option; 0 when the command has no place
    // for it. Null: the command takes none.
    int (*operand)(Options &o, const std::string &word);
    // The whole command line once read; 0 with a message in `error`.
    int (*check)(Options &o, std::string *error);
};

// The command of that name; null when there is none.
const CommandRow *command_named(const std::string &name);

// 0 with a message in `error` for a usage error.
int parse_options(int argc, const char *const *argv, Options *options, std::string *error);

// The 15 data-set flags of a --sets list ("pressure,indoor,ch1"); every set
// when the list is empty. 0 with a message for an unknown name.
int parse_data_sets(const std::string &list, int data_set[15], std::string *error);

// What `nimbrel --help` prints: every command and the options they share.
std::string usage_text();

// What `nimbrel COMMAND --help` prints; the usage text for no command.
std::string command_help(const CommandRow *command);

// The hidden --list-commands: a command's name and synopsis a line, for the
// scripts that hold the manual page to the table.
std::string command_list();
