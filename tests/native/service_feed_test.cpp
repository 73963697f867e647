// The services' feed against a real loopback server standing in for all of
// them: one that never answers holds up no other.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
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
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bind(fd, reinterpret_cast<sockaddr *>(&a), len);
        listen(fd, 8);
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
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
