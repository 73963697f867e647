// Weathercloud takes at most one upload per ten minutes. A request that
// comes sooner waits, checking the clock every five seconds, for up to
// five minutes; then it is dropped.
#pragma once
#include <cstdint>

constexpr std::uint32_t WC_SPACING_MS = 600000;
constexpr int WC_SPACING_CHECKS = 60;
constexpr std::uint32_t WC_CHECK_PAUSE_MS = 5000;

// When the last Weathercloud upload began. It starts at tick 0, so the
// first ten minutes after the computer started hold uploads back as well.
struct WcSpacing {
    std::uint32_t last_tick;
};

// 1 when an upload may begin at tick `now`: more than ten minutes after the
// last one, by unsigned difference so that the 49.7-day wrap does no harm.
int wc_slot_open(const WcSpacing &spacing, std::uint32_t now);

// Notes an upload that began at `now`.
void wc_upload_begun(WcSpacing &spacing, std::uint32_t now);

// The worker's clock: milliseconds since boot, and a pause.
struct UploadClock {
    std::uint32_t (*tick)(void *context);
    void (*pause)(void *context, std::uint32_t ms);
    void *context;
};

// Up to 60 checks, each closed one followed by a 5000 ms pause. 1 with
// `*start` set to the tick of the check that found the slot open; 0 when
// all failed and the request is to be dropped.
int await_wc_slot(const WcSpacing &spacing, const UploadClock &clock, std::uint32_t *start);
