// The one HTTP client of both builds: BSD sockets, with Winsock's start and
// clean-up around them on Windows.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "upload/http_client.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t TIMEOUT_MS = 6000;
constexpr int CHUNK_BYTES = 1024;
constexpr int OPEN_ATTEMPTS = 5;
constexpr auto OPEN_PAUSE = std::chrono::seconds(1);
// A socket whose time-out cannot be set is given up after this many tries
// rather than retried for ever.
constexpr int TIMEOUT_TRIES = 5;
// Only the first 1023 bytes of a reply are judged; reading on past this
// would let an endless reply hold the worker.
constexpr long REPLY_LIMIT = 65536;

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket NO_SOCKET = INVALID_SOCKET;
constexpr int SEND_FLAGS = 0;

bool start_sockets()
{
    WSADATA data;
    return WSAStartup(0x0101, &data) == 0;
}

void stop_sockets()
{
    WSACleanup();
}

void close_socket(Socket s)
{
    closesocket(s);
}

int socket_error(Socket s)
{
    int error = 0;
    int size = sizeof error;
    getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size);
    return error;
}

// The failed send or receive ran out of time rather than found the
// connection reset or aborted. Under Winsock a time-out leaves a pending
// error of its own.
bool timed_out(Socket s)
{
    return WSAGetLastError() == WSAETIMEDOUT || socket_error(s) == 0;
}

bool set_option_ms(Socket s, int option, std::uint32_t ms)
{
    const DWORD value = ms;
    return setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char *>(&value), sizeof value) == 0;
}
#else
using Socket = int;
constexpr Socket NO_SOCKET = -1;
// A server that has gone away must not end the process with SIGPIPE.
constexpr int SEND_FLAGS = MSG_NOSIGNAL;

bool start_sockets()
{
    return true;
}

void stop_sockets() {}

void close_socket(Socket s)
{
    close(s);
}

bool timed_out(Socket)
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

bool set_option_ms(Socket s, int option, std::uint32_t ms)
{
    timeval value = {};
    value.tv_sec = static_cast<time_t>(ms / 1000);
    value.tv_usec = static_cast<suseconds_t>(ms % 1000 * 1000);
    return setsockopt(s, SOL_SOCKET, option, &value, sizeof value) == 0;
}
#endif

void diagnostic(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

// Milliseconds left before `end`; 0 when none.
std::uint32_t time_left(Clock::time_point end)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

// Sets the send or receive time-out to 6 s, or to what is left of the
// transaction when that is less. 0 when no time is left or it cannot be set.
int set_timeout(Socket s, int option, const char *complaint, Clock::time_point end)
{
    const std::uint32_t left = time_left(end);
    if (left == 0)
        return 0;
    const std::uint32_t ms = left < TIMEOUT_MS ? left : TIMEOUT_MS;
    for (int i = 0; i < TIMEOUT_TRIES; ++i) {
        if (set_option_ms(s, option, ms))
            return 1;
        diagnostic(complaint);
    }
    return 0;
}

// The host's first IPv4 address and a fresh socket; NO_SOCKET when the
// host is unknown or no socket is to be had.
Socket open_socket(const HttpTarget &target, sockaddr_in *address)
{
    const hostent *found = gethostbyname(target.host);
    if (!found || found->h_addrtype != AF_INET || !found->h_addr_list || !found->h_addr_list[0])
        return NO_SOCKET;
    std::memset(address, 0, sizeof *address);
    address->sin_family = AF_INET;
    address->sin_port = htons(static_cast<unsigned short>(target.port));
    std::memcpy(&address->sin_addr, found->h_addr_list[0], sizeof address->sin_addr);
    return socket(AF_INET, SOCK_STREAM, 0);
}

int send_all(Socket s, const char *bytes, int length, Clock::time_point end)
{
    int sent = 0;
    while (sent < length) {
        if (!set_timeout(s, SO_SNDTIMEO, "set sendtimeout error/n", end))
            return -1;
        const int n = static_cast<int>(send(s, bytes + sent, length - sent, SEND_FLAGS));
        if (n < 0) {
            if (timed_out(s))
                diagnostic("send timeout!\n");
            return -1;
        }
        sent += n;
    }
    return sent;
}

// Reads the reply until the server closes, up to REPLY_LIMIT bytes, keeping
// the first ones that are judged. Its length, or -1 on a time-out or a
// reset before any byte arrived.
long receive_all(Socket s, char kept[REPLY_TEXT_BYTES], Clock::time_point end)
{
    long count = 0;
    char chunk[CHUNK_BYTES];
    while (count < REPLY_LIMIT) {
        if (time_left(end) == 0) {
            // A server trickling its reply must not hold every queued upload.
            diagnostic("recv timeout!\n");
            return -1;
        }
        if (!set_timeout(s, SO_RCVTIMEO, "set revtimeout error/n", end))
            return -1;
        const int n = static_cast<int>(recv(s, chunk, sizeof chunk, 0));
        if (n < 0) {
            // A reset or abort ends the reply with what has arrived.
            if (!timed_out(s))
                return count > 0 ? count : -1;
            diagnostic("recv timeout!\n");
            return -1;
        }
        if (n == 0)
            return count;
        if (count < REPLY_TEXT_BYTES) {
            const long room = REPLY_TEXT_BYTES - count;
            std::memcpy(kept + count, chunk, n < room ? n : room);
        }
        count += n;
    }
    return count;
}

int transact(Socket s, const sockaddr_in &address, const HttpTarget &target, const char *request,
             char answer[REPLY_TEXT_BYTES])
{
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(target.deadline_ms);
    // A host that never answers the handshake would hold the worker for
    // minutes; the send time-out bounds connect too where the system lets it.
    if (!set_timeout(s, SO_SNDTIMEO, "set sendtimeout error/n", end) ||
        connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return 0;
    // The NUL goes out after the final empty line, as the services have
    // always received it.
    const int length = static_cast<int>(std::strlen(request)) + 1;
    if (send_all(s, request, length, end) < 0)
        return 0;
    char kept[REPLY_TEXT_BYTES];
    const long received = receive_all(s, kept, end);
    if (received < 0)
        return 0;
    reply_text(kept, received < REPLY_TEXT_BYTES ? static_cast<std::size_t>(received) : REPLY_TEXT_BYTES,
               answer);
    return 1;
}
} // namespace

int http_transact(const HttpTarget &target, const char *request, char answer[REPLY_TEXT_BYTES])
{
    answer[0] = 0;
    sockaddr_in address;
    Socket s = NO_SOCKET;
    for (int attempt = 1;; ++attempt) {
        const bool started = start_sockets();
        if (started) {
            s = open_socket(target, &address);
            if (s != NO_SOCKET)
                break;
            // Each started library is released, so failed attempts leave none.
            stop_sockets();
        }
        if (attempt == OPEN_ATTEMPTS)
            return 0;
        std::this_thread::sleep_for(OPEN_PAUSE);
    }
    const int replied = transact(s, address, target, request, answer);
    close_socket(s);
    stop_sockets();
    return replied;
}
