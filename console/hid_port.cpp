#include "console/hid_port.h"

int pick_console_interface(const HidCandidate *candidates, std::size_t count)
{
    int fallback = -1;
    for (std::size_t i = 0; i < count; ++i) {
        const HidCandidate &c = candidates[i];
        if (c.vendor_id != CONSOLE_VENDOR_ID || c.product_id != CONSOLE_PRODUCT_ID)
            continue;
        if (c.usage_page == CONSOLE_USAGE_PAGE && c.usage == CONSOLE_USAGE)
            return static_cast<int>(i);
        if (c.usage_page == 0 && c.usage == 0 && fallback < 0)
            fallback = static_cast<int>(i);
    }
    return fallback;
}
