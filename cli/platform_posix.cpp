#include "cli/platform.h"

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "history/temporary_file.h"

namespace {
volatile sig_atomic_t stop_flag = 0;
constexpr unsigned TEMPORARY_TRIES = 100;

void on_stop_signal(int) { stop_flag = 1; }
} // namespace

void install_stop_signals()
{
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A closed pipe on standard output ends the program through a failed
    // write, not a signal that skips its clean-up.
    signal(SIGPIPE, SIG_IGN);
    // A file size limit likewise fails the write (and the export says so)
    // instead of killing the program over a cut file.
    signal(SIGXFSZ, SIG_IGN);
}

int stop_requested() { return stop_flag != 0; }

int stderr_is_terminal() { return isatty(STDERR_FILENO); }

std::string default_config_path()
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/nimbrel/nimbrel.conf";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/nimbrel/nimbrel.conf";
}

std::string default_archive_path()
{
    const char *xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/nimbrel/archive.sqlite";
    return home_expanded("~/.local/share/nimbrel/archive.sqlite");
}

std::string home_expanded(const std::string &path)
{
    const char *home = std::getenv("HOME");
    if (path.compare(0, 2, "~/") != 0 || !home)
        return path;
    return home + path.substr(1);
}

int readable_by_others(const char *path)
{
    struct stat st = {};
    return stat(path, &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

std::FILE *create_temporary_beside(const char *path, std::string &temporary)
{
    char name[TEMPORARY_UNITS];
    const unsigned first = static_cast<unsigned>(getpid()) * 7919u + static_cast<unsigned>(time(nullptr));
    for (unsigned i = 0; i < TEMPORARY_TRIES; ++i) {
        if (!temporary_name_beside(path, false, first + i, name, TEMPORARY_UNITS)) {
            errno = ENAMETOOLONG;
            return nullptr;
        }
        // The mode a plain new file gets, as the export had before.
        const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            std::FILE *file = fdopen(fd, "wb");
            if (!file) {
                close(fd);
                unlink(name);
                return nullptr;
            }
            temporary = name;
            return file;
        }
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

void zero_releasing(void *start, std::size_t bytes)
{
    const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(start), end = first + bytes;
    const std::uintptr_t from = (first + page - 1) / page * page, to = end / page * page;
    // Private anonymous pages read as zeros once given back.
    if (to <= from || madvise(reinterpret_cast<void *>(from), to - from, MADV_DONTNEED) != 0) {
        std::memset(start, 0, bytes);
        return;
    }
    std::memset(start, 0, from - first);
    std::memset(reinterpret_cast<void *>(to), 0, end - to);
}

void release_free_heap() { malloc_trim(0); }

int sync_file(std::FILE *file)
{
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

void sync_folder_of(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    const std::string folder = !slash ? "." : slash == path ? "/" : std::string(path, slash);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Some file systems cannot sync a folder; the file itself is already safe.
    fsync(fd);
    close(fd);
}
