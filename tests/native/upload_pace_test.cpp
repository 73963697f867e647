// What a reply means for a service, and when its next upload may go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "upload/upload_pace.h"

TEST(UploadPace, EachReplyIsJudgedAsItsServiceMeansIt)
{
    const struct {
        const char *name;
        int service;
        UploadReply reply;
        UploadResult result;
        long long wait_s;
        const char *reason;
    } rows[] = {
        {"204 without a body", UPLOAD_OPENWEATHERMAP, {204, "", "", ""}, UploadResult::taken, 0, ""},
        {"AWEKAS says OK", UPLOAD_AWEKAS, {200, "", "\r\nOK\n", ""}, UploadResult::taken, 0, ""},
        {"AWEKAS says something else", UPLOAD_AWEKAS, {200, "", "Benutzer falsch\nmore", ""},
         UploadResult::failed, 0, "refused: Benutzer falsch"},
        {"PWSweather's page with an error", UPLOAD_PWSWEATHER,
         {200, "", "<html>ERROR: station not found</html>", ""}, UploadResult::failed, 0,
         "refused: <html>ERROR: station not found</html>"},
        {"PWSweather's page without one", UPLOAD_PWSWEATHER, {200, "", "Data Logged", ""},
         UploadResult::taken, 0, ""},
        {"Windy's duplicate is already there", UPLOAD_WINDY, {409, "", "{}", ""},
         UploadResult::taken, 0, ""},
        {"429 with Retry-After", UPLOAD_WOW, {429, " 120", "slow down", ""},
         UploadResult::too_often, 120, "HTTP 429: slow down"},
        {"Windy's retry_after in the body", UPLOAD_WINDY,
         {429, "", "{\"error\":\"too many\",\"retry_after\": 300}", ""}, UploadResult::too_often,
         300, "HTTP 429: {\"error\":\"too many\",\"retry_after\": 300}"},
        {"a wait of years is cut to a day", UPLOAD_WINDY, {429, "99999999999", "", ""},
         UploadResult::too_often, 86400, "HTTP 429"},
        {"a date in Retry-After is no number", UPLOAD_WOW,
         {429, "Wed, 21 Oct 2026 07:28:00 GMT", "", ""}, UploadResult::too_often, 0, "HTTP 429"},
        {"401", UPLOAD_WINDY, {401, "", "Unauthorized", ""}, UploadResult::credentials, 0,
         "HTTP 401: Unauthorized"},
        {"403", UPLOAD_WOW, {403, "", "", ""}, UploadResult::credentials, 0, "HTTP 403"},
        {"500 with control bytes", UPLOAD_WOW, {500, "", "bad\x01\x7f thing\r\nsecond", ""},
         UploadResult::failed, 0, "HTTP 500: bad?? thing"},
        {"no reply", UPLOAD_CWOP, {0, "", "", "DNS: the host name is not known"},
         UploadResult::failed, 0, "DNS: the host name is not known"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const UploadOutcome o = judge_upload(upload_services[row.service], row.reply);
        EXPECT_EQ(o.result, row.result);
        EXPECT_EQ(o.wait_s, row.wait_s);
        EXPECT_EQ(o.reason, row.reason);
    }
}

// A day of one service's outcomes: the log says each change once, the key
// never, and the next upload waits as long as the outcome asks.
TEST(UploadPace, OneLinePerChangeAndTheWaitEachOutcomeAsks)
{
    const UploadService &wow = upload_services[UPLOAD_WOW];  // every 5 minutes
    const std::vector<std::string> secrets = {"", "k3y"};
    const struct {
        UploadOutcome outcome;
        long long now_ms;
        const char *line;
        long long next_ms;
        int state;
    } steps[] = {
        {{UploadResult::taken, 0, ""}, 1000, "WOW: upload taken", 301000, 1},
        {{UploadResult::taken, 0, ""}, 301000, "", 601000, 1},
        {{UploadResult::failed, 0, "cannot connect"}, 601000, "WOW: upload failed: cannot connect",
         901000, 2},
        {{UploadResult::failed, 0, "cannot connect"}, 901000, "", 1201000, 2},
        {{UploadResult::failed, 0, "HTTP 500"}, 1201000, "WOW: upload failed: HTTP 500", 1501000,
         2},
        {{UploadResult::too_often, 900, "HTTP 429"}, 1501000, "WOW: upload failed: HTTP 429",
         2401000, 2},
        {{UploadResult::too_often, 10, "HTTP 429"}, 2401000, "", 2701000, 2},
        {{UploadResult::credentials, 0, "HTTP 401: bad key k3y"}, 2701000,
         "WOW: upload failed: HTTP 401: bad key ***; check its ID and key (tried again every 30 "
         "minutes)",
         4501000, 2},
        {{UploadResult::taken, 0, ""}, 4501000, "WOW: uploads work again", 4801000, 1},
    };
    UploadPace pace;
    EXPECT_TRUE(pace_due(pace, 0));
    long long utc = 1700000000;
    for (const auto &step : steps) {
        SCOPED_TRACE(step.now_ms);
        EXPECT_EQ(pace_outcome(&pace, wow, step.outcome, step.now_ms, ++utc, secrets), step.line);
        EXPECT_EQ(pace.next_ms, step.next_ms);
        EXPECT_EQ(pace.state, step.state);
        EXPECT_FALSE(pace_due(pace, step.next_ms - 1));
        EXPECT_TRUE(pace_due(pace, step.next_ms));
        EXPECT_EQ(pace.reason.find("k3y"), std::string::npos);
    }
    EXPECT_EQ(pace.last_success, utc);
    EXPECT_EQ(pace.last_failure, utc - 1);
}
