// The upload worker: one thread for the whole run that takes finished
// request texts from its thread message queue.
#pragma once
#include <windows.h>

// Thread identifier of the worker, for PostThreadMessageW (0 before start).
extern DWORD upload_thread_id;

// Starts the worker and waits until its message queue exists, so that a
// request posted right after start-up is not lost. 1 on success.
int start_upload_worker();
