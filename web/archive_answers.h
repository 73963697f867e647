// The charts and the highs and lows filled from the archive: long ranges
// from its hour and day summaries, the rest (and the odd minutes at either
// end of a range) from its records. Both ways give the same answer.
#pragma once
#include "archive/archive.h"
#include "web/api.h"

enum class AnswerSource { summaries, records };

// The builder has been started with its request.
int series_from_archive(Archive *archive, SeriesBuilder *builder, AnswerSource source,
                        ArchiveError *error);
int summary_from_archive(Archive *archive, SummaryBuilder *builder, AnswerSource source,
                         ArchiveError *error);
