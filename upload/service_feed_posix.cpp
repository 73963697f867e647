#include "upload/service_feed.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#include "upload/md5.h"

namespace {

long long steady_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One service. Its thread alone sends; `pending`, `sequence` and `pace` are
// shared with the caller and the state reader under the feed's mutex.
struct Lane {
    ServiceFeedSetup setup;
    std::vector<std::string> secrets;
    std::string pending;      // the newest record not yet taken; empty: none
    unsigned sequence = 0;    // counts records handed in
    UploadPace pace;
    std::thread thread;
};

} // namespace

struct ServiceFeed {
    ServiceRoute route;
    void (*log)(const char *line);
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<int> stopping{0};
    std::vector<std::unique_ptr<Lane>> lanes;
};

namespace {

UploadOutcome attempt(const ServiceFeed &feed, const Lane &lane, const std::string &record)
{
    const UploadService &row = upload_services[lane.setup.service];
    Observation o;
    ServiceRequest request;
    if (!observation_from_record(record.c_str(), &o))
        return {UploadResult::taken, 0, ""};  // nothing any service could take: dropped
    if (!row.build(o, lane.setup.site, &request))
        return {UploadResult::taken, 0, ""};
    return judge_upload(row, send_service_request(row, feed.route, request));
}

void run_lane(ServiceFeed *feed, Lane *lane)
{
    const UploadService &row = upload_services[lane->setup.service];
    std::unique_lock<std::mutex> lock(feed->mutex);
    while (!feed->stopping) {
        const long long now = steady_ms();
        if (lane->pending.empty()) {
            feed->wake.wait(lock);
            continue;
        }
        if (!pace_due(lane->pace, now)) {
            feed->wake.wait_for(lock, std::chrono::milliseconds(lane->pace.next_ms - now));
            continue;
        }
        const std::string record = lane->pending;
        const unsigned sequence = lane->sequence;
        lock.unlock();
        const UploadOutcome outcome = attempt(*feed, *lane, record);
        lock.lock();
        if (feed->stopping)
            break;
        const std::string line = pace_outcome(&lane->pace, row, outcome, steady_ms(),
                                              static_cast<long long>(std::time(nullptr)),
                                              lane->secrets);
        if (outcome.result == UploadResult::taken && lane->sequence == sequence)
            lane->pending.clear();
        if (!line.empty())
            feed->log(line.c_str());
    }
}

} // namespace

ServiceFeed *service_feed_start(const std::vector<ServiceFeedSetup> &services,
                                const ServiceRoute &route, void (*log)(const char *line))
{
    ServiceFeed *feed = new ServiceFeed;
    feed->route = route;
    feed->route.cancel = &feed->stopping;
    feed->log = log;
    for (const ServiceFeedSetup &setup : services) {
        auto lane = std::make_unique<Lane>();
        lane->setup = setup;
        lane->secrets = {setup.site.key, md5_hex(setup.site.key)};
        feed->lanes.push_back(std::move(lane));
    }
    for (auto &lane : feed->lanes)
        lane->thread = std::thread(run_lane, feed, lane.get());
    return feed;
}

void service_feed_record(ServiceFeed *feed, const char *record)
{
    if (!feed || !record || !*record)
        return;
    {
        std::lock_guard<std::mutex> lock(feed->mutex);
        for (auto &lane : feed->lanes) {
            lane->pending = record;
            ++lane->sequence;
        }
    }
    feed->wake.notify_all();
}

std::vector<ServiceFeedState> service_feed_states(ServiceFeed *feed)
{
    std::vector<ServiceFeedState> states;
    if (!feed)
        return states;
    std::lock_guard<std::mutex> lock(feed->mutex);
    for (auto &lane : feed->lanes)
        states.push_back({lane->setup.service, lane->pace.state, lane->pace.last_success,
                          lane->pace.last_failure, lane->pace.reason});
    return states;
}

void service_feed_stop(ServiceFeed *feed)
{
    if (!feed)
        return;
    {
        std::lock_guard<std::mutex> lock(feed->mutex);
        feed->stopping = 1;
    }
    feed->wake.notify_all();
    for (auto &lane : feed->lanes)
        lane->thread.join();
    delete feed;
}
