// Milliseconds of a clock that never goes back, for waits and spacing.
#pragma once
#include <chrono>
#include <cstdint>

inline std::int64_t steady_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
