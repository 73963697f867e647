#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "upload/reply.h"
#include "upload/request.h"
#include "upload/spacing.h"

TEST(UploadReply, JudgedByStatusAndBodyForEachService)
{
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    const std::string pad(1100, ' ');
    struct Case {
        const char *name;
        std::string reply;
        int wu, wc; // accepted for Weather Underground, for Weathercloud
    } const cases[] = {
        {"200, success", ok + "success\n", 1, 0},
        {"200, code 200", ok + "200", 0, 1},
        {"200, code 200 with a line end", ok + "200\r\n", 0, 1},
        {"200, code 200 that also says success", ok + "200 success", 1, 1},
        {"200, code 401", ok + "401", 0, 0},
        {"200, code 429", ok + "429", 0, 0},
        {"200, code 2001", ok + "2001", 0, 0},
        {"200, error text", ok + "INVALIDPASSWORDID|Password or key incorrect", 0, 0},
        {"401, success", "HTTP/1.1 401 Unauthorized\r\n\r\nsuccess", 0, 0},
        {"429, code 200", "HTTP/1.1 429 Too Many Requests\r\n\r\n200", 0, 0},
        {"500 page holding success", "HTTP/1.0 500 Internal Server Error\r\n\r\nno success", 0, 0},
        {"500, code 200", "HTTP/1.0 500 Internal Server Error\r\n\r\n200", 0, 0},
        {"a header holds 200 and success", "HTTP/1.1 401 No\r\nX-Id: 200 success\r\n\r\n401", 0, 0},
        {"200, only headers hold the word", "HTTP/1.1 200 OK\r\nX-Note: success\r\nX-Id: 200\r\n\r\n", 0, 0},
        {"200, headers never end", "HTTP/1.1 200 OK\r\nX-Note: success 200", 0, 0},
        {"bare line ends", "HTTP/1.0 200 OK\nServer: x\n\n200 success", 1, 1},
        {"no status line", "success 200", 0, 0},
        {"malformed status", "HTTP/1.1 2000 OK\r\n\r\n200 success", 0, 0},
        {"cut by a NUL", std::string("HTTP/1.0 200 OK\r\n\r\n\0" "200 success", 31), 0, 0},
        {"empty", "", 0, 0},
        {"word split by the 1023-byte cut", ok + std::string(1023 - ok.size() - 3, ' ') + "success", 0, 0},
        {"word just inside", ok + std::string(1023 - ok.size() - 7, ' ') + "success", 1, 0},
        {"code beyond 1023 bytes", ok + pad + "200", 0, 0},
        {"success beyond 1023 bytes", ok + pad + "success", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        char text[REPLY_TEXT_BYTES];
        std::memset(text, 'x', sizeof text);
        reply_text(c.reply.data(), c.reply.size(), text);
        ASSERT_NE(std::memchr(text, 0, sizeof text), nullptr);
        EXPECT_EQ(reply_accepted(text, UPLOAD_WU), c.wu);
        EXPECT_EQ(reply_accepted(text, UPLOAD_WC), c.wc);
    }
}

namespace {
struct FakeClock {
    std::uint32_t now;
    std::uint32_t paused;
    std::vector<std::uint32_t> pauses;
};

std::uint32_t fake_tick(void *c)
{
    return static_cast<FakeClock *>(c)->now;
}

void fake_pause(void *c, std::uint32_t ms)
{
    auto *clock = static_cast<FakeClock *>(c);
    clock->now += ms;
    clock->paused += ms;
    clock->pauses.push_back(ms);
}

// What happens to a request arriving at `arrival`: sent at the returned
// tick, or not at all (-1).
long long send_time(const WcSpacing &spacing, std::uint32_t arrival, FakeClock &clock)
{
    clock = {arrival, 0, {}};
    const UploadClock upload_clock = {fake_tick, fake_pause, &clock};
    std::uint32_t start = 0;
    return await_wc_slot(spacing, upload_clock, &start) ? static_cast<long long>(start) : -1;
}
} // namespace

TEST(WeathercloudSpacing, RequestsWaitForTheTenMinuteMark)
{
    const std::uint32_t last = 50000000;
    const WcSpacing spacing = {last};
    FakeClock clock;

    // Seven minutes after the last upload: sent about three minutes later,
    // within five seconds of the ten-minute mark.
    const long long sent = send_time(spacing, last + 7 * 60000, clock);
    ASSERT_NE(sent, -1);
    EXPECT_GT(sent - last, 600000);
    EXPECT_LE(sent - last, 605000);

    // Two minutes after: five minutes of checks, then dropped.
    EXPECT_EQ(send_time(spacing, last + 2 * 60000, clock), -1);
    EXPECT_EQ(clock.pauses.size(), 60u);
    EXPECT_EQ(clock.paused, 300000u);

    // Exactly ten minutes is not yet "more than"; eleven is at once.
    EXPECT_EQ(send_time(spacing, last + 600000, clock), last + 605000);
    EXPECT_EQ(send_time(spacing, last + 660000, clock), last + 660000);
    EXPECT_TRUE(clock.pauses.empty());
}

TEST(WeathercloudSpacing, TickCountWrap)
{
    const WcSpacing spacing = {0xFFFFFFFFu - 100000};
    EXPECT_FALSE(wc_slot_open(spacing, 0xFFFFFFFFu - 50000)); // 50 s later, before the wrap
    EXPECT_FALSE(wc_slot_open(spacing, 10));
    EXPECT_FALSE(wc_slot_open(spacing, 499999)); // exactly ten minutes later
    EXPECT_TRUE(wc_slot_open(spacing, 500000));  // 600001 ms later, across the wrap
}

TEST(WeathercloudSpacing, TheFirstTenMinutesAfterBootHoldUploadsBack)
{
    const WcSpacing spacing = {};
    FakeClock clock;
    // Two minutes after boot: five minutes of waiting, then dropped.
    EXPECT_EQ(send_time(spacing, 120000, clock), -1);
    // Seven minutes after boot: sent just after the ten-minute mark.
    EXPECT_EQ(send_time(spacing, 420000, clock), 605000);
    EXPECT_EQ(send_time(spacing, 600001, clock), 600001);
}
