// The console as the Linux front end sees it: 65-byte input reports in (the
// report id byte in front) and 9-byte command frames out. Two ports serve
// it: the USB console through hidraw, and the simulated console in process.
#pragma once
#include <cstdint>

#include "station/commands.h"
#include "station/report_handler.h"

enum PortRead { PORT_QUIET = 0, PORT_REPORT = 1, PORT_GONE = -1 };

struct StationPort {
    void *context;
    // Looks for the console and opens it; 1 when it is there.
    int (*open)(void *context);
    // Why the last open found no console, for the user: "not plugged in",
    // a permission to grant, or the HID library's own words.
    const char *(*absence)(void *context);
    // PORT_REPORT with `report` filled when one came within timeout_ms,
    // PORT_QUIET when none came, PORT_GONE when the console went away.
    int (*read)(void *context, std::uint8_t report[REPORT_BYTES], int timeout_ms);
    // 1 when the frame was written.
    int (*write)(void *context, const std::uint8_t frame[FRAME_BYTES]);
    void (*close)(void *context);
};
