#include "archive/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "archive/lock_holder.h"

// A whole-file flock, apart from SQLite's byte-range locks on the same file.
// The descriptor stays open until the end of run: closing one of a file's
// descriptors would drop SQLite's own locks on it in this process.
int run_lock_take(const std::string &path, int *handle, std::string *error)
{
    *handle = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (*handle < 0)
        return 1;
    if (flock(*handle, LOCK_EX | LOCK_NB) == 0)
        return 1;
    const int why = errno;
    close(*handle);
    *handle = -1;
    if (why != EWOULDBLOCK)
        return 1;
    const std::string holder = archive_lock_holder(path, "FLOCK");
    *error = "the archive " + path + " is kept by " + (holder.empty() ? "another nimbrel run" : holder) +
             "; one run per archive";
    return 0;
}

void run_lock_release(int handle)
{
    if (handle >= 0)
        close(handle);
}
