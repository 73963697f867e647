#include "upload/upload_worker_win32.h"

DWORD upload_thread_id;

static DWORD WINAPI upload_worker(LPVOID ready_event)
{
    MSG msg;
    // Creates the thread's queue before the starter is told it may post.
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(static_cast<HANDLE>(ready_event));
    for (;;) {
        // Requests are drained and dropped until the HTTP client exists.
        if (GetMessageW(&msg, nullptr, 0, 0) == -1)
            Sleep(100);
    }
}

int start_upload_worker()
{
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!ready)
        return 0;
    HANDLE thread = CreateThread(nullptr, 0, upload_worker, ready, 0, &upload_thread_id);
    if (!thread) {
        CloseHandle(ready);
        return 0;
    }
    CloseHandle(thread);
    WaitForSingleObject(ready, 5000);
    CloseHandle(ready);
    return 1;
}
