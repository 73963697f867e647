// The page as a person sees it in a real headless chromium (through
// tools/page-check), against the server over the known archive: live
// values, a day's and a year's charts with the gap left out, a zoom, the
// highs table, another language and a phone-sized window.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "cli/live_text.h"
#include "web_scenario.h"

using web_test::ServedScenario;

namespace {

// What tools/page-check saw: its "name<TAB>text" lines, repeated names in
// order.
std::multimap<std::string, std::string> open_page(const std::string &url, const std::string &options)
{
    const std::string command = std::string(NIMBREL_SOURCE_DIR) + "/tools/page-check '" + url +
                                "' " + options + " 2>&1";
    std::multimap<std::string, std::string> seen;
    std::FILE *out = popen(command.c_str(), "r");
    if (!out)
        return seen;
    char line[4096];
    while (std::fgets(line, sizeof line, out)) {
        std::string l(line);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r'))
            l.pop_back();
        const std::size_t tab = l.find('\t');
        if (tab == std::string::npos)
            seen.emplace("output", l);
        else
            seen.emplace(l.substr(0, tab), l.substr(tab + 1));
    }
    pclose(out);
    return seen;
}

std::string first(const std::multimap<std::string, std::string> &seen, const std::string &name)
{
    auto it = seen.find(name);
    return it == seen.end() ? "<none>" : it->second;
}

int has_row(const std::multimap<std::string, std::string> &seen, const std::string &text)
{
    auto range = seen.equal_range("row");
    for (auto it = range.first; it != range.second; ++it)
        if (it->second.find(text) != std::string::npos)
            return 1;
    return 0;
}

// The live record of a connected console, shown through the same readings
// as `nimbrel live --json`.
WebSettings with_console(UnitSettings units = UnitSettings{})
{
    WebSettings settings;
    settings.units = units;
    settings.live = [](std::string *record, int *connected) {
        *record = web_test::record("2026-03-03", "08:15", "7.5", "64", "0.3", "1016.4", "12.6", "20.1", "225");
        *connected = 1;
    };
    settings.readings = [units](const std::string &record) {
        LiveValues values;
        decode_station_record(record.c_str(), &values);
        return live_json(values, units);
    };
    return settings;
}

// Every chart and its legend inside its frame, and the frames inside the
// window: nothing cut, nothing to scroll sideways.
void expect_inside_frames(const std::multimap<std::string, std::string> &seen, int window)
{
    EXPECT_LE(std::stoi(first(seen, "page-width")), window) << "the page scrolls sideways";
    int charts = 0;
    for (const char *name : {"temperature", "humidity", "pressure", "wind", "rain"}) {
        const std::string chart = first(seen, std::string("chart.") + name);
        const std::string legend = first(seen, std::string("legend.") + name);
        int frame = 0, legend_edge = 0, legend_frame = 0;
        ASSERT_EQ(std::sscanf(chart.c_str(), "%*d points, %*d px wide, right edge %d", &frame), 1) << chart;
        ASSERT_EQ(std::sscanf(legend.c_str(), "right edge %d of %d", &legend_edge, &legend_frame), 2) << legend;
        EXPECT_LE(frame, window) << name << ": " << chart;
        EXPECT_LT(legend_edge, legend_frame) << name << "'s legend is cut: " << legend;
        ++charts;
    }
    EXPECT_EQ(charts, 5);
}

} // namespace

TEST(WebPage, ShowsLiveValuesChartsAndHighsInAPcWindow)
{
    ServedScenario s(with_console());
    const auto day = open_page(s.url("/"), "--width=1200 --height=900");
    ASSERT_EQ(first(day, "ready"), "1") << first(day, "output");
    const struct {
        const char *name, *expected;
    } cases[] = {
        {"lang", "en"},
        {"connection", "USB connected"},
        {"read-at", "2026-03-03 08:15"},
        {"live.outdoor_temperature", "7.5°C"},
        {"live.outdoor_humidity", "64%"},
        {"live.wind_speed", "12.6km/h"},
        {"live.wind_direction", "E"},
        {"live.daily_rain", "0.3mm"},
        {"live.pressure", "1016.4hPa"},
        // The day before the newest record: 10:30 to 11:30 and the hot
        // morning of the 2nd; no line across the night between.
        {"range", "2026-03-01 10:01 – 2026-03-02 10:00"},
        {"chart.temperature", "4 points"},
        {"export", "api/export?from=2026-03-01&to=2026-03-02"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(first(day, c.name).rfind(c.expected, 0), 0u)
            << c.name << ": " << first(day, c.name);
    EXPECT_TRUE(has_row(day, "OUTDOOR · Temperature | 30.0 °C 2026-03-02 10:00 | -10.0 °C 2025-12-31 23:30"));
    EXPECT_TRUE(has_row(day, "2026 | 6.0 mm"));
    // The page grows a scroll bar once its tables are in: the charts narrow with it.
    expect_inside_frames(day, 1200);

    // A year in six-hour buckets: the four that hold records.
    const auto year = open_page(s.url("/?period=year"), "--width=1200 --height=900");
    EXPECT_EQ(first(year, "range").rfind("2025-03-02 10:01 – 2026-03-02 10:00", 0), 0u) << first(year, "range");
    EXPECT_EQ(first(year, "chart.temperature").rfind("4 points", 0), 0u) << first(year, "chart.temperature");

    // Dragging across the year's last weeks (up to the afternoon of the 1st
    // of March) asks the server for them anew: the 18 half-hour records of
    // that morning, each its own point.
    const auto zoomed = open_page(s.url("/?period=year"), "--width=1200 --height=900 --drag=temperature:0.9:0.999");
    EXPECT_EQ(first(zoomed, "range").rfind("2026-01-2", 0), 0u) << first(zoomed, "range");
    EXPECT_EQ(first(zoomed, "chart.temperature").rfind("18 points", 0), 0u) << first(zoomed, "chart.temperature");
}

TEST(WebPage, SpeaksTheBrowsersLanguageAndFitsAPhoneInOtherUnits)
{
    UnitSettings units;
    units.temperature_unit = 1;
    units.rain_unit = 1;
    units.pressure_unit = 2;
    units.wind_unit = 0;
    units.pressure_kind = 0;
    units.direction_style = 1;
    ServedScenario s(with_console(units));
    const auto phone = open_page(s.url("/"), "--width=390 --height=844 --lang=de-DE,de");
    ASSERT_EQ(first(phone, "ready"), "1") << first(phone, "output");
    EXPECT_EQ(first(phone, "lang"), "de");
    EXPECT_EQ(first(phone, "connection"), "USB verbunden");
    EXPECT_EQ(first(phone, "panel"), "INNEN");
    EXPECT_TRUE(has_row(phone, "AUSSEN · Temperatur | 86.0 °F"));
    const struct {
        const char *name, *expected;
    } shown[] = {
        {"live.outdoor_temperature", "45.5°F"}, {"live.pressure", "29.56inHg"},
        {"live.wind_speed", "7.8mph"},          {"live.wind_direction", "225°"},
        {"live.daily_rain", "0.01in"},          {"live.outdoor_humidity", "64%"},
    };
    for (const auto &c : shown)
        EXPECT_EQ(first(phone, c.name), c.expected) << c.name;
    // Nothing wider than the phone: no sideways scrolling, charts inside.
    EXPECT_EQ(first(phone, "viewport"), "390");
    expect_inside_frames(phone, 390);
}

// A 412-pixel phone in French, the longest captions, on the year's charts;
// the climate report of the newest record's month below them, its wide
// columns scrolled inside their own box rather than the page.
TEST(WebPage, FitsA412PixelPhoneWithTheMonthsReport)
{
    ServedScenario s(with_console());
    const auto phone = open_page(s.url("/?period=year"), "--width=412 --height=915 --lang=fr");
    ASSERT_EQ(first(phone, "ready"), "1") << first(phone, "output");
    EXPECT_EQ(first(phone, "viewport"), "412");
    expect_inside_frames(phone, 412);
    EXPECT_EQ(first(phone, "report"), "MONTHLY CLIMATOLOGICAL SUMMARY for MAR 2026");
    EXPECT_EQ(first(phone, "report-download"), "api/report?period=2026-03&download=1");
}
