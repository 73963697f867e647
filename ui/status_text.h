// Texts of the status bar: the logger value with its "%" and the progress
// line of a history download. Fixed buffers; a text that does not fit is cut.
#pragma once

constexpr int LOGGER_TEXT_UNITS = 32;   // 31 characters and the terminator
constexpr int PROGRESS_TEXT_UNITS = 64; // 63 characters and the terminator

// Percentage of a download: done / total * 100 in floating point, cut
// toward zero, kept within 0..100; 0 for a total that is not positive.
int progress_percent(long done, long total);

// "<word> <percent>% ...." cut to fit the progress buffer.
void make_progress_text(char16_t out[PROGRESS_TEXT_UNITS], const char16_t *word, int percent);

// The logger value (at most its first 32 characters) followed by "%", cut so
// that both fit the logger buffer.
void make_logger_text(char16_t out[LOGGER_TEXT_UNITS], const char16_t *value);
