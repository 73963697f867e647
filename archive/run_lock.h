// One `nimbrel run` per archive: two would merge two consoles' records into
// one file without a word. Readers (`serve`, exports) take no part in it.
#pragma once
#include <string>

// Holds the archive at `path` for this process until run_lock_release; 0
// with a one-line message naming the process that holds it already. An
// archive that is not there yet is not held (there is nothing to mix).
int run_lock_take(const std::string &path, int *handle, std::string *error);
void run_lock_release(int handle);
