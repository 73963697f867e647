#include "cli/archive_export.h"

#include <algorithm>
#include <cstring>
#include <memory>

int write_archive_export(Archive *archive, long long from, long long to,
                         const ExportRequest &request, const UnitSettings &units,
                         const ByteSink &sink, ArchiveError *error)
{
    *error = ArchiveError{};
    // Its own per export: two may run at once.
    const auto work = std::make_unique<ExportWorkspace>();
    std::uint8_t slot[RECORD_BYTES];
    int sink_ok = write_export_header(sink, units);
    const int read = sink_ok && archive_each(archive, from, to, [&](const ArchiveRecord &r) {
        // As a history slot holds it: the reader's longest record and the
        // zero after it.
        const std::size_t n = std::min<std::size_t>(r.length, RECORD_BYTES - 1);
        std::memcpy(slot, r.text, n);
        slot[n] = 0;
        sink_ok = write_record_row(sink, slot, request, units, work.get());
        return sink_ok;
    }, error);
    return sink_ok && read;
}
