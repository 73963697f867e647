#include "archive/lock_holder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// A process's program name, with its command word when it has one
// ("nimbrel run"), not its files.
std::string process_name(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string words[2];
    std::istringstream parts(all);
    for (std::string &w : words)
        std::getline(parts, w, '\0');
    const std::size_t slash = words[0].rfind('/');
    std::string name = slash == std::string::npos ? words[0] : words[0].substr(slash + 1);
    if (!words[1].empty() && words[1].find_first_of("-/.=") == std::string::npos)
        name += " " + words[1];
    return name.empty() ? "a process" : name;
}

} // namespace

// The kernel lists every lock with its owner and the file's device and
// inode: the archive's own locks and those of its -wal and -shm files.
std::string archive_lock_holder(const std::string &path, const char *kind_wanted)
{
    std::string inodes[3];
    const char *suffix[3] = {"", "-wal", "-shm"};
    for (int i = 0; i < 3; ++i) {
        struct stat st = {};
        if (stat((path + suffix[i]).c_str(), &st) == 0)
            inodes[i] = std::string(1, ':') +
                        std::to_string(static_cast<unsigned long long>(st.st_ino));
    }
    std::ifstream locks("/proc/locks");
    std::string line;
    const long self = static_cast<long>(getpid());
    while (std::getline(locks, line)) {
        // "1: POSIX  ADVISORY  WRITE 1234 08:01:5678 120 120"
        std::istringstream fields(line);
        std::string number, kind, mode, access, device;
        long pid = 0;
        if (!(fields >> number >> kind >> mode >> access >> pid >> device) || pid == self ||
            (kind_wanted && kind != kind_wanted))
            continue;
        for (const std::string &inode : inodes)
            if (!inode.empty() && device.size() > inode.size() &&
                device.compare(device.size() - inode.size(), inode.size(), inode) == 0)
                return process_name(pid) + " (process " + std::to_string(pid) + ")";
    }
    return "";
}
