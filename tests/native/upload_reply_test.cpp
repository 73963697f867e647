#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/messages.h"
#include "upload/reply.h"
#include "upload/request.h"
#include "upload/spacing.h"

TEST(UploadReply, Verdicts)
{
    struct Case {
        const char *name;
        std::string reply;
        ReplyVerdict verdict;
    } const cases[] = {
        {"Weather Underground", "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nsuccess\n",
         REPLY_SUCCESS},
        {"Weathercloud", "HTTP/1.1 200 OK\r\n\r\n200", REPLY_200},
        {"status 200, error body", "HTTP/1.0 200 OK\r\n\r\nINVALIDPASSWORDID|Password is incorrect",
         REPLY_200},
        {"success without status", "success", REPLY_SUCCESS},
        {"rejection", "HTTP/1.1 401 Unauthorized\r\n\r\n401", REPLY_NOTHING},
        {"\"200\" in a header counts", "HTTP/1.1 404 Not Found\r\nX-Id: 12003\r\n\r\n", REPLY_200},
        {"cut by a NUL", std::string("HTTP/1.0 401\r\n\r\n\0success", 24), REPLY_NOTHING},
        {"NUL first", std::string("\0" "200", 4), REPLY_NOTHING},
        {"empty", "", REPLY_NOTHING},
        {"word split by the 1023-byte cut", std::string(1020, ' ') + "success", REPLY_NOTHING},
        {"word just inside", std::string(1016, ' ') + "success", REPLY_SUCCESS},
        {"200 beyond 1023 bytes", std::string(2000, 'x') + "200", REPLY_NOTHING},
    };
    for (const Case &c : cases) {
        char text[REPLY_TEXT_BYTES];
        EXPECT_EQ(judge_reply(c.reply.data(), c.reply.size(), text), c.verdict) << c.name;
        EXPECT_LE(std::string(text).size(), static_cast<std::size_t>(REPLY_TEXT_BYTES - 1)) << c.name;
    }
}

TEST(UploadReply, TextIsTheReplyUpToItsNul)
{
    char text[REPLY_TEXT_BYTES];
    judge_reply("200 OK\0junk", 11, text);
    EXPECT_STREQ(text, "200 OK");
    const std::string long_reply(5000, 'a');
    judge_reply(long_reply.data(), long_reply.size(), text);
    EXPECT_EQ(std::string(text), std::string(1023, 'a'));
    judge_reply(nullptr, 0, text);
    EXPECT_STREQ(text, "");
}

TEST(UploadReply, AVerdictCountsOnlyForItsOwnService)
{
    EXPECT_EQ(upload_report(REPLY_SUCCESS, UPLOAD_WU), UM_WU_UPLOAD_OK);
    EXPECT_EQ(upload_report(REPLY_200, UPLOAD_WC), UM_WC_UPLOAD_OK);
    // A Weather Underground error with status 200 is no Weathercloud success.
    EXPECT_EQ(upload_report(REPLY_200, UPLOAD_WU), 0u);
    EXPECT_EQ(upload_report(REPLY_SUCCESS, UPLOAD_WC), 0u);
    EXPECT_EQ(upload_report(REPLY_NOTHING, UPLOAD_WU), 0u);
    EXPECT_EQ(upload_report(REPLY_NOTHING, UPLOAD_WC), 0u);
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
    const WcSpacing spacing = {1, last};
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
    const WcSpacing spacing = {1, 0xFFFFFFFFu - 100000};
    EXPECT_TRUE(wc_slot_open(spacing, 500000));  // 600001 ms later, across the wrap
    EXPECT_FALSE(wc_slot_open(spacing, 499999)); // 600000 ms later
    EXPECT_FALSE(wc_slot_open(spacing, 10));
}

TEST(WeathercloudSpacing, FirstUploadAfterBootIsNotHeldBack)
{
    // The tick count is small for ten minutes after boot; with no upload
    // yet there is nothing to keep apart from.
    WcSpacing spacing = {};
    FakeClock clock;
    EXPECT_EQ(send_time(spacing, 1000, clock), 1000);
    EXPECT_EQ(send_time(spacing, 0, clock), 0);

    wc_upload_begun(spacing, 1000);
    EXPECT_FALSE(wc_slot_open(spacing, 1000 + 300000));
    EXPECT_TRUE(wc_slot_open(spacing, 1000 + 600001));
    // An upload that began at tick 0 is spaced like any other.
    wc_upload_begun(spacing, 0);
    EXPECT_FALSE(wc_slot_open(spacing, 500000));
}
