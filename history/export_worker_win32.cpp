#include "history/export_worker_win32.h"

#include <atomic>

#include "ui/window_handles_win32.h"
#include "history/export_writer.h"
#include "history/temporary_file.h"
#include "station/messages.h"

namespace {

constexpr DWORD FINISH_WAIT_MS = 5000;
constexpr DWORD CANCEL_WAIT_MS = 1000;

// Rows go out through one 64 KiB buffer; the first refused write makes the
// whole export a failure rather than a short file reported as written.
struct FileWriter {
    HANDLE file;
    std::uint8_t buffer[65536];
    std::size_t used;
    int failed;
};

int flush(FileWriter &writer)
{
    std::size_t done = 0;
    while (!writer.failed && done < writer.used) {
        DWORD written = 0;
        if (!WriteFile(writer.file, writer.buffer + done, static_cast<DWORD>(writer.used - done),
                       &written, nullptr) ||
            written == 0)
            writer.failed = 1;
        done += written;
    }
    writer.used = 0;
    return !writer.failed;
}

int take(void *context, const std::uint8_t *bytes, std::size_t count)
{
    auto &writer = *static_cast<FileWriter *>(context);
    while (count > 0) {
        if (writer.used == sizeof writer.buffer && !flush(writer))
            return 0;
        std::size_t part = sizeof writer.buffer - writer.used;
        if (part > count)
            part = count;
        for (std::size_t i = 0; i < part; ++i)
            writer.buffer[writer.used + i] = bytes[i];
        writer.used += part;
        bytes += part;
        count -= part;
    }
    return !writer.failed;
}

// Working storage of the one export that runs at a time; too big for the
// thread's stack.
FileWriter file_writer;
ExportWorkspace workspace;

} // namespace

namespace {

constexpr unsigned TEMPORARY_TRIES = 100;

// A new file beside `file_name` for the export to grow in; its name in
// `temporary`. INVALID_HANDLE_VALUE when none can be made.
HANDLE create_temporary(const wchar_t *file_name, wchar_t (&temporary)[TEMPORARY_UNITS])
{
    const unsigned first = GetCurrentProcessId() * 7919u + GetTickCount();
    for (unsigned i = 0; i < TEMPORARY_TRIES; ++i) {
        if (!temporary_name_beside(file_name, true, first + i, temporary, TEMPORARY_UNITS))
            return INVALID_HANDLE_VALUE;
        HANDLE file = CreateFileW(temporary, GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

long run_export(const wchar_t *file_name, const HistoryStore &store,
                const ExportRequest &request, const UnitSettings &units, LinkFlags &flags)
{
    // export_cancel is cleared by the Export press: a cancel pressed since
    // then, also one just before this start, is the user's word on this file.
    flags.history_cancel = 0;
    if (flags.history_complete != 1)
        return EXPORT_FAILED;
    // The file grows under another name and takes the chosen one only when
    // whole: whatever stops it leaves the earlier file of that name as it was.
    wchar_t temporary[TEMPORARY_UNITS];
    HANDLE file = create_temporary(file_name, temporary);
    if (file == INVALID_HANDLE_VALUE)
        return EXPORT_FAILED;

    FileWriter &writer = file_writer;
    writer.file = file;
    writer.used = 0;
    writer.failed = 0;
    const ExportOutcome outcome =
        write_export(ByteSink{&writer, &take}, store, request, units, flags, &workspace);
    // On the disk before it takes the name: a power cut leaves the earlier
    // file or the whole new one, never a cut one.
    const int written =
        outcome == ExportOutcome::written && flush(writer) && FlushFileBuffers(file) != 0;
    const int closed = CloseHandle(file) != 0;

    if (outcome == ExportOutcome::cancelled) {
        DeleteFileW(temporary);
        flags.history_complete = 0;
        return EXPORT_ENDED;
    }
    if (written && closed &&
        MoveFileExW(temporary, file_name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return EXPORT_ENDED;
    DeleteFileW(temporary);
    return EXPORT_FAILED;
}

namespace {

// What the running export was started with: the page may change the
// request, the units or the file name while it writes.
struct ExportJob {
    wchar_t file_name[256];
    ExportRequest request;
    UnitSettings units;
};
ExportJob job;
HANDLE worker = nullptr; // the interface thread's only
std::atomic<int> running{0};
std::atomic<int> deferred{0}; // a completion waits for the running worker

} // namespace

DWORD WINAPI export_worker(void *)
{
    const long result = run_export(job.file_name, history_store, job.request, job.units, link_flags);
    SendMessageW(dashboard_page, UM_EXPORT_DONE, 0, result);
    link_flags.history_active = 0;
    running = 0;
    if (deferred.exchange(0))
        PostMessageW(dashboard_page, UM_HISTORY_COMPLETE, 0, 0);
    return 1;
}

int export_running() { return running; }

int defer_completion()
{
    // Whichever of this thread and the ending worker takes the mark acts on it.
    deferred = 1;
    if (running)
        return 1;
    return deferred.exchange(0) ? 0 : 1;
}

int start_export_worker(const wchar_t *file_name)
{
    if (running)
        return 0;
    lstrcpynW(job.file_name, file_name, 256);
    job.request = export_request;
    job.units = unit_settings;
    if (worker)
        CloseHandle(worker);
    running = 1;
    worker = CreateThread(nullptr, 0, export_worker, nullptr, 0, nullptr);
    if (worker == nullptr)
        running = 0;
    return worker != nullptr;
}

namespace {
// Waits up to `ms` for the worker, answering the message it sends to this
// thread meanwhile. 1 when it has ended.
int wait_worker(DWORD ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD got = MsgWaitForMultipleObjects(1, &worker, FALSE, 100, QS_SENDMESSAGE);
        if (got == WAIT_OBJECT_0)
            return 1;
        if (got == WAIT_FAILED || GetTickCount() - start >= ms)
            return 0;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
} // namespace

void finish_export_worker()
{
    if (!worker)
        return;
    // A file that cannot be finished in time is given up, so that the
    // worker removes what it wrote before the process ends under it.
    if (!wait_worker(FINISH_WAIT_MS)) {
        link_flags.export_cancel = 1;
        wait_worker(CANCEL_WAIT_MS);
    }
}
