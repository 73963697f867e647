// Waiting for the console: how long one poll of it waits for a report, and
// how often one that is not there is looked for again.
#pragma once
#include <functional>

constexpr int CONSOLE_POLL_MS = 200;
constexpr int CONSOLE_RETRY_MS = 2000;

// Calls `connect` until it succeeds (1) or `stopped` says so (0), every
// CONSOLE_RETRY_MS; the pause is slept in polls' lengths so that a stop
// ends it soon. `absent`, when given, hears of each failed call.
int connect_until_stopped(const std::function<int()> &connect, int (*stopped)(),
                          const std::function<void()> &absent = nullptr);
