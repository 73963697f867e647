// What every command of `nimbrel` is given: its options, the configuration,
// the console's port and where uploads go.
#pragma once
#include "cli/config.h"
#include "cli/options.h"
#include "console/station_port.h"
#include "upload/service_table.h"

struct UploadDestination {
    char host[UPLOAD_HOST_BYTES]; // empty: each service's own host on port 80
    int port;
    int discard;                  // requests are built and dropped
    int tls;                      // "https://HOST:PORT": the services of our own reach it over HTTPS
};

struct FrontEnd {
    Options options;
    FrontEndConfig config;
    StationPort port;
    UploadDestination destination;
    UploadDestination aprs;  // CWOP's APRS-IS server; empty host: its own
    const char *version = "";
    int simulated;
};
