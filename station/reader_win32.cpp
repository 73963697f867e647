// The reader thread: one overlapped 65-byte read at a time on the
// station's current I/O handle, each report handed to handle_report, whose
// reply is written and whose notifications are sent, in order, with
// SendMessageW (so the buffers handed over stay put until the window is done).
//
// start_reader and stop_reader run on the interface thread only; they alone
// create, retire and free Reader records. A reader ends when reader_stop or
// its own stop flag is set; the own flag keeps a retired reader from coming
// back when a newer reader clears reader_stop.
#include "station/reader_win32.h"

#include <cstring>
#include <new>

#include "history/history_store.h"
#include "station/link_state.h"
#include "station/messages.h"
#include "station/report_handler.h"
#include "station/station_device_win32.h"

namespace {

constexpr DWORD RETRY_PAUSE_MS = 100;
constexpr DWORD STOP_POLL_MS = 200;
constexpr DWORD RETIRE_WAIT_MS = 3000;

struct Reader {
    HANDLE thread;
    HANDLE event; // auto-reset, of the single overlapped read; signalled to wake the reader
    HWND target, status_bar;
    volatile LONG stop;
    ReaderState state;
};

Reader *current = nullptr;
// The waits for a reader's end answer sent messages, a device notice among
// them: no reader is started or freed from inside one.
int waiting = 0;

int stopping(const Reader *r) { return link_flags.reader_stop || r->stop; }

enum ReadResult { READ_OK, READ_FAILED };

void carry_out(const Reader *r, const ReportAction &action)
{
    // A stopped reader may be one left behind: it no longer speaks.
    for (int i = 0; i < action.count && !stopping(r); ++i) {
        const LinkStep &step = action.step[i];
        if (step.frame)
            send_command(step.frame); // a lost reply is answered by the console's resend
        else
            SendMessageW(step.receiver == TO_STATUS_BAR ? r->status_bar : r->target, step.message,
                         0, static_cast<LPARAM>(step.lparam));
    }
}

// One overlapped read. A read that fails at once, fails on completion or is
// cancelled for a stop is a failed read. The buffer and OVERLAPPED belong
// to this frame, so no read is left pending when it returns.
ReadResult read_report(Reader *r, HANDLE h, std::uint8_t *report)
{
    OVERLAPPED overlapped = {};
    overlapped.hEvent = r->event;
    DWORD got = 0;
    if (!ReadFile(h, report, REPORT_BYTES, nullptr, &overlapped)) {
        if (GetLastError() != ERROR_IO_PENDING)
            return READ_FAILED;
        // The time limit serves only to notice a stop whose signal came
        // before the read began: a quiet console, also one that left a
        // download half sent, keeps the read waiting while it is connected.
        while (!HasOverlappedIoCompleted(&overlapped)) {
            const DWORD wait = WaitForSingleObject(r->event, STOP_POLL_MS);
            if (HasOverlappedIoCompleted(&overlapped))
                break;
            if (wait == WAIT_FAILED || stopping(r)) {
                CancelIoEx(h, &overlapped);
                while (!HasOverlappedIoCompleted(&overlapped))
                    WaitForSingleObject(r->event, RETRY_PAUSE_MS);
                return READ_FAILED;
            }
        }
    }
    return GetOverlappedResult(h, &overlapped, &got, FALSE) ? READ_OK : READ_FAILED;
}

DWORD WINAPI reader_main(void *param)
{
    Reader *r = static_cast<Reader *>(param);
    const LinkContext link = {&link_counters, &link_flags, &history_store, export_request.file_name};
    std::uint8_t report[REPORT_BYTES];
    ReportAction action;
    while (!stopping(r)) {
        std::memset(report, 0, sizeof report);
        HANDLE h = station_io_handle();
        if (h == nullptr || h == INVALID_HANDLE_VALUE) {
            Sleep(RETRY_PAUSE_MS);
            continue;
        }
        if (read_report(r, h, report) != READ_OK) {
            // A broken handle fails every read at once: never spin on it.
            if (!stopping(r))
                Sleep(RETRY_PAUSE_MS);
            continue;
        }
        if (stopping(r))
            break;
        handle_report(report, r->state, link, action);
        // A cancel pressed while the handler read the flags may land before
        // it marks a download active; pages go unanswered while cancelled,
        // so no download runs, and Export must not stay refused.
        if (link_flags.history_cancel == 1)
            link_flags.history_active = 0;
        carry_out(r, action);
    }
    return 1;
}

// Waits for a stopped reader to end, still answering the messages it sends
// to this thread's windows meanwhile (it may be inside SendMessageW).
int wait_reader_end(Reader *r)
{
    struct Mark {
        Mark() { waiting = 1; }
        ~Mark() { waiting = 0; }
    } mark;
    const DWORD start = GetTickCount();
    for (;;) {
        SetEvent(r->event);
        const DWORD got = MsgWaitForMultipleObjects(1, &r->thread, FALSE, RETRY_PAUSE_MS, QS_SENDMESSAGE);
        if (got == WAIT_OBJECT_0)
            return 1;
        if (got == WAIT_OBJECT_0 + 1) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else if (got == WAIT_FAILED) {
            return 0;
        }
        if (GetTickCount() - start > RETIRE_WAIT_MS)
            return 0;
    }
}

void free_reader(Reader *r)
{
    CloseHandle(r->thread);
    CloseHandle(r->event);
    delete r;
}

} // namespace

int start_reader(HWND target_window, HWND status_bar)
{
    if (waiting)
        return 1; // the start or stop under way decides
    if (current) {
        if (WaitForSingleObject(current->thread, 0) == WAIT_TIMEOUT && !stopping(current))
            return 1; // the running reader goes on
        current->stop = 1;
        if (wait_reader_end(current))
            free_reader(current);
        // else: it is stuck ending; its own stop flag keeps it from acting, and
        // its record is left to it rather than freed under its feet.
        current = nullptr;
    }

    Reader *r = new (std::nothrow) Reader{};
    if (!r)
        return 0;
    r->target = target_window;
    r->status_bar = status_bar;
    r->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!r->event) {
        delete r;
        return 0;
    }
    link_flags.reader_stop = 0; // before the thread runs, so that an early stop is not lost
    r->thread = CreateThread(nullptr, 0, reader_main, r, 0, nullptr);
    if (!r->thread) {
        CloseHandle(r->event);
        delete r;
        return 0;
    }
    current = r;
    return 1;
}

void stop_reader()
{
    link_flags.reader_stop = 1;
    if (current) {
        current->stop = 1;
        SetEvent(current->event);
    }
}

int finish_reader()
{
    stop_reader();
    if (waiting)
        return 0; // the wait under way still uses the record
    if (!current)
        return 1;
    if (!wait_reader_end(current))
        return 0; // left to end on its own; its record is not freed under it
    free_reader(current);
    current = nullptr;
    return 1;
}
