// The export file from the archive: the one way `export --archive` and the
// web page's export both write it.
#pragma once
#include "archive/archive.h"
#include "history/export_writer.h"

// The header, then a row per record with from <= minute <= to in the order
// the console sent them, each as the download's export writes it. 1 when
// the sink took it all; 0 when reading failed (with the reason) or the
// sink refused bytes (error->kind none).
int write_archive_export(Archive *archive, long long from, long long to,
                         const ExportRequest &request, const UnitSettings &units,
                         const ByteSink &sink, ArchiveError *error);
