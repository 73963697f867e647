// The USB console through hidapi's hidraw backend. The console shows up as
// a HID device with the vendor and product below; of its interfaces, the
// one of the vendor-defined collection carries the reports.
#pragma once
#include <cstddef>

#include "console/station_port.h"

constexpr unsigned short CONSOLE_VENDOR_ID = 0x1941;
constexpr unsigned short CONSOLE_PRODUCT_ID = 0x8021;
constexpr unsigned short CONSOLE_USAGE_PAGE = 0xFF00;
constexpr unsigned short CONSOLE_USAGE = 1;

// What enumeration says of one HID interface.
struct HidCandidate {
    unsigned short vendor_id, product_id, usage_page, usage;
};

// Index of the console's report interface among `count` candidates, or -1.
// An interface that reports no usage at all (older kernels give 0 and 0)
// is taken when nothing better is there.
int pick_console_interface(const HidCandidate *candidates, std::size_t count);

// The port over the first console found; each open looks for it afresh.
StationPort hid_station_port();
