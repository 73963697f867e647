// The commands of `nimbrel`. Each returns the exit status: 0 done,
// 1 the console, the download or a file failed, 2 a usage error.
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

int command_live(FrontEnd &f);
int command_export(FrontEnd &f);
int command_run(FrontEnd &f);
int command_clock(FrontEnd &f);
int command_catch_up(FrontEnd &f);
