#include "cli/log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace {
std::mutex log_lock;
}

void log_line(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const std::time_t t = std::time(nullptr);
    char stamp[32] = "";
    if (const std::tm *local = std::localtime(&t))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", local);
    std::lock_guard<std::mutex> hold(log_lock);
    std::fprintf(stderr, "%s %s\n", stamp, text);
}
