#include "common/retry.h"

#include <chrono>
#include <thread>

int connect_until_stopped(const std::function<int()> &connect, int (*stopped)(),
                          const std::function<void()> &absent)
{
    while (!stopped()) {
        if (connect())
            return 1;
        if (absent)
            absent();
        for (int waited = 0; waited < CONSOLE_RETRY_MS && !stopped(); waited += CONSOLE_POLL_MS)
            std::this_thread::sleep_for(std::chrono::milliseconds(CONSOLE_POLL_MS));
    }
    return 0;
}
