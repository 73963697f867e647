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
    // Its live uploads go another way and their outcomes come through
    // service_feed_live_outcome; the feed sends only what they missed.
    bool live_elsewhere = false;
};

struct ServiceFeedState {
    int service;
    int state;                 // 0 nothing yet, 1 working, 2 failing
    long long last_success;    // UTC seconds, 0 never
    long long last_failure;
    std::string reason;        // of the failure being reported, secrets cut out
};

// Where a service that takes past records stands, kept across restarts:
// every record up to `sent` ("YYYY-MM-DD HH:MM" of the console's clock;
// empty: nothing yet) is dealt with, and when `until` is set, the records
// after `sent` and before `until` were missed and are still to be sent.
struct UploadMark {
    std::string sent, until;
};

// The kept records, for services that take past ones. Called from the
// services' threads, one call at a time.
struct PastRecords {
    virtual ~PastRecords() = default;
    virtual UploadMark mark(int service) = 0;
    virtual void keep_mark(int service, const UploadMark &mark) = 0;
    // The oldest kept record with sent < time < until and at most 7 days
    // old; 0 when there is none.
    virtual int next(const UploadMark &mark, std::string *record) = 0;
    // 1 when the kept records reach `until`, so that none before it can
    // still arrive.
    virtual int reaches(const std::string &until) = 0;
};

// "YYYY-MM-DD HH:MM" of a record's date and time; empty when it has none.
std::string record_minute_key(const std::string &record);

struct ServiceFeed;

// Starts a thread for each service; `log` gets one line per change of a
// service's state (from those threads, one line at a time). With `past`,
// the services that take past records also send what they missed, oldest
// first, at their own pace, in turn with the live records. `changed` gets
// every service's state after each attempt.
ServiceFeed *service_feed_start(const std::vector<ServiceFeedSetup> &services,
                                const ServiceRoute &route, void (*log)(const char *line),
                                PastRecords *past = nullptr,
                                void (*changed)(const std::vector<ServiceFeedState> &) = nullptr);

// A live record as the console sent it: each service sends it when its pace
// allows, or a newer one that came meanwhile.
void service_feed_record(ServiceFeed *feed, const char *record);

// The outcome of a live upload of `service` made elsewhere, `record` being
// the newest live record when it was made; `reason` says why it failed.
// Nothing happens for a service the feed does not hold that way.
void service_feed_live_outcome(ServiceFeed *feed, int service, const std::string &record,
                               bool taken, const std::string &reason);

std::vector<ServiceFeedState> service_feed_states(ServiceFeed *feed);

// Ends the threads, an attempt under way at once, and frees the feed.
void service_feed_stop(ServiceFeed *feed);
