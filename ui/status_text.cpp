#include "ui/status_text.h"

#include <cstdio>

namespace {
// Appends text to out[*at] while room remains for the terminator.
void append(char16_t *out, int capacity, int *at, const char16_t *text, int limit = -1)
{
    for (int i = 0; text[i] && (limit < 0 || i < limit) && *at < capacity - 1; ++i)
        out[(*at)++] = text[i];
    out[*at] = 0;
}

void append_ascii(char16_t *out, int capacity, int *at, const char *text)
{
    for (int i = 0; text[i] && *at < capacity - 1; ++i)
        out[(*at)++] = static_cast<char16_t>(text[i]);
    out[*at] = 0;
}
} // namespace

int progress_percent(long done, long total)
{
    if (total <= 0 || done <= 0)
        return 0;
    double percent = static_cast<double>(done) / static_cast<double>(total) * 100.0;
    return percent >= 100.0 ? 100 : static_cast<int>(percent);
}

void make_progress_text(char16_t out[PROGRESS_TEXT_UNITS], const char16_t *word, int percent)
{
    char number[24];
    std::snprintf(number, sizeof number, " %d%% ....", percent);
    // The number and its dots always show: the word gives way first.
    int tail = 0;
    while (number[tail])
        ++tail;
    int at = 0;
    out[0] = 0;
    append(out, PROGRESS_TEXT_UNITS - tail, &at, word);
    append_ascii(out, PROGRESS_TEXT_UNITS, &at, number);
}

void make_logger_text(char16_t out[LOGGER_TEXT_UNITS], const char16_t *value)
{
    int at = 0;
    out[0] = 0;
    append(out, LOGGER_TEXT_UNITS - 1, &at, value, 32);
    append_ascii(out, LOGGER_TEXT_UNITS, &at, "%");
}
