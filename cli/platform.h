// What the front end needs of the system beyond standard C++: signals,
// terminals, the configuration's place and its permissions.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// SIGTERM and SIGINT only set the flag that stop_requested reads.
void install_stop_signals();
int stop_requested();

int stderr_is_terminal();

// $XDG_CONFIG_HOME/nimbrel/nimbrel.conf, or ~/.config/nimbrel/nimbrel.conf.
std::string default_config_path();

// $XDG_DATA_HOME/nimbrel/archive.sqlite, or ~/.local/share/nimbrel/archive.sqlite.
std::string default_archive_path();
// A leading "~/" made the home folder.
std::string home_expanded(const std::string &path);

// 1 when the file's mode lets its group or others read it.
int readable_by_others(const char *path);

// A new file in the folder of `path`, for something that takes `path`'s
// name only once whole; its name in `temporary`. Null, with errno set,
// when none can be made.
std::FILE *create_temporary_beside(const char *path, std::string &temporary);

// Zeroes [start, start + bytes), giving its whole pages back to the system
// rather than touching them.
void zero_releasing(void *start, std::size_t bytes);
// Gives the heap's free memory back to the system after a big job.
void release_free_heap();

// Puts what was written to `file` on the disk. 0, with errno set, when the
// disk did not take it.
int sync_file(std::FILE *file);
// Puts the folder holding `path` on the disk, so that a name just moved
// into it survives a power cut.
void sync_folder_of(const char *path);
