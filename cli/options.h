// The command line of `nimbrel`: a command, then options. Unit options
// have the configuration's names (--temperature=F) and override it.
#pragma once
#include <string>
#include <vector>

enum class Command { none, live, export_history, run, clock, catch_up, archive, serve, setup, version };

struct Options {
    Command command = Command::none;
    int help = 0;                            // --help: command_help(command)
    int watch = 0, json = 0;                 // live
    int all = 0, utf8 = 0;                   // export
    std::string from, to, sets, file;        // export
    int from_archive = 0;                    // export --archive
    std::string archive_action;              // archive info
    std::vector<std::string> files;          // archive import FILE...
    std::string archive_file;                // --archive=PATH
    int simulate = 0;
    std::string scenario;                    // --simulate=FILE
    std::string upload_server;               // HOST:PORT
    std::string config_file;                 // --config=FILE
    std::string http;                        // --http=ADDRESS:PORT (serve, run)
    std::vector<std::string> settings;       // "name = value" lines from unit options
};

// 0 with a message in `error` for a usage error.
int parse_options(int argc, const char *const *argv, Options *options, std::string *error);

// The 15 data-set flags of a --sets list ("pressure,indoor,ch1"); every set
// when the list is empty. 0 with a message for an unknown name.
int parse_data_sets(const std::string &list, int data_set[15], std::string *error);

// What `nimbrel --help` prints: every command and the options they share.
std::string usage_text();

// What `nimbrel COMMAND --help` prints; the usage text for Command::none.
std::string command_help(Command command);
