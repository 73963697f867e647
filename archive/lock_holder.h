// Who holds the lock on an archive file, for the message that says so.
#pragma once
#include <string>

// "nimbrel run (process 1234)" for another process holding a lock on the
// archive or its write-ahead files; empty when none can be found. `kind`
// ("POSIX", "FLOCK") keeps to locks of that kind.
std::string archive_lock_holder(const std::string &path, const char *kind = nullptr);
