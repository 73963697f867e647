// The upload worker and its HTTP client: blocking Winsock sockets with
// send and receive time-outs. Everything it does is silent towards the
// user; short diagnostics go to standard output.
#include <winsock2.h>

#include "upload/upload_worker_win32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/shell_win32.h"
#include "station/messages.h"
#include "upload/reply.h"
#include "upload/request.h"
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
constexpr int SERVICE_PORT = 80;
constexpr DWORD TIMEOUT_MS = 6000;
constexpr int CHUNK_BYTES = 1024;
constexpr int OPEN_ATTEMPTS = 5;
constexpr DWORD OPEN_PAUSE_MS = 1000;
// A socket whose time-out cannot be set is given up after this many tries
// rather than retried for ever.
constexpr int TIMEOUT_TRIES = 5;
// Only the first 1023 bytes of a reply are judged; reading on past this
// would let an endless reply take the process's memory.
constexpr long REPLY_LIMIT = 65536;

struct UploadConnection {
    SOCKET socket;
    int port;
    sockaddr_in address;
    int connected;
};

void diagnostic(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

int socket_error(SOCKET s)
{
    int error = 0;
    int size = sizeof error;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size);
    return error;
}

// Milliseconds left of the transaction begun at tick `begun`; 0 when none.
DWORD time_left(DWORD begun)
{
    const DWORD spent = GetTickCount() - begun;
    return spent < upload_deadline_ms ? upload_deadline_ms - spent : 0;
}

// Sets the send or receive time-out to 6 s, or to what is left of the
// transaction when that is less. 0 when no time is left or it cannot be set.
int set_timeout(SOCKET s, int option, const char *complaint, DWORD begun)
{
    const DWORD left = time_left(begun);
    if (left == 0)
        return 0;
    const DWORD ms = left < TIMEOUT_MS ? left : TIMEOUT_MS;
    for (int i = 0; i < TIMEOUT_TRIES; ++i) {
        if (setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char *>(&ms), sizeof ms) == 0)
            return 1;
        diagnostic(complaint);
    }
    return 0;
}

int open_upload_socket(UploadConnection *c, const char *host, int port)
{
    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0)
        return -1;
    std::memset(c, 0, sizeof *c);
    c->socket = INVALID_SOCKET;
    const hostent *found = gethostbyname(host);
    if (!found || found->h_addrtype != AF_INET || !found->h_addr_list || !found->h_addr_list[0])
        return -2;
    c->port = port;
    c->address.sin_family = AF_INET;
    c->address.sin_port = htons(static_cast<u_short>(port));
    std::memcpy(&c->address.sin_addr, found->h_addr_list[0], sizeof c->address.sin_addr);
    c->socket = socket(AF_INET, SOCK_STREAM, 0);
    return c->socket == INVALID_SOCKET ? -3 : 0;
}

int connect_upload_socket(UploadConnection *c)
{
    if (connect(c->socket, reinterpret_cast<const sockaddr *>(&c->address), sizeof c->address) != 0)
        return -1;
    c->connected = 1;
    return 0;
}

int send_all(UploadConnection *c, const char *bytes, int length, DWORD begun)
{
    int sent = 0;
    while (sent < length) {
        if (!set_timeout(c->socket, SO_SNDTIMEO, "set sendtimeout error/n", begun))
            return -1;
        const int n = send(c->socket, bytes + sent, length - sent, 0);
        if (n == SOCKET_ERROR) {
            if (socket_error(c->socket) == 0)
                diagnostic("send timeout!\n");
            return -1;
        }
        sent += n;
    }
    return sent;
}

long receive_all(UploadConnection *c, char **reply, long limit, DWORD begun)
{
    *reply = nullptr;
    long count = 0;
    char chunk[CHUNK_BYTES];
    while (limit == 0 || count < limit) {
        if (time_left(begun) == 0) {
            // A server trickling its reply must not hold every queued upload.
            diagnostic("recv timeout!\n");
            return -1;
        }
        if (!set_timeout(c->socket, SO_RCVTIMEO, "set revtimeout error/n", begun))
            return -1;
        const int n = recv(c->socket, chunk, sizeof chunk, 0);
        if (n == SOCKET_ERROR) {
            // Under Winsock a time-out leaves a pending error of its own; a
            // reset or abort ends the reply with what has arrived.
            const int error = WSAGetLastError();
            if (error != WSAETIMEDOUT && socket_error(c->socket) != 0)
                return count;
            diagnostic("recv timeout!\n");
            return -1;
        }
        if (n == 0)
            return count;
        char *grown = static_cast<char *>(std::realloc(*reply, count + n));
        if (!grown)
            return -2;
        *reply = grown;
        std::memcpy(*reply + count, chunk, n);
        count += n;
    }
    return count;
}

int transact_request(UploadConnection *c, const char *request, int service)
{
    char text[UPLOAD_REQUEST_BYTES];
    std::memcpy(text, request, sizeof text);
    text[sizeof text - 1] = 0;
    const int length = static_cast<int>(std::strlen(text));
    const DWORD begun = GetTickCount();
    if (connect_upload_socket(c) != 0)
        return 0;
    // The NUL goes out after the final empty line, as the services have
    // always received it.
    if (send_all(c, text, length + 1, begun) < 0)
        return 0;

    char *reply = nullptr;
    const long received = receive_all(c, &reply, REPLY_LIMIT, begun);
    char answer[REPLY_TEXT_BYTES];
    reply_text(reply, received > 0 ? static_cast<size_t>(received) : 0, answer);
    std::free(reply);
    if (!reply_accepted(answer, service))
        return 0;
    if (service == UPLOAD_WC)
        OutputDebugStringA(answer);
    const unsigned report = upload_report(service);
    SendMessageW(setup_page, report, 0, 0);
    return 1;
}

struct WorkerState {
    CRITICAL_SECTION lock;
    WcSpacing spacing;
    char request[UPLOAD_REQUEST_BYTES];
};

// The request buffer was allocated by the builder for this message alone.
void take_request(WorkerState &w, WPARAM wparam)
{
    std::memset(w.request, 0, sizeof w.request);
    char *handed = reinterpret_cast<char *>(wparam);
    if (!handed)
        return;
    std::memcpy(w.request, handed, sizeof w.request);
    w.request[sizeof w.request - 1] = 0;
    delete[] handed;
}

void locked_upload(WorkerState &w, int service)
{
    EnterCriticalSection(&w.lock);
    upload_to_host(w.request, service);
    LeaveCriticalSection(&w.lock);
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
        if (msg.message == UM_WU_REQUEST) {
            take_request(w, msg.wParam);
            locked_upload(w, UPLOAD_WU);
        } else if (msg.message == UM_WC_REQUEST) {
            take_request(w, msg.wParam);
            std::uint32_t start = 0;
            if (await_wc_slot(w.spacing, upload_clock, &start)) {
                locked_upload(w, UPLOAD_WC);
                wc_upload_begun(w.spacing, start);
            }
        }
    }
}
} // namespace

int upload_to_host(const char *request, int service)
{
    if (upload_server.discard)
        return 0;
    const bool redirected = upload_server.host[0] != 0;
    const char *host = redirected ? upload_server.host : upload_host(service);
    const int port = redirected ? upload_server.port : SERVICE_PORT;
    UploadConnection c;
    std::memset(&c, 0, sizeof c);
    c.socket = INVALID_SOCKET;
    int opened = -1;
    for (int attempt = 1; attempt <= OPEN_ATTEMPTS; ++attempt) {
        opened = open_upload_socket(&c, host, port);
        if (opened == 0 || attempt == OPEN_ATTEMPTS)
            break;
        // Each started library is released, so failed attempts leave none.
        if (opened != -1)
            WSACleanup();
        Sleep(OPEN_PAUSE_MS);
    }
    if (opened == 0)
        transact_request(&c, request, service);
    if (c.socket != INVALID_SOCKET)
        closesocket(c.socket);
    c.connected = 0;
    if (opened != -1)
        WSACleanup();
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
