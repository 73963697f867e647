// The export worker: a thread started by the dashboard when a download is
// complete, writing the export file and reporting with UM_EXPORT_DONE.
#pragma once
#include <windows.h>

#include "history/history_store.h"
#include "settings/unit_settings.h"
#include "station/link_state.h"

// The whole export into the named file, written beside it and moved over
// it only when complete: EXPORT_ENDED when it was written or cancelled (a
// cancel leaves an earlier file of that name as it was and clears
// history_complete), EXPORT_FAILED when the download is not complete or the
// file cannot be created, written in full or put in place. export_cancel
// (cleared only by the Export press) stops it, and so does history_cancel
// set while it writes (the status bar, the console, an unplug).
long run_export(const wchar_t *file_name, const HistoryStore &store,
                const ExportRequest &request, const UnitSettings &units, LinkFlags &flags);

// Thread body: run_export over a copy of the request and units taken at the
// start, UM_EXPORT_DONE to the dashboard, then history_active 0.
DWORD WINAPI export_worker(void *);

// Starts the worker on the named file; 0 when one is running already or the
// thread cannot be created.
int start_export_worker(const wchar_t *file_name);

// 1 from the worker's start until its last act, whatever cleared history_active.
int export_running();

// A download completed while a file is written: 1 when the running worker,
// once ended, hands the completion back to the dashboard (posted
// UM_HISTORY_COMPLETE); 0 when it has ended already and the caller starts
// the next one itself.
int defer_completion();

// At shutdown: waits a few seconds for a running worker to finish its file,
// then cancels it and waits a little more, so that it removes its
// unfinished file before the process ends.
void finish_export_worker();
