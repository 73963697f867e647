#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "history/export_checks.h"
#include "text16.h"

namespace {

struct Typed {
    std::u16string text[6];
    DateFields fields() const
    {
        return DateFields{{text[0].c_str(), text[1].c_str(), text[2].c_str(), text[3].c_str(),
                           text[4].c_str(), text[5].c_str()}};
    }
};

Typed typed(const char *sy, const char *sm, const char *sd, const char *ey, const char *em,
            const char *ed)
{
    return Typed{{utf16(sy), utf16(sm), utf16(sd), utf16(ey), utf16(em), utf16(ed)}};
}

std::string message_of(const char16_t *message)
{
    return message == nullptr ? "accepted" : utf8(message);
}

const int all_sets[15] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

TEST(ExportChecks, DateFieldRules)
{
    struct Case {
        Typed dates;
        const char *expected;
    } cases[] = {
        {typed("2018", "1", "5", "2018", "1", "5"), "accepted"},
        {typed("201", "1", "5", "2018", "1", "5"), "Year input error !"},
        {typed("", "1", "5", "2018", "1", "5"), "Year input error !"},
        {typed("0000", "1", "5", "2018", "1", "5"), "accepted"},
        {typed("1999", "1", "5", "2018", "1", "5"), "accepted"},
        {typed("2018", "1", "5", "2016", "1", "5"), "Year input error !"},
        {typed("2018", "1", "5", "2017", "1", "5"), "accepted"},
        {typed("2018", "1", "5", "", "1", "5"), "Year input error !"},
        {typed("2018", "0", "5", "2018", "1", "5"), "Month input error !"},
        {typed("2018", "00", "5", "2018", "1", "5"), "Month input error !"},
        {typed("2018", "13", "5", "2018", "1", "5"), "Month input error !"},
        {typed("2018", "", "5", "2018", "1", "5"), "Month input error !"},
        {typed("2018", "1", "5", "2018", "13", "5"), "Month input error !"},
        {typed("2018", "1", "0", "2018", "1", "5"), "Day input error !"},
        {typed("2018", "1", "32", "2018", "1", "5"), "Day input error !"},
        {typed("2018", "1", "5", "2018", "1", "32"), "Day input error !"},
        {typed("2018", "2", "31", "2018", "2", "31"), "accepted"},
        {typed("2018", "12", "31", "2018", "1", "1"), "accepted"},
        // A bad start month wins over a bad end year.
        {typed("2018", "13", "5", "2016", "1", "5"), "Month input error !"},
        // Characters beyond a field's limit are not read: "123" is "12".
        {typed("2018", "123", "5", "2018", "1", "5"), "accepted"},
        {typed("20189", "1", "5", "2018", "1", "5"), "accepted"},
        // Pasted texts that are not all digits: that field's message.
        {typed("2018", "1a", "5", "2018", "1", "5"), "Month input error !"},
        {typed("2018", "1", "5 ", "2018", "1", "5"), "Day input error !"},
        {typed("2018", "1", "5", "2018", "1", "+5"), "Day input error !"},
        {typed("201x", "1", "5", "2018", "1", "5"), "Year input error !"},
    };
    for (const Case &c : cases) {
        ExportRequest request{};
        EXPECT_EQ(message_of(check_export_fields(0, c.dates.fields(), all_sets, request)),
                  c.expected)
            << utf8(c.dates.text[0].c_str()) << "-" << utf8(c.dates.text[1].c_str()) << "-"
            << utf8(c.dates.text[2].c_str()) << " .. " << utf8(c.dates.text[3].c_str()) << "-"
            << utf8(c.dates.text[4].c_str()) << "-" << utf8(c.dates.text[5].c_str());
    }
}

TEST(ExportChecks, PeriodTextsAreKeptAsTyped)
{
    ExportRequest request{};
    ASSERT_EQ(check_export_fields(0, typed("2018", "09", "5", "2019", "1", "31").fields(), all_sets,
                                  request),
              nullptr);
    EXPECT_EQ(utf8(request.period_start), "2018-09-5");
    EXPECT_EQ(utf8(request.period_end), "2019-1-31");
    EXPECT_EQ(request.whole_period, 0);
}

TEST(ExportChecks, RejectionUpdatesTheRequestOnlyAsFarAsItGot)
{
    ExportRequest request{};
    const int none[15] = {};
    ASSERT_EQ(check_export_fields(1, typed("", "", "", "", "", "").fields(), none, request), nullptr);
    std::memcpy(request.period_end, u"old", 8);

    // The start passes, the end year does not: the new start text stays,
    // the end text and the data-set flags keep their earlier values.
    EXPECT_EQ(message_of(check_export_fields(0, typed("2018", "1", "5", "2016", "1", "1").fields(),
                                             all_sets, request)),
              "Year input error !");
    EXPECT_EQ(request.whole_period, 0);
    EXPECT_EQ(utf8(request.period_start), "2018-1-5");
    EXPECT_EQ(utf8(request.period_end), "old");
    for (int flag : request.data_set)
        EXPECT_EQ(flag, 0);
}

TEST(ExportChecks, WholePeriodSkipsTheDates)
{
    ExportRequest request{};
    std::memcpy(request.period_start, u"keep", 10);
    const int some[15] = {1, 0, 1};
    EXPECT_EQ(check_export_fields(1, typed("", "", "", "", "", "").fields(), some, request), nullptr);
    EXPECT_EQ(request.whole_period, 1);
    EXPECT_EQ(utf8(request.period_start), "keep");
    EXPECT_EQ(request.data_set[0], 1);
    EXPECT_EQ(request.data_set[1], 0);
    EXPECT_EQ(request.data_set[2], 1);
}

TEST(ExportChecks, FieldNumberReadsLikeAtoi)
{
    struct Case {
        const char *text;
        int expected;
    } cases[] = {{"12", 12}, {"09", 9}, {" 7", 7}, {"-3", -3}, {"", 0}, {"x1", 0}, {"1x", 1},
                 {"99999999999999999999", field_number(u"99999999999999999999")}};
    for (const Case &c : cases)
        EXPECT_EQ(field_number(utf16(c.text).c_str()), c.expected) << "'" << c.text << "'";
    EXPECT_GT(field_number(u"99999999999999999999"), 0) << "a long text must not wrap negative";
}

TEST(ExportChecks, FileNameRules)
{
    const std::string too_long = "C:\\" + std::string(249, 'a') + ".csv"; // 255 + 1
    struct Case {
        std::string path;
        const char *expected;
    } cases[] = {
        {"C:\\data\\report.csv", "accepted"},
        {"report.CSV", "accepted"},
        {"report.Xls", "accepted"},
        {".xls", "accepted"},
        {"report.txt", "File name error!"},
        {"report.csv.bak", "File name error!"},
        {"csv", "File name error!"},
        {"", "File name error!"},
        {"report.c\xC2\xB0v", "File name error!"},
        {too_long.substr(1), "accepted"}, // exactly 255
        {too_long, "The path of the file is too long (at most 255 characters)!"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(message_of(check_export_file_name(utf16(c.path).c_str())), c.expected)
            << "'" << c.path << "' (" << c.path.size() << " characters)";
}

TEST(ExportChecks, StoredNameReplacesTheWholeOldOne)
{
    ExportRequest request{};
    store_export_file_name(u"C:\\a\\much-longer-name.csv", request);
    store_export_file_name(u"b.xls", request);
    EXPECT_EQ(utf8(request.file_name), "b.xls");
    EXPECT_EQ(request.file_name[255], 0);
}

} // namespace
