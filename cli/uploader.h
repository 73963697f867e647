// `run`'s upload worker: one thread that takes the requests built from the
// console's bodies and sends each to its service, Weathercloud's spaced ten
// minutes apart, and logs one line per outcome.
#pragma once
#include <memory>
#include <string>

#include "cli/config.h"
#include "cli/feed.h"

struct UploadDestination {
    char host[UPLOAD_HOST_BYTES]; // empty: each service's own host on port 80
    int port;
    int discard;                  // requests are built and dropped
};

struct Uploader;

Uploader *uploader_start(const FrontEndConfig &config, const UploadDestination &destination);

// The body of `service` (UPLOAD_WU, UPLOAD_WC) as the console sent it,
// and the newest live record then; nothing happens when that service is off
// or has no ID and key.
void uploader_take_body(Uploader *uploader, int service, const char *body,
                        const std::string &record = std::string());

// Ends the worker and frees it: a wait for Weathercloud's slot ends at
// once, a transaction under way is given up to wait_ms to finish. 1 when
// it ended.
int uploader_stop(Uploader *uploader, int wait_ms);

// `run`'s feed of the console's bodies to the worker; it says which
// services are on without an ID or key, and stops the worker when it goes.
std::unique_ptr<RecordFeed> upload_feed(const FrontEndConfig &config,
                                        const UploadDestination &destination);
