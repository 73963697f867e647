// The companion's service transports: libcurl for HTTP(S), BSD sockets
// with poll() deadlines for APRS-IS.
#include "upload/service_transport.h"

#include "upload/curl_library.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

// Only the start of a reply is judged; reading on would let an endless
// reply hold the worker and its memory.
constexpr std::size_t REPLY_LIMIT = 65536;

std::size_t take_body(char *data, std::size_t size, std::size_t count, void *context)
{
    std::string *body = static_cast<std::string *>(context);
    const std::size_t n = size * count;
    if (body->size() < REPLY_LIMIT)
        body->append(data, std::min(n, REPLY_LIMIT - body->size()));
    return n;
}

std::size_t take_header(char *data, std::size_t size, std::size_t count, void *context)
{
    UploadReply *reply = static_cast<UploadReply *>(context);
    const std::size_t n = size * count;
    static const char name[] = "retry-after:";
    if (n > sizeof name - 1 && strncasecmp(data, name, sizeof name - 1) == 0) {
        std::string value(data + sizeof name - 1, n - (sizeof name - 1));
        const std::size_t end = value.find_first_of("\r\n");
        reply->retry_after = value.substr(0, end);
    }
    return n;
}

std::string curl_reason(const CurlLibrary &curl, CURLcode code, const char *detail,
                        long timeout_ms)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return "DNS: the host name is not known";
    case CURLE_COULDNT_CONNECT:
        return "cannot connect";
    case CURLE_OPERATION_TIMEDOUT:
        return "no reply within " + std::to_string(timeout_ms / 1000) + " s";
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        return std::string("TLS: the server's certificate is not trusted: ") + detail;
    case CURLE_SSL_CONNECT_ERROR:
        return std::string("TLS: ") + detail;
    default:
        return std::string(curl.easy_strerror(code)) + (*detail ? std::string(": ") + detail : "");
    }
}

int cancelled(void *context, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const std::atomic<int> *cancel = static_cast<const std::atomic<int> *>(context);
    return cancel && cancel->load() ? 1 : 0;
}

using Clock = std::chrono::steady_clock;

// Waits are cut into slices so that a cancel ends them soon.
thread_local const std::atomic<int> *cancel_flag = nullptr;

long ms_left(Clock::time_point deadline)
{
    if (cancel_flag && cancel_flag->load())
        return 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 200 ? 200 : left > 0 ? static_cast<long>(left) : 0;
}

// poll() until `events` come, the deadline passes or the attempt is cancelled.
int poll_until(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const long slice = ms_left(deadline);
        if (slice <= 0)
            return 0;
        const int n = poll(&p, 1, static_cast<int>(slice));
        if (n != 0)
            return n;
    }
}

int connect_within(const std::string &host, int port, Clock::time_point deadline,
                   std::string *error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        *error = "DNS: the host name is not known";
        return -1;
    }
    *error = "cannot connect";
    int fd = -1;
    for (addrinfo *a = found; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        const int rc = connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno != EINPROGRESS) {
            close(fd);
            fd = -1;
            continue;
        }
        if (rc != 0) {
            int soerr = ETIMEDOUT;
            socklen_t len = sizeof soerr;
            if (poll_until(fd, POLLOUT, deadline) == 1)
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
            if (soerr == ETIMEDOUT)
                *error = "no reply within the time-out";
            if (soerr != 0) {
                close(fd);
                fd = -1;
            }
        }
    }
    freeaddrinfo(found);
    return fd;
}

// The next line from the server (without its end), 0 when none came in time.
int read_line(int fd, std::string *pending, std::string *line, Clock::time_point deadline)
{
    for (;;) {
        const std::size_t end = pending->find('\n');
        if (end != std::string::npos) {
            *line = pending->substr(0, end);
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
            pending->erase(0, end + 1);
            return 1;
        }
        if (pending->size() > 4096)
            return 0;
        if (poll_until(fd, POLLIN, deadline) != 1)
            return 0;
        char buffer[512];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return 0;
        pending->append(buffer, static_cast<std::size_t>(n));
    }
}

bool send_all(int fd, const std::string &text, Clock::time_point deadline)
{
    std::size_t sent = 0;
    while (sent < text.size()) {
        if (poll_until(fd, POLLOUT, deadline) != 1)
            return false;
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

UploadReply http_exchange(const std::string &url, const std::string &host_header,
                          const ServiceRequest &request, const ServiceRoute &route)
{
    UploadReply reply;
    const CurlLibrary &lib = curl_library();
    if (!lib.error.empty()) {
        reply.error = lib.error;
        return reply;
    }
    CURL *curl = lib.easy_init();
    if (!curl) {
        reply.error = "the HTTP library could not start";
        return reply;
    }
    curl_slist *headers = nullptr;
    for (const std::string &h : request.headers)
        headers = lib.slist_append(headers, h.c_str());
    if (!host_header.empty())
        headers = lib.slist_append(headers, ("Host: " + host_header).c_str());
    headers = lib.slist_append(headers, "Expect:");
    char detail[CURL_ERROR_SIZE] = "";
    const std::string agent = "nimbrel/" + route.version;

    lib.easy_setopt(curl, CURLOPT_URL, url.c_str());
    lib.easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    lib.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    lib.easy_setopt(curl, CURLOPT_TIMEOUT_MS, route.timeout_ms);
    lib.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, route.timeout_ms);
    lib.easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    lib.easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    const char *ca_file = route.ca_file.empty() ? std::getenv(CA_FILE_VARIABLE) : nullptr;
    if (!route.ca_file.empty())
        ca_file = route.ca_file.c_str();
    if (ca_file && *ca_file)
        lib.easy_setopt(curl, CURLOPT_CAINFO, ca_file);
    lib.easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    lib.easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    lib.easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    lib.easy_setopt(curl, CURLOPT_WRITEFUNCTION, take_body);
    lib.easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    lib.easy_setopt(curl, CURLOPT_HEADERFUNCTION, take_header);
    lib.easy_setopt(curl, CURLOPT_HEADERDATA, &reply);
    lib.easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, cancelled);
    lib.easy_setopt(curl, CURLOPT_XFERINFODATA, route.cancel);
    lib.easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    if (request.method == "POST") {
        lib.easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
        lib.easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    }

    const CURLcode code = lib.easy_perform(curl);
    if (code == CURLE_OK) {
        long status = 0;
        lib.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        reply.status = static_cast<int>(status);
    } else {
        reply.error = curl_reason(lib, code, detail, route.timeout_ms);
        reply.body.clear();
    }
    lib.slist_free_all(headers);
    lib.easy_cleanup(curl);
    return reply;
}

UploadReply aprs_exchange(const std::string &host, int port, const ServiceRequest &request,
                          const ServiceRoute &route)
{
    UploadReply reply;
    cancel_flag = route.cancel;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(route.timeout_ms);
    const int fd = connect_within(host, port, deadline, &reply.error);
    if (fd < 0)
        return reply;
    std::string pending, line;
    // The server greets first; then the login, answered by "# logresp".
    bool answered = false;
    if (read_line(fd, &pending, &line, deadline) &&
        send_all(fd, request.login + "\r\n", deadline)) {
        while (!answered && read_line(fd, &pending, &line, deadline))
            answered = line.rfind("# logresp", 0) == 0;
    }
    if (!answered) {
        reply.error = "APRS-IS: the server did not answer the login";
    } else if (line.find(" unverified") == std::string::npos &&
               line.find(" verified") == std::string::npos) {
        reply.error = "APRS-IS: login refused";
    } else if (!send_all(fd, request.body + "\r\n", deadline)) {
        reply.error = "APRS-IS: the report could not be sent";
    } else {
        reply.status = 200;
    }
    close(fd);
    return reply;
}

UploadReply send_service_request(const UploadService &row, const ServiceRoute &route,
                                 const ServiceRequest &request)
{
    if (request.method == "APRS") {
        if (!route.aprs_host.empty())
            return aprs_exchange(route.aprs_host, route.aprs_port, request, route);
        UploadReply reply = aprs_exchange(row.host, row.port, request, route);
        // Port 23 is the way through firewalls that close the usual one.
        if (reply.status == 0 && reply.error.rfind("APRS-IS", 0) != 0)
            reply = aprs_exchange(row.host, 23, request, route);
        return reply;
    }
    const std::string host = request.host.empty() ? row.host : request.host;
    if (!route.upload_host.empty())
        return http_exchange((route.upload_tls ? "https://" : "http://") + route.upload_host + ":" +
                                 std::to_string(route.upload_port) + request.path,
                             host, request, route);
    const bool https = row.https || !request.host.empty();
    return http_exchange(std::string(https ? "https://" : "http://") + host + request.path, "",
                         request, route);
}
