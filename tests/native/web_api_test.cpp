// The web API against a real server on a loopback port over a real archive
// of a known scenario: chart values, buckets and gaps, highs and lows with
// their times, rain totals, the live reading and refused queries.
#include <gtest/gtest.h>

#include "web/api.h"
#include "web_scenario.h"

using web_test::ServedScenario;

namespace {

// The items of the JSON array after `"name":[` (searched from `after`).
std::vector<std::string> array_of(const std::string &json, const std::string &after,
                                  const std::string &name)
{
    const std::size_t from = json.find(after);
    const std::size_t at = json.find("\"" + name + "\":[", from == std::string::npos ? 0 : from);
    std::vector<std::string> items;
    if (from == std::string::npos || at == std::string::npos)
        return {"<missing " + after + " " + name + ">"};
    std::size_t start = json.find('[', at) + 1;
    const std::size_t end = json.find(']', start);
    while (start < end) {
        std::size_t comma = json.find(',', start);
        if (comma > end)
            comma = end;
        items.push_back(json.substr(start, comma - start));
        start = comma + 1;
    }
    return items;
}

std::string body(ServedScenario &s, const std::string &target, int status = 200)
{
    auto res = s.get(target);
    EXPECT_TRUE(res) << target;
    if (!res)
        return "";
    EXPECT_EQ(res->status, status) << target << ": " << res->body;
    return res->body;
}

} // namespace

TEST(WebSeries, BucketsCarryMinMeanMaxAndGapsAreNull)
{
    ServedScenario s;
    const struct {
        const char *name, *query, *series, *stat;
        std::vector<std::string> expected;  // buckets from the first, as far as given
    } cases[] = {
        // A day in the records' own 30-minute step: each record its own
        // bucket, 06:00 to 08:30 empty.
        {"day, 03:00 to 10:00", "from=2026-03-01T03:00&to=2026-03-01T10:00",
         "outdoor_temperature", "mean",
         {"1.0", "1.5", "2.0", "2.5", "3.0", "3.5", "null", "null", "null", "null", "null", "null",
          "4.0", "4.5", "5.0"}},
        {"the gap is null in every statistic", "from=2026-03-01T05:30&to=2026-03-01T06:30",
         "outdoor_temperature", "max", {"3.5", "null", "null"}},
        // A quarter of a year: two-hour buckets starting at midnight.
        {"quarter, minimum of four records", "from=2026-01-01&to=2026-03-31",
         "outdoor_temperature", "min", {"null"}},
        {"rain fallen per bucket, not the daily counter", "from=2026-03-01T08:00&to=2026-03-01T11:30",
         "rain", "sum", {"null", "null", "0.5", "1.0", "0.0", "2.5", "0.0", "0.0"}},
        {"pressure as the configured relative token", "from=2026-03-01T01:00&to=2026-03-01T02:00",
         "pressure", "mean", {"1013.2", "1020.5", "1013.2"}},
        {"a missing humidity is a gap", "from=2026-03-02T09:30&to=2026-03-02T10:30",
         "outdoor_humidity", "mean", {"null", "null", "null"}},
        {"wind direction as the mean bearing", "from=2026-03-02T10:00&to=2026-03-02T10:00",
         "wind_direction", "mean", {"270"}},
    };
    for (const auto &c : cases) {
        const std::string json = body(s, std::string("/api/series?") + c.query);
        std::vector<std::string> got = array_of(json, "\"" + std::string(c.series) + "\":{", c.stat);
        if (got.size() > c.expected.size())
            got.resize(c.expected.size());
        EXPECT_EQ(got, c.expected) << c.name << "\n" << json.substr(0, 400);
    }
}

TEST(WebSeries, LongRangesAreAggregatedIntoTidyBucketsOfAtMost2000Points)
{
    ServedScenario s;
    const struct {
        const char *query;
        int bucket_minutes;
        std::size_t points;
    } cases[] = {
        {"from=2026-03-01&to=2026-03-01", 30, 48},      // never finer than the records
        {"from=2026-01-01&to=2026-03-31", 120, 1080},   // 90 days
        {"from=2025-03-02&to=2026-03-01", 360, 1460},   // a year
        {"from=2000-01-01&to=2026-12-31", 5 * 1440, 1973},  // 9862 days
    };
    for (const auto &c : cases) {
        const std::string json = body(s, std::string("/api/series?fields=outdoor_temperature&") + c.query);
        EXPECT_NE(json.find("\"bucket_minutes\":" + std::to_string(c.bucket_minutes) + ","),
                  std::string::npos)
            << c.query << ": " << json.substr(0, 120);
        EXPECT_EQ(array_of(json, "\"series\"", "min").size(), c.points) << c.query;
        EXPECT_EQ(array_of(json, "", "time").size(), c.points) << c.query;
    }
    // The quarter's bucket of 2026-03-01 00:00 to 02:00 holds -2.0 .. -0.5.
    const std::string quarter = body(s, "/api/series?from=2026-03-01&to=2026-03-01T01:59&fields=outdoor_temperature");
    EXPECT_EQ(array_of(quarter, "outdoor", "mean")[0], "-2.0");
    const std::string wide = body(s, "/api/series?from=2026-01-01&to=2026-03-31&fields=outdoor_temperature");
    const auto times = array_of(wide, "", "time");
    std::size_t march_first = 0;
    while (march_first < times.size() && times[march_first] != "\"2026-03-01T00:00\"")
        ++march_first;
    ASSERT_LT(march_first, times.size());
    EXPECT_EQ(array_of(wide, "outdoor", "min")[march_first], "-2.0");
    EXPECT_EQ(array_of(wide, "outdoor", "mean")[march_first], "-1.2");  // -1.25
    EXPECT_EQ(array_of(wide, "outdoor", "max")[march_first], "-0.5");
}

TEST(WebSeries, ValuesComeInTheConfiguredUnits)
{
    WebSettings fahrenheit;
    fahrenheit.units.temperature_unit = 1;
    fahrenheit.units.pressure_unit = 2;
    fahrenheit.units.rain_unit = 1;
    fahrenheit.units.pressure_kind = 0;
    ServedScenario s(fahrenheit);
    const std::string json = body(s, "/api/series?from=2026-03-02T10:00&to=2026-03-02T10:00");
    EXPECT_EQ(array_of(json, "\"outdoor_temperature\":{", "max"), std::vector<std::string>{"86.0"});
    // Absolute pressure, 1001.0 hPa in inches of mercury.
    EXPECT_EQ(array_of(json, "\"pressure\":{", "max"), std::vector<std::string>{"29.56"});
    EXPECT_NE(json.find("\"temperature\":\"°F\""), std::string::npos) << json.substr(0, 300);
}

TEST(WebSeries, ANonNumericTokenIsAGapNotBrokenJson)
{
    ServedScenario s(WebSettings{}, {web_test::record("2026-03-01", "00:00", "nan"),
                                     web_test::record("2026-03-01", "00:30", "inf"),
                                     web_test::record("2026-03-01", "01:00", "5.0")});
    const std::string json = body(s, "/api/series?from=2026-03-01T00:00&to=2026-03-01T01:00");
    EXPECT_EQ(array_of(json, "\"outdoor_temperature\"", "max"),
              (std::vector<std::string>{"null", "null", "5.0"}));
    EXPECT_EQ(json.find("nan"), std::string::npos);
    EXPECT_EQ(json.find("inf"), std::string::npos);
}

TEST(WebSummary, HighsAndLowsWithTheirTimesAndRainTotals)
{
    ServedScenario s;
    const struct {
        const char *query, *expected;
    } cases[] = {
        {"period=day&date=2026-03-01",
         "\"outdoor_temperature\":{\"min\":-2.0,\"min_time\":\"2026-03-01T00:00\",\"max\":6.5,"
         "\"max_time\":\"2026-03-01T11:30\"}"},
        {"period=day&date=2026-03-01",
         "\"pressure\":{\"min\":1013.2,\"min_time\":\"2026-03-01T00:00\",\"max\":1020.5,"
         "\"max_time\":\"2026-03-01T01:30\"}"},
        {"period=day&date=2026-03-01", "\"rain\":{\"total\":4.0,\"totals\":[{\"period\":\"2026-03-01\",\"total\":4.0}]}"},
        {"period=day&date=2026-03-05", "\"records\":0"},
        {"period=day&date=2026-03-05", "\"outdoor_temperature\":null"},
        // The newest record's day when no date is given.
        {"period=day", "\"label\":\"2026-03-02\""},
        {"period=month&date=2026-03-15",
         "\"outdoor_temperature\":{\"min\":-2.0,\"min_time\":\"2026-03-01T00:00\",\"max\":30.0,"
         "\"max_time\":\"2026-03-02T10:00\"}"},
        {"period=month&date=2026-03-15",
         "\"totals\":[{\"period\":\"2026-03-01\",\"total\":4.0},{\"period\":\"2026-03-02\",\"total\":2.0}]"},
        {"period=month&date=2026-03-15",
         "\"wind_gust\":{\"min\":15.0,\"min_time\":\"2026-03-01T00:00\",\"max\":41.5,"
         "\"max_time\":\"2026-03-02T10:00\"}"},
        {"period=year&date=2026-01-01", "\"totals\":[{\"period\":\"2026-03\",\"total\":6.0}]"},
        {"period=all",
         "\"outdoor_temperature\":{\"min\":-10.0,\"min_time\":\"2025-12-31T23:30\",\"max\":30.0"},
        {"period=all",
         "\"totals\":[{\"period\":\"2025\",\"total\":1.0},{\"period\":\"2026\",\"total\":6.0}]"},
    };
    for (const auto &c : cases) {
        const std::string json = body(s, std::string("/api/summary?") + c.query);
        EXPECT_NE(json.find(c.expected), std::string::npos) << c.query << "\n" << json;
    }
}

TEST(WebLive, TheConsolesReadingOrTheArchivesNewestMarkedStale)
{
    const std::string live = web_test::record("2026-03-03", "08:15", "7.5");
    const struct {
        const char *name;
        std::string record;
        int connected;
        std::string expected;
    } cases[] = {
        {"console connected", live, 1,
         "{\"source\":\"console\",\"stale\":false,\"read_at\":\"2026-03-03T08:15\""},
        {"console gone keeps its last reading, stale", live, 0,
         "{\"source\":\"console\",\"stale\":true,\"read_at\":\"2026-03-03T08:15\""},
        {"no reading yet: the archive's newest", "", 1,
         "{\"source\":\"archive\",\"stale\":true,\"read_at\":\"2026-03-02T10:00\""},
    };
    for (const auto &c : cases) {
        WebSettings settings;
        settings.live = [&](std::string *record, int *connected) {
            *record = c.record;
            *connected = c.connected;
        };
        settings.readings = [](const std::string &record) { return "{\"seen\":\"" + record.substr(3, 10) + "\"}"; };
        ServedScenario s(settings);
        const std::string json = body(s, "/api/live");
        EXPECT_EQ(json.rfind(c.expected, 0), 0u) << c.name << ": " << json;
        EXPECT_NE(json.find("\"readings\":{\"seen\":\"" + c.expected.substr(c.expected.size() - 17, 10)),
                  std::string::npos)
            << c.name << ": " << json;
    }
    // An empty archive and no console: nothing to show, said plainly.
    ServedScenario empty(WebSettings{}, {});
    EXPECT_EQ(body(empty, "/api/live"),
              "{\"source\":\"none\",\"stale\":true,\"read_at\":null,\"readings\":null}");
}

TEST(WebQueries, BadOrOversizedQueriesGet400WithAOneLineReason)
{
    ServedScenario s;
    const struct {
        std::string target;
        int status;
        const char *reason;
    } cases[] = {
        {"/api/series?from=yesterday", 400, "from: expected YYYY-MM-DD or YYYY-MM-DDTHH:MM, not \"yesterday\""},
        {"/api/series?from=2026-02-30", 400, "from: expected"},
        {"/api/series?to=2026-03-01T24:00", 400, "to: expected"},
        {"/api/series?from=2026-03-02&to=2026-03-01", 400, "from is after to"},
        {"/api/series?fields=outdoor_temperature,sunshine", 400, "fields: unknown field \"sunshine\""},
        {"/api/series?form=2026-03-01", 400, "unknown parameter \"form\""},
        {"/api/series?from=2026-03-01&from=2026-03-02", 400, "parameter \"from\" given twice"},
        {"/api/series?fields=" + std::string(600, 'a'), 400, "the query is longer than 512 bytes"},
        {"/api/summary?period=week", 400, "period: expected day, month, year or all, not \"week\""},
        {"/api/summary?period=day&date=2026-3-1", 400, "date: expected YYYY-MM-DD"},
        {"/api/export?from=2026-03-01", 400, "from and to go together"},
        {"/api/export?from=1.3.2026&to=2026-03-02", 400, "from and to: expected YYYY-MM-DD"},
        {"/api/report?period=2026-3", 400, "period: expected YYYY-MM or YYYY, not \"2026-3\""},
        {"/api/report?period=2026-04", 404, "the archive holds no records of 2026-04"},
        {"/api/report?period=2026-02&download=1", 404, "the archive holds no records of 2026-02"},
        {"/api/weather", 404, "no such API"},
        {"/english.ini", 404, "no such page"},
        {"/../../etc/passwd", 404, ""},
    };
    for (const auto &c : cases) {
        auto res = s.get(c.target);
        ASSERT_TRUE(res) << c.target;
        EXPECT_EQ(res->status, c.status) << c.target;
        EXPECT_EQ(res->body.find(c.reason), 0u) << c.target << ": " << res->body;
        if (c.status == 400) {
            EXPECT_EQ(res->body.find('\n'), res->body.size() - 1) << c.target << ": one line";
        }
    }
    // Nothing changes through the server: other methods are not served.
    httplib::Client client("127.0.0.1", s.port);
    auto post = client.Post("/api/series", "x", "text/plain");
    ASSERT_TRUE(post);
    EXPECT_GE(post->status, 400);
}

TEST(WebAddress, HttpSettingIsAddressColonPort)
{
    const struct {
        const char *text;
        int ok;
        const char *address;
        int port;
    } cases[] = {
        {"127.0.0.1:8470", 1, "127.0.0.1", 8470}, {"0.0.0.0:80", 1, "0.0.0.0", 80},
        {"[::1]:8470", 1, "::1", 8470},            {"localhost:0", 1, "localhost", 0},
        {"127.0.0.1", 0, "", 0},                   {":8470", 0, "", 0},
        {"127.0.0.1:", 0, "", 0},                  {"127.0.0.1:65536", 0, "", 0},
        {"127.0.0.1:84a0", 0, "", 0},              {"::1:8470", 0, "", 0},
    };
    for (const auto &c : cases) {
        std::string address;
        int port = -1;
        EXPECT_EQ(parse_http_address(c.text, &address, &port), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(address, c.address) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}
