// What every command of `nimbrel` is given: its options, the configuration,
// the console's port and where uploads go.
#pragma once
#include "cli/config.h"
#include "cli/options.h"
#include "cli/uploader.h"
#include "console/station_port.h"

struct FrontEnd {
    Options options;
    FrontEndConfig config;
    StationPort port;
    UploadDestination destination;
    UploadDestination aprs;  // CWOP's APRS-IS server; empty host: its own
    const char *version = "";
    int simulated;
};
