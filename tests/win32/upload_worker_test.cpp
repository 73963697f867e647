// The upload worker's HTTP client against a server on 127.0.0.1 run by the
// test: the bytes on the wire, the reply judging and its reports, the
// receive time-out, and requests posted to the worker thread.
// Sockets first: winsock2.h must come before windows.h.
#include "local_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "app/shell_win32.h"
#include "message_window.h"
#include "station/messages.h"
#include "upload/request.h"
#include "upload/upload_worker_win32.h"

namespace {
std::vector<UINT> reports;
LRESULT CALLBACK record_reports(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == UM_WU_UPLOAD_OK || msg == UM_WC_UPLOAD_OK) {
        reports.push_back(msg);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

std::string request_for(int service)
{
    char body[UPLOAD_BODY_BYTES] = {};
    std::strcpy(body, service == UPLOAD_WU ? "tempf=46.8&humidity=78" : "/temp/80/hum/78");
    char out[UPLOAD_REQUEST_BYTES];
    EXPECT_TRUE(build_upload_request(service, body, u"ID 1&2", u"key", out));
    return out;
}

class UploadWorker : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        start_sockets();
        setup_page = make_message_window(L"UploadReports", record_reports);
    }
    void SetUp() override { reports.clear(); }
};
} // namespace

TEST_F(UploadWorker, RepliesAndTheirReports)
{
    struct Case {
        const char *name;
        int service;
        std::string reply;
        std::vector<UINT> reports;
    } const cases[] = {
        {"Weather Underground success", UPLOAD_WU, "HTTP/1.0 200 OK\r\n\r\nsuccess\n", {UM_WU_UPLOAD_OK}},
        {"Weathercloud 200", UPLOAD_WC, "HTTP/1.1 200 OK\r\n\r\n200", {UM_WC_UPLOAD_OK}},
        {"Weather Underground error with status 200", UPLOAD_WU,
         "HTTP/1.0 200 OK\r\n\r\nINVALIDPASSWORDID|Password or key incorrect", {}},
        {"Weathercloud rejection", UPLOAD_WC, "HTTP/1.1 401 Unauthorized\r\n\r\n401", {}},
        {"Weathercloud refusal with status 200", UPLOAD_WC, "HTTP/1.1 200 OK\r\n\r\n401", {}},
        {"Weather Underground error page holding success", UPLOAD_WU,
         "HTTP/1.0 500 Internal Server Error\r\n\r\nno success", {}},
        {"success beyond the first 1023 bytes", UPLOAD_WU,
         "HTTP/1.0 200 OK\r\n\r\n" + std::string(3000, '.') + "success", {}},
        {"no reply at all", UPLOAD_WU, "", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        reports.clear();
        LocalServer server;
        server.reply = c.reply;
        start(server, 1);
        const std::string request = request_for(c.service);
        EXPECT_EQ(upload_to_host(request.c_str(), c.service), 0);
        stop(server);
        // The request and exactly one NUL after its empty line.
        ASSERT_EQ(server.received.size(), 1u);
        EXPECT_EQ(server.received[0], request + std::string(1, '\0'));
        EXPECT_EQ(reports, c.reports);
    }
}

TEST_F(UploadWorker, ServerThatNeverAnswersTimesOutAfterSixSeconds)
{
    LocalServer server;
    server.silent = true;
    start(server, 1);
    testing::internal::CaptureStdout();
    const DWORD begun = GetTickCount();
    upload_to_host(request_for(UPLOAD_WU).c_str(), UPLOAD_WU);
    const DWORD took = GetTickCount() - begun;
    const std::string said = testing::internal::GetCapturedStdout();
    stop(server);
    EXPECT_GE(took, 5500u);
    EXPECT_LT(took, 7900u);
    EXPECT_NE(said.find("recv timeout!\n"), std::string::npos) << said;
    EXPECT_TRUE(reports.empty());
}

TEST_F(UploadWorker, RefusedConnectionReportsNothing)
{
    // A port that was just free: nobody listens there.
    LocalServer server;
    start(server, 0);
    stop(server);
    upload_to_host(request_for(UPLOAD_WC).c_str(), UPLOAD_WC);
    EXPECT_TRUE(reports.empty());
}

TEST_F(UploadWorker, ServerThatTricklesIsCutOffAtTheDeadline)
{
    LocalServer server;
    server.reply = "HTTP/1.0 200 OK\r\n\r\nsuccess";
    server.trickle_ms = 400; // about 11 s for the whole reply
    start(server, 1);
    const DWORD deadline = upload_deadline_ms;
    upload_deadline_ms = 2000;
    const DWORD begun = GetTickCount();
    upload_to_host(request_for(UPLOAD_WU).c_str(), UPLOAD_WU);
    const DWORD took = GetTickCount() - begun;
    upload_deadline_ms = deadline;
    stop(server);
    EXPECT_LT(took, 4000u);
    EXPECT_TRUE(reports.empty());
}

TEST_F(UploadWorker, UnresolvableHostCostsFiveAttempts)
{
    const UploadServer saved = upload_server;
    std::strcpy(upload_server.host, "no-such-host.invalid");
    const DWORD begun = GetTickCount();
    upload_to_host(request_for(UPLOAD_WU).c_str(), UPLOAD_WU);
    const DWORD took = GetTickCount() - begun;
    upload_server = saved;
    // Four pauses of a second between five attempts; the tick count is
    // coarser than a millisecond, four attempts would take three seconds.
    EXPECT_GE(took, 3950u);
    EXPECT_TRUE(reports.empty());
}

TEST_F(UploadWorker, DiscardedRequestsNeverConnect)
{
    LocalServer server;
    server.reply = "HTTP/1.0 200 OK\r\n\r\nsuccess";
    start(server, 1);
    const std::string dropped = request_for(UPLOAD_WC), sent = request_for(UPLOAD_WU);
    upload_server.discard = 1;
    upload_to_host(dropped.c_str(), UPLOAD_WC);
    upload_server.discard = 0;
    upload_to_host(sent.c_str(), UPLOAD_WU);
    stop(server);
    ASSERT_EQ(server.received.size(), 1u);
    EXPECT_EQ(server.received[0], sent + std::string(1, '\0'));
    EXPECT_EQ(reports, std::vector<UINT>{UM_WU_UPLOAD_OK});
}

namespace {
// The worker's clock in the test's hands: 590 s after boot, and each
// five-second pause is 50 ms of real time.
struct TestClock {
    std::atomic<std::uint32_t> now{590000};
    std::atomic<int> pauses{0};
} test_clock;

std::uint32_t test_tick(void *)
{
    return test_clock.now;
}

void test_pause(void *, std::uint32_t ms)
{
    ++test_clock.pauses;
    Sleep(50);
    test_clock.now += ms;
}
} // namespace

// The worker takes one request at a time, in the order they were posted:
// a Weathercloud request waiting for its ten-minute slot holds back
// whatever comes after it, and waits its own 60 checks before it is dropped.
TEST_F(UploadWorker, RequestsGoOneAtATimeInArrivalOrder)
{
    upload_clock = {test_tick, test_pause, nullptr};
    ASSERT_TRUE(start_upload_worker());
    const std::string wc = request_for(UPLOAD_WC), wu = request_for(UPLOAD_WU);
    const std::string wc_newer = wc.substr(0, wc.find(" HTTP")) + "/wdir/90" + wc.substr(wc.find(" HTTP"));
    struct Post {
        UINT message;
        const std::string *text;
        unsigned round;
    };
    const struct {
        const char *name;
        std::uint32_t clock; // when the requests arrive
        std::vector<Post> posts;
        std::vector<const std::string *> sent;
        std::vector<UINT> reports;
        int pauses;
        const char *said;
    } cases[] = {
        // The first ten minutes after boot hold Weathercloud back: 590 s,
        // 595 s and 600 s are too early, 605 s is not.
        {"Weather Underground waits behind a waiting Weathercloud request", 590000,
         {{UM_WC_REQUEST, &wc, 0}, {UM_WU_REQUEST, &wu, 0}}, {&wc, &wu},
         {UM_WC_UPLOAD_OK, UM_WU_UPLOAD_OK}, 3, nullptr},
        // The first is sent at 1210 s; the second finds no slot in its 60
        // checks, and only then does Weather Underground go.
        {"each Weathercloud request waits its own checks", 1195000,
         {{UM_WC_REQUEST, &wc, 0}, {UM_WC_REQUEST, &wc_newer, 0}, {UM_WU_REQUEST, &wu, 0}},
         {&wc, &wu}, {UM_WC_UPLOAD_OK, UM_WU_UPLOAD_OK}, 63,
         "Weathercloud: upload dropped: ten minutes have not passed since the last one"},
        // Built before a switch or an unplug: sent all the same; the page
        // judges what their reports still count for.
        {"requests of an earlier round are sent", 2000000,
         {{UM_WU_REQUEST, &wu, 7}, {UM_WC_REQUEST, &wc, 7}}, {&wu, &wc},
         {UM_WU_UPLOAD_OK, UM_WC_UPLOAD_OK}, 0, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        reports.clear();
        test_clock.now = c.clock;
        test_clock.pauses = 0;
        LocalServer server;
        server.reply = "HTTP/1.0 200 OK\r\n\r\n200 success";
        start(server, static_cast<int>(c.sent.size()));
        testing::internal::CaptureStdout();
        for (const Post &p : c.posts) {
            char *handed = new char[UPLOAD_REQUEST_BYTES]();
            std::memcpy(handed, p.text->c_str(), p.text->size());
            ASSERT_TRUE(PostThreadMessageW(upload_thread_id, p.message, reinterpret_cast<WPARAM>(handed),
                                           p.round));
        }
        const std::size_t wanted = c.reports.size();
        pump_until([&] { return reports.size() == wanted; }, 15000);
        Sleep(500); // nothing more may come
        pump_until([] { return false; }, 100);
        const std::string said = testing::internal::GetCapturedStdout();
        stop(server);
        EXPECT_EQ(test_clock.pauses, c.pauses);
        ASSERT_EQ(server.received.size(), c.sent.size());
        for (std::size_t i = 0; i < c.sent.size(); ++i)
            EXPECT_EQ(server.received[i], *c.sent[i] + std::string(1, '\0')) << "request " << i;
        EXPECT_EQ(reports, c.reports);
        if (c.said) {
            EXPECT_NE(said.find(c.said), std::string::npos) << said;
        }
    }
}
