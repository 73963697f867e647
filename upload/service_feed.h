// The companion's own services fed from its live records: a thread per
// service, so that a service that is slow, away or refusing never holds up
// another, the MQTT feed, the archive or the console. Each sends the newest
// record at its own pace and keeps its state for the page and MQTT.
#pragma once
#include <string>
#include <vector>

#include "upload/service_transport.h"

struct ServiceFeedSetup {
    int service;       // a row of upload_services with a request builder
    StationSite site;
};

struct ServiceFeedState {
    int service;
    int state;                 // 0 nothing yet, 1 working, 2 failing
    long long last_success;    // UTC seconds, 0 never
    long long last_failure;
    std::string reason;        // of the failure being reported, secrets cut out
};

struct ServiceFeed;

// Starts a thread for each service; `log` gets one line per change of a
// service's state (from those threads, one line at a time).
ServiceFeed *service_feed_start(const std::vector<ServiceFeedSetup> &services,
                                const ServiceRoute &route, void (*log)(const char *line));

// A live record as the console sent it: each service sends it when its pace
// allows, or a newer one that came meanwhile.
void service_feed_record(ServiceFeed *feed, const char *record);

std::vector<ServiceFeedState> service_feed_states(ServiceFeed *feed);

// Ends the threads, an attempt under way at once, and frees the feed.
void service_feed_stop(ServiceFeed *feed);
