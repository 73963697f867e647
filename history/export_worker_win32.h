// The export worker: a thread started by the dashboard when a download is
// complete, writing the export file and reporting with UM_EXPORT_DONE.
#pragma once
#include <windows.h>

#include "history/history_store.h"
#include "settings/unit_settings.h"
#include "station/link_state.h"

// The whole export into the named file: EXPORT_ENDED when it was written or
// cancelled (a cancelled file is deleted and history_complete cleared),
// EXPORT_FAILED when the download is not complete or the file cannot be
// created or written in full.
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

// At shutdown: waits a few seconds for a running worker, so that no cut
// file is left looking whole.
void finish_export_worker();
