// The upload worker: takes requests from its queue, keeps the Weathercloud
// spacing and hands each request to the HTTP client. Everything it does is
// silent towards the user; the client's diagnostics go to standard output.
#include "upload/upload_worker_win32.h"

#include <cstdio>
#include <cstring>

#include "ui/window_handles_win32.h"
#include "station/messages.h"
#include "upload/http_client.h"
#include "upload/reply.h"
#include "upload/request.h"
#include "upload/service_table.h"
#include "upload/spacing.h"

DWORD upload_thread_id;
UploadServer upload_server;
DWORD upload_deadline_ms = 30000;

namespace {
std::uint32_t tick_count(void *)
{
    return GetTickCount();
}

void pause_ms(void *, std::uint32_t ms)
{
    Sleep(ms);
}
} // namespace

UploadClock upload_clock = {tick_count, pause_ms, nullptr};

namespace {

// A request taken from the queue, with the round it was built in.
struct Taken {
    char request[UPLOAD_REQUEST_BYTES];
    unsigned round;
};

struct WorkerState {
    CRITICAL_SECTION lock;
    WcSpacing spacing;
    Taken taken;
};

// The request buffer was allocated by the builder for this message alone.
void take_request(Taken &taken, const MSG &msg)
{
    std::memset(taken.request, 0, sizeof taken.request);
    taken.round = static_cast<unsigned>(msg.lParam);
    char *handed = reinterpret_cast<char *>(msg.wParam);
    if (!handed)
        return;
    std::memcpy(taken.request, handed, sizeof taken.request);
    taken.request[sizeof taken.request - 1] = 0;
    delete[] handed;
}

void locked_upload(WorkerState &w, int service)
{
    EnterCriticalSection(&w.lock);
    upload_to_host(w.taken.request, service, w.taken.round);
    LeaveCriticalSection(&w.lock);
}

// One request at a time, in the order they came. A Weathercloud request
// waits here for its ten-minute slot, and whatever comes meanwhile, of
// either service, waits in the queue behind it.
void handle(WorkerState &w, const MSG &msg)
{
    if (msg.message == UM_WU_REQUEST) {
        take_request(w.taken, msg);
        locked_upload(w, UPLOAD_WU);
    } else if (msg.message == UM_WC_REQUEST) {
        take_request(w.taken, msg);
        std::uint32_t start = 0;
        if (!await_wc_slot(w.spacing, upload_clock, &start)) {
            say_upload_dropped(UPLOAD_WC, "ten minutes have not passed since the last one");
            return;
        }
        locked_upload(w, UPLOAD_WC);
        wc_upload_begun(w.spacing, start);
    }
}

DWORD WINAPI upload_worker(LPVOID ready_event)
{
    static WorkerState w;
    MSG msg;
    // Creates the thread's queue before the starter is told it may post.
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    InitializeCriticalSection(&w.lock);
    w.spacing = WcSpacing{};
    SetEvent(static_cast<HANDLE>(ready_event));
    for (;;) {
        if (GetMessageW(&msg, nullptr, 0, 0) == -1) {
            Sleep(100);
            continue;
        }
        handle(w, msg);
    }
}
} // namespace

void say_upload_dropped(int service, const char *why)
{
    std::printf("%s: upload dropped: %s\n", service_row(service).shown_name, why);
    std::fflush(stdout);
}

int upload_to_host(const char *request, int service, unsigned round)
{
    if (upload_server.discard) {
        say_upload_dropped(service, "the simulated console's weather goes nowhere");
        return 0;
    }
    const bool redirected = upload_server.host[0] != 0;
    const char *host = redirected ? upload_server.host : upload_host(service);
    const int port = redirected ? upload_server.port : service_row(service).port;
    // The worker's buffer is cut to its size; a caller's text is read no
    // further than its NUL.
    char text[UPLOAD_REQUEST_BYTES];
    std::strncpy(text, request, sizeof text - 1);
    text[sizeof text - 1] = 0;
    char answer[REPLY_TEXT_BYTES];
    if (!http_transact(HttpTarget{host, port, upload_deadline_ms}, text, answer)) {
        say_upload_dropped(service, "no reply");
        return 0;
    }
    if (!reply_accepted(answer, service)) {
        say_upload_dropped(service, "the service did not take it");
        return 0;
    }
    if (service == UPLOAD_WC)
        OutputDebugStringA(answer);
    SendMessageW(setup_page, upload_report(service), round, 0);
    return 0;
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
