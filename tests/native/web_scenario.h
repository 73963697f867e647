// A known archive for the web tests: a real SQLite file in a temporary
// folder, records every 30 minutes with a gap, a hot day, last year's cold
// night and a rainy morning, and a web server over it on a free loopback
// port.
#pragma once
#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "archive/archive.h"
#include "web/server.h"

namespace web_test {

// A station record with the readings the tests look at; the rest fixed.
inline std::string record(const char *date, const char *time, const char *outdoor_temp,
                          const char *outdoor_humidity = "80", const char *daily_rain = "0.0",
                          const char *pressure = "1013.2", const char *wind = "10.0",
                          const char *gust = "15.0", const char *direction = "90")
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "50 %s %s 21.0 45 %s %s %s 0.0 %s %s %s E %s 1001.0 2 1.5 %s 19.0 50 "
                  "--.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 5.0 0.0 1.0 12.0",
                  date, time, outdoor_temp, outdoor_humidity, daily_rain, wind, gust, direction,
                  pressure, outdoor_temp);
    return text;
}

// 2026-03-01: 00:00 to 05:30 and 09:00 to 11:30 every half hour (outdoor
// temperature -2.0, -1.5 ... rising by 0.5 a record), nothing from 06:00 to
// 08:30; rain from 09:00 (daily 0.5, 1.5, 1.5, 4.0, 4.0, 4.0 mm).
// 2026-03-02 10:00: 30.0 °C, humidity missing, daily rain 2.0 mm.
// 2025-12-31 23:30: -10.0 °C, 1.0 mm.
inline std::vector<std::string> scenario()
{
    std::vector<std::string> r;
    r.push_back(record("2025-12-31", "23:30", "-10.0", "90", "1.0"));
    char time[8], temp[16];
    for (int i = 0; i < 12; ++i) {
        std::snprintf(time, sizeof time, "%02d:%02d", i / 2, i % 2 * 30);
        std::snprintf(temp, sizeof temp, "%.1f", -2.0 + 0.5 * i);
        r.push_back(record("2026-3-1", time, temp, "80", "0.0", i == 3 ? "1020.5" : "1013.2"));
    }
    const char *rain[6] = {"0.5", "1.5", "1.5", "4.0", "4.0", "4.0"};
    for (int i = 0; i < 6; ++i) {
        std::snprintf(time, sizeof time, "%02d:%02d", 9 + i / 2, i % 2 * 30);
        std::snprintf(temp, sizeof temp, "%.1f", 4.0 + 0.5 * i);
        r.push_back(record("2026-3-1", time, temp, "70", rain[i]));
    }
    r.push_back(record("2026-03-02", "10:00", "30.0", "--", "2.0", "1009.0", "20.0", "41.5", "270"));
    return r;
}

// A folder of its own, removed at the end.
struct TempDir {
    std::string path;
    TempDir()
    {
        char name[] = "/tmp/nimbrel-web-XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// A server on a free loopback port over the scenario's archive.
struct ServedScenario {
    TempDir dir;
    WebServer *server = nullptr;
    int port = 0;
    explicit ServedScenario(WebSettings settings = WebSettings{},
                            const std::vector<std::string> &records = scenario())
    {
        Archive *archive;
        ArchiveError failure;
        std::string error;
        const std::string path = dir.path + "/archive.sqlite";
        EXPECT_TRUE(archive_open(path, &archive, &failure)) << failure.message;
        MergeCounts counts;
        EXPECT_TRUE(archive_merge(archive, records, 0, &counts, &failure)) << failure.message;
        EXPECT_EQ(counts.added, static_cast<long>(records.size()));
        archive_close(archive);
        settings.address = "127.0.0.1";
        settings.port = 0;
        settings.archive_path = path;
        EXPECT_TRUE(web_server_start(settings, &server, &error)) << error;
        port = web_server_port(server);
    }
    ~ServedScenario() { web_server_stop(server); }
    httplib::Result get(const std::string &target)
    {
        httplib::Client client("127.0.0.1", port);
        return client.Get(target);
    }
    std::string url(const std::string &target) const
    {
        return "http://127.0.0.1:" + std::to_string(port) + target;
    }
};

} // namespace web_test
