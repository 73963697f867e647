// The HTTP client of the uploads: one request and its reply over a blocking
// TCP socket, with send and receive time-outs and a deadline for the whole
// transaction. Short diagnostics go to standard output.
#pragma once
#include <cstdint>

#include "upload/reply.h"

// Where and how long: the host and port, and the transaction's deadline in ms.
struct HttpTarget {
    const char *host;
    int port;
    std::uint32_t deadline_ms;
};

// Sends the NUL-terminated `request` and its NUL (the services have always received it) to
// target: up to five attempts at a socket, one second apart, then one transaction (connect,
// send, receive) within deadline_ms, each send and receive also timing out after 6 s. The
// reply's first 1023 bytes go to `answer` as reply_text makes them (empty when none).
// 1 when a reply was received (even an empty one after a clean close), 0 on any failure.
int http_transact(const HttpTarget &target, const char *request, char answer[REPLY_TEXT_BYTES]);
