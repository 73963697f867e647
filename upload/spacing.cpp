#include "upload/spacing.h"

int wc_slot_open(const WcSpacing &spacing, std::uint32_t now)
{
    return static_cast<std::uint32_t>(now - spacing.last_tick) > WC_SPACING_MS;
}

void wc_upload_begun(WcSpacing &spacing, std::uint32_t now)
{
    spacing.last_tick = now;
}

int await_wc_slot(const WcSpacing &spacing, const UploadClock &clock, std::uint32_t *start)
{
    for (int check = 0; check < WC_SPACING_CHECKS; ++check) {
        const std::uint32_t now = clock.tick(clock.context);
        if (wc_slot_open(spacing, now)) {
            *start = now;
            return 1;
        }
        clock.pause(clock.context, WC_CHECK_PAUSE_MS);
    }
    return 0;
}
