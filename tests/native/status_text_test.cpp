#include <gtest/gtest.h>

#include <string>

#include "ui/status_text.h"

namespace {
std::u16string progress(const char16_t *word, long done, long total)
{
    char16_t out[PROGRESS_TEXT_UNITS];
    make_progress_text(out, word, progress_percent(done, total));
    return out;
}
std::u16string logger(const char16_t *value)
{
    char16_t out[LOGGER_TEXT_UNITS];
    make_logger_text(out, value);
    return out;
}
} // namespace

TEST(StatusText, ProgressIsCutTowardZero)
{
    EXPECT_EQ(progress(u"Exporting", 1, 200), u"Exporting 0% ....");
    EXPECT_EQ(progress(u"Exporting", 100, 200), u"Exporting 50% ....");
    EXPECT_EQ(progress(u"Exporting", 199, 200), u"Exporting 99% ....");
    EXPECT_EQ(progress(u"Exporting", 200, 200), u"Exporting 100% ....");
    EXPECT_EQ(progress(u"Exportieren", 1, 3), u"Exportieren 33% ....");
}

TEST(StatusText, ProgressSurvivesImpossibleCounts)
{
    EXPECT_EQ(progress_percent(5, 0), 0);
    EXPECT_EQ(progress_percent(-3, 10), 0);
    EXPECT_EQ(progress_percent(65535, 1), 100);
    EXPECT_EQ(progress_percent(65535, 65535), 100);
}

TEST(StatusText, LongProgressWordIsCutButTheNumberStays)
{
    std::u16string word(300, u'x');
    std::u16string text = progress(word.c_str(), 1, 2);
    EXPECT_EQ(text.size(), static_cast<size_t>(PROGRESS_TEXT_UNITS - 1));
    EXPECT_EQ(text.substr(text.size() - 9), u" 50% ....");
}

TEST(StatusText, LoggerValueGetsPercentSignAndIsCut)
{
    EXPECT_EQ(logger(u"--"), u"--%");
    EXPECT_EQ(logger(u"37"), u"37%");
    EXPECT_EQ(logger(u""), u"%");
    std::u16string text = logger(std::u16string(40, u'9').c_str());
    EXPECT_EQ(text.size(), static_cast<size_t>(LOGGER_TEXT_UNITS - 1));
    EXPECT_EQ(text.back(), u'%');
}
