#include "upload/service_feed.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
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
    bool past = false;        // the service takes past records and they are kept
    UploadMark mark;          // its thread's alone
    bool gap = false;         // records were missed since `mark.sent`
    bool last_live = false;   // the last attempt sent a live record
    std::set<std::string> live_in_gap;  // minutes a live record of the gap went out
    std::string last_live_taken;  // its minute: the same live record is not sent twice
    struct Report {
        std::string record;
        bool taken;
    };
    std::vector<Report> reports;  // live outcomes from elsewhere, not yet noted
    std::thread thread;
};

} // namespace

struct ServiceFeed {
    ServiceRoute route;
    void (*log)(const char *line);
    void (*changed)(const std::vector<ServiceFeedState> &states);
    PastRecords *past;
    std::mutex past_mutex;
    std::mutex mutex;
    std::mutex telling;  // one state change handed over at a time
    std::condition_variable wake;
    std::atomic<int> stopping{0};
    std::vector<std::unique_ptr<Lane>> lanes;
};

namespace {

// Hands the states over to the caller's hook. The snapshot and its handing
// over go together, so that a lane's older snapshot can never land after a
// newer one and leave the page showing a state that is gone.
void tell_changed(ServiceFeed *feed)
{
    if (!feed->changed)
        return;
    std::lock_guard<std::mutex> hold(feed->telling);
    feed->changed(service_feed_states(feed));
}

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

// After a live record went out (or failed): where the lane stands in the
// kept records.
void note_live(ServiceFeed *feed, Lane *lane, const std::string &record, bool taken)
{
    if (!lane->past)
        return;
    const std::string key = record_minute_key(record);
    if (!taken) {
        lane->gap = true;
        return;
    }
    if (!lane->gap)
        lane->mark.sent = key;
    else if (lane->mark.until.empty() || lane->mark.until < key)
        lane->mark.until = key;
    if (lane->gap)
        lane->live_in_gap.insert(key);
    std::lock_guard<std::mutex> lock(feed->past_mutex);
    feed->past->keep_mark(lane->setup.service, lane->mark);
}

// The next missed record to send; empty when none is due now. Closes the
// gap once the kept records reach its end and none is left in it.
std::string next_missed(ServiceFeed *feed, Lane *lane)
{
    if (!lane->past || lane->mark.until.empty())
        return std::string();
    std::lock_guard<std::mutex> lock(feed->past_mutex);
    std::string record;
    // A record the service got live while the gap was open is not sent again.
    for (UploadMark from = lane->mark; feed->past->next(from, &record);) {
        from.sent = record_minute_key(record);
        if (!lane->live_in_gap.count(from.sent))
            return record;
    }
    record.clear();
    if (feed->past->reaches(lane->mark.until)) {
        lane->mark = UploadMark{lane->mark.until, ""};
        lane->gap = false;
        lane->live_in_gap.clear();
        feed->past->keep_mark(lane->setup.service, lane->mark);
    }
    return std::string();
}

void note_missed_sent(ServiceFeed *feed, Lane *lane, const std::string &record)
{
    lane->mark.sent = record_minute_key(record);
    std::lock_guard<std::mutex> lock(feed->past_mutex);
    feed->past->keep_mark(lane->setup.service, lane->mark);
}

void run_lane(ServiceFeed *feed, Lane *lane)
{
    UploadService row = upload_services[lane->setup.service];
    if (feed->route.interval_ms > 0)
        row.interval_ms = static_cast<std::uint32_t>(feed->route.interval_ms);
    if (lane->past) {
        std::lock_guard<std::mutex> lock(feed->past_mutex);
        lane->mark = feed->past->mark(lane->setup.service);
        // What came while the program was not running is missed too.
        lane->gap = !lane->mark.sent.empty();
        // The console's live record may still be the one sent before a restart.
        lane->last_live_taken = lane->mark.until.empty() ? lane->mark.sent : lane->mark.until;
    }
    std::unique_lock<std::mutex> lock(feed->mutex);
    while (!feed->stopping) {
        if (!lane->reports.empty()) {
            std::vector<Lane::Report> reports;
            reports.swap(lane->reports);
            lock.unlock();
            for (const Lane::Report &r : reports)
                note_live(feed, lane, r.record, r.taken);
            tell_changed(feed);
            lock.lock();
            continue;
        }
        const long long now = steady_ms();
        if (!pace_due(lane->pace, now)) {
            feed->wake.wait_for(lock, std::chrono::milliseconds(lane->pace.next_ms - now));
            continue;
        }
        const bool has_live = !lane->pending.empty();
        const std::string live_record = lane->pending;
        const unsigned sequence = lane->sequence;
        lock.unlock();
        // Missed records take turns with live ones, so that neither waits
        // on the other for long.
        std::string record;
        bool live = false;
        if (lane->past && !lane->mark.until.empty() && (!has_live || lane->last_live))
            record = next_missed(feed, lane);
        if (record.empty() && has_live) {
            if (record_minute_key(live_record) == lane->last_live_taken) {
                lock.lock();
                if (lane->sequence == sequence)
                    lane->pending.clear();
                continue;
            }
            record = live_record;
            live = true;
        }
        if (record.empty()) {
            lock.lock();
            // Nothing to send: wait for a record, or look at the kept ones
            // again after a while.
            if (lane->pending.empty() && lane->reports.empty() && !feed->stopping) {
                if (lane->past && !lane->mark.until.empty())
                    feed->wake.wait_for(lock, std::chrono::milliseconds(row.interval_ms));
                else
                    feed->wake.wait(lock);
            }
            continue;
        }
        lane->last_live = live;
        const UploadOutcome outcome = attempt(*feed, *lane, record);
        // A record taken just as the program stops is noted all the same,
        // or the next start would send it again.
        if (outcome.result == UploadResult::taken || !feed->stopping) {
            if (live)
                note_live(feed, lane, record, outcome.result == UploadResult::taken);
            else if (outcome.result == UploadResult::taken)
                note_missed_sent(feed, lane, record);
        }
        lock.lock();
        if (feed->stopping)
            break;
        const std::string line = pace_outcome(&lane->pace, row, outcome, steady_ms(),
                                              static_cast<long long>(std::time(nullptr)),
                                              lane->secrets);
        if (live && outcome.result == UploadResult::taken) {
            lane->last_live_taken = record_minute_key(record);
            if (lane->sequence == sequence)
                lane->pending.clear();
        }
        // The caller's hooks run without the lock: they may ask for the
        // states. The state is out before the log line that tells of it.
        lock.unlock();
        tell_changed(feed);
        if (!line.empty())
            feed->log(line.c_str());
        lock.lock();
    }
}

} // namespace

std::string record_minute_key(const std::string &record)
{
    const std::size_t date = record.find(' ');
    const std::size_t time = date == std::string::npos ? date : record.find(' ', date + 1);
    if (time == std::string::npos || time - date != 11 || record.size() < time + 6 ||
        record[time + 3] != ':')
        return std::string();
    return record.substr(date + 1, 10) + " " + record.substr(time + 1, 5);
}

ServiceFeed *service_feed_start(const std::vector<ServiceFeedSetup> &services,
                                const ServiceRoute &route, void (*log)(const char *line),
                                PastRecords *past,
                                void (*changed)(const std::vector<ServiceFeedState> &))
{
    ServiceFeed *feed = new ServiceFeed;
    feed->past = past;
    feed->changed = changed;
    feed->route = route;
    feed->route.cancel = &feed->stopping;
    feed->log = log;
    for (const ServiceFeedSetup &setup : services) {
        auto lane = std::make_unique<Lane>();
        lane->setup = setup;
        lane->secrets = {setup.site.key, md5_hex(setup.site.key)};
        lane->past = past && upload_services[setup.service].takes_past;
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
            if (lane->setup.live_elsewhere)
                continue;
            lane->pending = record;
            ++lane->sequence;
        }
    }
    feed->wake.notify_all();
}

void service_feed_live_outcome(ServiceFeed *feed, int service, const std::string &record,
                               bool taken, const std::string &reason)
{
    if (!feed || record.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(feed->mutex);
        const long long utc = static_cast<long long>(std::time(nullptr));
        for (auto &lane : feed->lanes) {
            if (lane->setup.service != service || !lane->setup.live_elsewhere)
                continue;
            // The page shows the live uploads' state; their log lines are
            // written where they are made.
            UploadPace &pace = lane->pace;
            pace.state = taken ? 1 : 2;
            pace.reason = taken ? std::string() : without_secrets(reason, lane->secrets);
            (taken ? pace.last_success : pace.last_failure) = utc;
            lane->reports.push_back({record, taken});
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
