// What `run` and `serve` do with what the console sends: each feed gets
// every live record, the console's comings and goings and the upload bodies
// it writes, and a turn between two polls. The uploads, the MQTT broker,
// the web page and the archive keeper are feeds; another consumer of the
// records is one more in the list.
#pragma once
#include <memory>
#include <vector>

#include "live/station_record.h"

struct Session;

class RecordFeed {
public:
    // Ends what the feed started (a worker, a connection).
    virtual ~RecordFeed() = default;
    // A live record: its bytes as the console sent them, and decoded.
    virtual void record(const char *bytes, const LiveValues &values)
    {
        (void)bytes;
        (void)values;
    }
    // The console came (1) or went (0).
    virtual void console(int connected) { (void)connected; }
    // A body the console wrote for upload service `service`.
    virtual void body(int service, const char *text)
    {
        (void)service;
        (void)text;
    }
    // A turn between two polls while the console is connected, for a feed
    // that asks the console for more (the archive's catch-up).
    virtual void between_polls(Session &s) { (void)s; }
};

using FeedList = std::vector<std::unique_ptr<RecordFeed>>;
