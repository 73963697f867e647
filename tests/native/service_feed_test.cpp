// The services' feed against a real loopback server standing in for all of
// them: one that never answers holds up no other.
#include <gtest/gtest.h>

#include "loopback_listener.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "upload/service_feed.h"

namespace {

std::mutex log_mutex;
std::condition_variable logged;
std::vector<std::string> lines;

void keep_line(const char *line)
{
    std::lock_guard<std::mutex> lock(log_mutex);
    lines.push_back(line);
    logged.notify_all();
}

bool wait_for_line(const std::string &line)
{
    std::unique_lock<std::mutex> lock(log_mutex);
    return logged.wait_for(lock, std::chrono::seconds(30), [&] {
        for (const std::string &l : lines)
            if (l == line)
                return true;
        return false;
    });
}

// Answers 200 to every request but Windy's, which it leaves waiting.
struct StandIn {
    int fd = -1, port = 0;
    std::atomic<int> done{0};
    std::mutex mutex;
    std::vector<std::string> requests;
    std::vector<int> held;
    std::thread thread;

    StandIn()
    {
        fd = loopback_listener(&port);
        thread = std::thread([this] { serve(); });
    }
    void serve()
    {
        while (!done) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) != 1)
                continue;
            const int c = accept(fd, nullptr, nullptr);
            std::string request;
            char ch;
            while (request.find("\r\n\r\n") == std::string::npos && recv(c, &ch, 1, 0) == 1)
                request += ch;
            std::lock_guard<std::mutex> lock(mutex);
            requests.push_back(request);
            if (request.rfind("GET /api/v2/", 0) == 0) {
                held.push_back(c);
                continue;
            }
            const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
            send(c, ok.data(), ok.size(), MSG_NOSIGNAL);
            close(c);
        }
    }
    ~StandIn()
    {
        done = 1;
        thread.join();
        for (int c : held)
            close(c);
        close(fd);
    }
};

} // namespace

// The state the page and MQTT show is the newest, however the lanes'
// hand-overs interleave: here the first is slow to land, after the other
// lane has already handed over both outcomes.
std::mutex shown_mutex;
std::vector<ServiceFeedState> shown;
std::atomic<int> shows{0};

void show_slowly(const std::vector<ServiceFeedState> &states)
{
    if (shows++ == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::lock_guard<std::mutex> lock(shown_mutex);
    shown = states;
}

TEST(ServiceFeed, TheStateLastShownIsTheNewest)
{
    StandIn stand_in;
    ServiceRoute route;
    route.upload_host = "127.0.0.1";
    route.upload_port = stand_in.port;
    route.version = "1.02";
    const StationSite site{"STN1", "s3cret", 51.5, -0.1275, 35, "1.02"};
    {
        std::lock_guard<std::mutex> lock(log_mutex);
        lines.clear();
    }
    ServiceFeed *feed = service_feed_start({{UPLOAD_WOW, site}, {UPLOAD_OPENWEATHERMAP, site}},
                                           route, keep_line, nullptr, show_slowly);
    service_feed_record(feed, "50 2018-01-05 12:34 21.0 45 10.0 80");
    EXPECT_TRUE(wait_for_line("WOW: upload taken"));
    EXPECT_TRUE(wait_for_line("OpenWeatherMap: upload taken"));
    service_feed_stop(feed);

    {
        std::lock_guard<std::mutex> lock(log_mutex);
        lines.clear();  // the tests after this one wait for lines of their own
    }
    std::lock_guard<std::mutex> lock(shown_mutex);
    ASSERT_EQ(shown.size(), 2u);
    for (const ServiceFeedState &s : shown)
        EXPECT_GT(s.last_success, 0) << "service " << s.service;
}

TEST(ServiceFeed, AServiceThatNeverAnswersHoldsUpNoOther)
{
    StandIn stand_in;
    ServiceRoute route;
    route.upload_host = "127.0.0.1";
    route.upload_port = stand_in.port;
    route.timeout_ms = 600000;  // Windy's attempt hangs until the feed stops
    route.version = "1.02";
    const StationSite site{"STN1", "s3cret", 51.5, -0.1275, 35, "1.02"};
    ServiceFeed *feed =
        service_feed_start({{UPLOAD_WINDY, site}, {UPLOAD_WOW, site}}, route, keep_line);
    service_feed_record(feed, "50 2018-01-05 12:34 21.0 45 10.0 80");

    EXPECT_TRUE(wait_for_line("WOW: upload taken"));
    const std::vector<ServiceFeedState> states = service_feed_states(feed);
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].service, UPLOAD_WINDY);
    EXPECT_EQ(states[0].state, 0);  // still waiting for its reply
    EXPECT_EQ(states[1].state, 1);
    EXPECT_GT(states[1].last_success, 0);
    // The hung attempt ends with the feed, not with its time-out.
    service_feed_stop(feed);

    std::lock_guard<std::mutex> lock(stand_in.mutex);
    bool wow = false;
    for (const std::string &r : stand_in.requests)
        wow = wow || r.rfind("GET /automaticreading?siteid=STN1&siteAuthenticationKey=s3cret", 0) == 0;
    EXPECT_TRUE(wow);
    for (const std::string &l : lines)
        EXPECT_EQ(l.find("s3cret"), std::string::npos) << l;
}

namespace {

// The archive as the feed sees it: records by their minute, one mark per
// service.
struct KeptRecords : PastRecords {
    std::mutex mutex;
    std::vector<std::string> records;  // oldest first
    UploadMark kept;
    UploadMark mark(int) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return kept;
    }
    void keep_mark(int, const UploadMark &m) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        kept = m;
    }
    int next(const UploadMark &m, std::string *record) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string &r : records) {
            const std::string key = record_minute_key(r);
            if (key > m.sent && key < m.until) {
                *record = r;
                return 1;
            }
        }
        return 0;
    }
    int reaches(const std::string &until) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return !records.empty() && record_minute_key(records.back()) >= until;
    }
    void add(const std::string &record)
    {
        std::lock_guard<std::mutex> lock(mutex);
        records.push_back(record);
    }
    bool at(const std::string &sent)
    {
        for (int i = 0; i < 3000; ++i) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (kept.sent == sent && kept.until.empty())
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

std::string at_minute(int minute)
{
    return "50 2018-01-05 12:" + std::string(minute < 10 ? "0" : "") + std::to_string(minute) +
           " 21.0 45 10.0 80";
}

// WOW's stand-in: 500 while `down` (until a request holds `recover_at`),
// else 200; the minutes it took.
struct WowStandIn {
    int fd = -1, port = 0;
    std::string recover_at;
    std::atomic<int> done{0}, down{0};
    std::mutex mutex;
    std::vector<std::string> taken;
    std::thread thread;
    WowStandIn()
    {
        fd = loopback_listener(&port);
        thread = std::thread([this] {
            while (!done) {
                pollfd p{fd, POLLIN, 0};
                if (poll(&p, 1, 50) != 1)
                    continue;
                const int c = accept(fd, nullptr, nullptr);
                std::string request;
                char ch;
                while (request.find("\r\n\r\n") == std::string::npos && recv(c, &ch, 1, 0) == 1)
                    request += ch;
                const std::size_t at = request.find("dateutc=2018-01-05%20");
                if (down && !recover_at.empty() && request.find(recover_at) != std::string::npos)
                    down = 0;
                const std::string reply = down ? "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n"
                                               : "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
                if (!down && at != std::string::npos) {
                    std::lock_guard<std::mutex> lock(mutex);
                    taken.push_back(request.substr(at + 21, 7));
                }
                send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
                close(c);
            }
        });
    }
    ~WowStandIn()
    {
        done = 1;
        thread.join();
        close(fd);
    }
};

} // namespace

TEST(ServiceFeed, MissedRecordsGoOnceOldestFirstAlsoAfterARestart)
{
    setenv("TZ", "UTC0", 1);
    tzset();
    WowStandIn wow;
    KeptRecords kept;
    ServiceRoute route;
    route.upload_host = "127.0.0.1";
    route.upload_port = wow.port;
    route.interval_ms = 10;
    route.version = "1.02";
    const StationSite site{"STN1", "k", NAN, NAN, NAN, "1.02"};

    ServiceFeed *feed = service_feed_start({{UPLOAD_WOW, site}}, route, keep_line, &kept);
    kept.add(at_minute(0));
    service_feed_record(feed, at_minute(0).c_str());
    ASSERT_TRUE(kept.at("2018-01-05 12:00"));
    // An outage: four records the service never got, until the fifth.
    wow.recover_at = "12%3A05";
    wow.down = 1;
    for (int m = 1; m <= 4; ++m) {
        kept.add(at_minute(m));
        service_feed_record(feed, at_minute(m).c_str());
    }
    EXPECT_TRUE(wait_for_line("WOW: upload failed: HTTP 500"));
    kept.add(at_minute(5));
    service_feed_record(feed, at_minute(5).c_str());
    ASSERT_TRUE(kept.at("2018-01-05 12:05"));
    service_feed_stop(feed);

    // Records kept while the program was stopped are missed too.
    for (int m = 6; m <= 8; ++m)
        kept.add(at_minute(m));
    feed = service_feed_start({{UPLOAD_WOW, site}}, route, keep_line, &kept);
    kept.add(at_minute(9));
    service_feed_record(feed, at_minute(9).c_str());
    ASSERT_TRUE(kept.at("2018-01-05 12:09"));
    service_feed_stop(feed);
    unsetenv("TZ");
    tzset();

    std::lock_guard<std::mutex> lock(wow.mutex);
    const std::vector<std::string> expected = {"12%3A00", "12%3A05", "12%3A01",
                                               "12%3A02", "12%3A03", "12%3A04",
                                               "12%3A09", "12%3A06", "12%3A07",
                                               "12%3A08"};
    EXPECT_EQ(wow.taken, expected);
}
