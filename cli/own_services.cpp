#include "cli/own_services.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include "archive/archive.h"
#include "cli/log.h"
#include "upload/service_feed.h"

namespace {

// How far back a service is sent what it missed.
constexpr long long CATCH_UP_DAYS = 7;

// The archive as the services' record of what each was sent. Each call
// opens it for a moment, as the archive keeper does, so that no connection
// stays open beside the merges.
struct ArchivePast : PastRecords {
    std::string path;

    template <typename Use> bool with_archive(const char *doing, Use use)
    {
        Archive *a = nullptr;
        ArchiveError error;
        const bool ok = archive_open(path, &a, &error) && use(a, &error);
        if (!ok)
            log_line("archive: %s: %s", doing, error.message.c_str());
        archive_close(a);
        return ok;
    }

    UploadMark mark(int service) override
    {
        UploadMark m;
        with_archive("reading the uploads' marks", [&](Archive *a, ArchiveError *error) {
            return archive_upload_mark(a, upload_services[service].config_name, &m.sent,
                                       &m.until, error) != 0;
        });
        return m;
    }

    void keep_mark(int service, const UploadMark &m) override
    {
        with_archive("keeping an upload's mark", [&](Archive *a, ArchiveError *error) {
            return archive_keep_upload_mark(a, upload_services[service].config_name, m.sent,
                                            m.until, error) != 0;
        });
    }

    int next(const UploadMark &m, std::string *record) override
    {
        long long until, oldest, sent = ARCHIVE_FIRST;
        if (m.until.empty() || !archive_bound(m.until, 0, &until) ||
            !archive_bound(week_ago(), 0, &oldest) ||
            (!m.sent.empty() && !archive_bound(m.sent, 0, &sent)))
            return 0;
        int found = 0;
        with_archive("reading records", [&](Archive *a, ArchiveError *error) {
            return archive_each(a, sent > oldest ? sent : oldest, until,
                                [&](const ArchiveRecord &r) {
                                    if (r.minute <= sent || r.minute < oldest || r.minute >= until)
                                        return 1;
                                    record->assign(r.text, r.length);
                                    found = 1;
                                    return 0;
                                },
                                error) != 0;
        });
        return found;
    }

    int reaches(const std::string &until) override
    {
        ArchiveSummary summary;
        long long minute;
        with_archive("reading records", [&](Archive *a, ArchiveError *error) {
            return archive_summary(a, &summary, error) != 0;
        });
        return summary.count > 0 && archive_bound(until, 0, &minute) && summary.last >= minute;
    }

    static std::string week_ago()
    {
        const std::time_t t = std::time(nullptr) - CATCH_UP_DAYS * 86400;
        std::tm local{};
        localtime_r(&t, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
        return text;
    }
};

ArchivePast past;

// The services' state for the page and MQTT, written by the feed's threads.
std::mutex status_lock;
std::string status_json = "{}";
Publisher *status_publisher = nullptr;

void on_change(const std::vector<ServiceFeedState> &states)
{
    std::vector<UploadStatus> services;
    for (const ServiceFeedState &s : states)
        services.push_back({upload_services[s.service].config_name,
                            upload_services[s.service].shown_name, s.last_success,
                            s.last_failure, s.state == 2, s.reason});
    {
        std::lock_guard<std::mutex> hold(status_lock);
        status_json = uploads_message(services);
    }
    publisher_uploads(status_publisher, services);
}

} // namespace

std::string own_services_json()
{
    std::lock_guard<std::mutex> hold(status_lock);
    return status_json;
}

int own_services_ready(const FrontEndConfig &config)
{
    for (int s = UPLOAD_SERVICE_COUNT; s < SERVICE_COUNT; ++s) {
        const ServiceConfig &service = config.service[s];
        const char *name = upload_services[s].config_name;
        const char *missing = !service.upload                         ? nullptr
                              : !service.id[0]                        ? "-id"
                              : !service.key[0]                       ? "-key"
                              : !upload_services[s].needs_position    ? nullptr
                              : std::isnan(config.latitude)           ? "latitude"
                              : std::isnan(config.longitude)          ? "longitude"
                                                                      : nullptr;
        if (missing) {
            std::fprintf(stderr, "nimbrel: %s is on but %s%s is not set\n", name,
                         missing[0] == '-' ? name : "", missing);
            return 0;
        }
    }
    return 1;
}

namespace {

// The running feed, for the outcomes of the uploads made of the console's
// bodies; null when there is none.
std::mutex running_lock;
ServiceFeed *running = nullptr;

class OwnServicesFeed : public RecordFeed {
public:
    explicit OwnServicesFeed(ServiceFeed *f) : feed(f)
    {
        std::lock_guard<std::mutex> hold(running_lock);
        running = f;
    }
    ~OwnServicesFeed() override
    {
        {
            std::lock_guard<std::mutex> hold(running_lock);
            running = nullptr;
        }
        service_feed_stop(feed);
    }
    void record(const char *bytes, const LiveValues &) override
    {
        service_feed_record(feed, std::string(bytes, strnlen(bytes, LIVE_RECORD_BYTES)).c_str());
    }

private:
    ServiceFeed *feed;
};

// Milliseconds from 1 to 3600000 that a test set in `variable`, so that it
// goes through many records, or waits on a silent server, in seconds; 0
// when not set.
long milliseconds_for_tests(const char *variable, const char *otherwise)
{
    const char *text = std::getenv(variable);
    if (!text || !*text)
        return 0;
    char *end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    if (*end || ms < 1 || ms > 3600000) {
        log_line("%s: \"%.20s\" is not milliseconds from 1 to 3600000; %s", variable, text,
                 otherwise);
        return 0;
    }
    return ms;
}

} // namespace

void own_services_live_outcome(int service, const std::string &record, bool taken,
                               const std::string &reason)
{
    std::lock_guard<std::mutex> hold(running_lock);
    service_feed_live_outcome(running, service, record, taken, reason);
}

std::unique_ptr<RecordFeed> own_services_feed(const FrontEnd &f, const std::string &archive_path,
                                              Publisher *publisher)
{
    if (f.destination.discard)
        return nullptr;
    std::vector<ServiceFeedSetup> setups;
    // Weather Underground's live uploads are the console's bodies; the feed
    // sends the kept records they missed.
    const ServiceConfig &wu = f.config.service[UPLOAD_WU];
    if (wu.upload && wu.id[0] && wu.key[0])
        setups.push_back({UPLOAD_WU, StationSite{wu.id, wu.key, f.config.latitude,
                                                 f.config.longitude, f.config.altitude, f.version},
                          true});
    for (int s = UPLOAD_SERVICE_COUNT; s < SERVICE_COUNT; ++s) {
        const ServiceConfig &service = f.config.service[s];
        if (service.upload)
            setups.push_back({s, StationSite{service.id, service.key, f.config.latitude,
                                             f.config.longitude, f.config.altitude, f.version}});
    }
    if (setups.empty())
        return nullptr;
    ServiceRoute route;
    route.upload_host = f.destination.host;
    route.upload_port = f.destination.port;
    route.upload_tls = f.destination.tls;
    route.aprs_host = f.aprs.host;
    route.aprs_port = f.aprs.port;
    route.version = f.version;
    route.interval_ms =
        milliseconds_for_tests(UPLOAD_PACE_VARIABLE, "each service keeps its own pace");
    if (const long ms = milliseconds_for_tests(UPLOAD_TIMEOUT_VARIABLE, "30 s it is"))
        route.timeout_ms = ms;
    past.path = archive_path;
    status_publisher = publisher;
    ServiceFeed *feed = service_feed_start(
        setups, route, [](const char *line) { log_line("%s", line); }, &past, on_change);
    on_change(service_feed_states(feed));
    return std::make_unique<OwnServicesFeed>(feed);
}
