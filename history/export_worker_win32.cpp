#include "history/export_worker_win32.h"

#include <atomic>


#include "app/window_handles_win32.h"
#include "history/export_writer.h"
#include "station/messages.h"

namespace {

constexpr DWORD FINISH_WAIT_MS = 5000;

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

long run_export(const wchar_t *file_name, const HistoryStore &store,
                const ExportRequest &request, const UnitSettings &units, LinkFlags &flags)
{
    flags.history_cancel = 0;
    flags.export_cancel = 0;
    if (flags.history_complete != 1)
        return EXPORT_FAILED;
    HANDLE file = CreateFileW(file_name, GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return EXPORT_FAILED;

    FileWriter &writer = file_writer;
    writer.file = file;
    writer.used = 0;
    writer.failed = 0;
    const ExportOutcome outcome =
        write_export(ByteSink{&writer, &take}, store, request, units, flags, &workspace);
    const int written = outcome == ExportOutcome::written && flush(writer);
    const int closed = CloseHandle(file) != 0;

    if (outcome == ExportOutcome::cancelled) {
        DeleteFileW(file_name);
        flags.history_complete = 0;
        return EXPORT_ENDED;
    }
    if (written && closed)
        return EXPORT_ENDED;
    // A short file would pass for a complete export.
    DeleteFileW(file_name);
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

} // namespace

DWORD WINAPI export_worker(void *)
{
    const long result = run_export(job.file_name, history_store, job.request, job.units, link_flags);
    SendMessageW(dashboard_page, UM_EXPORT_DONE, 0, result);
    link_flags.history_active = 0;
    running = 0;
    return 1;
}

int export_running() { return running; }

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

void finish_export_worker()
{
    if (!worker)
        return;
    // The worker's last message is sent to this thread: answer it while waiting.
    const DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &worker, FALSE, 100, QS_SENDMESSAGE) != WAIT_OBJECT_0 &&
           GetTickCount() - start < FINISH_WAIT_MS) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
