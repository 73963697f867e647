// Who holds the lock on an archive file, for the message that says so.
#pragma once
#include <string>

// "nimbrel run (process 1234)" for another process holding a lock on the
// archive or its write-ahead files; empty when none can be found.
std::string archive_lock_holder(const std::string &path);
