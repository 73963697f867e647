// Test helper: a small TCP server on 127.0.0.1 that stands in for an
// upload service, serving a given number of connections on its own thread.
// start() points the upload worker at it.
#pragma once
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "upload/upload_worker_win32.h"

inline void start_sockets()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

// One connection at a time: reads the request up to its final empty line
// and the NUL after it, then answers (or, with `silent`, holds the line).
struct LocalServer {
    SOCKET listener = INVALID_SOCKET;
    int port = 0;
    std::string reply;
    bool silent = false;
    DWORD trickle_ms = 0; // when set, the reply goes out a byte at a time
    int connections = 0; // how many to serve before the thread ends
    std::vector<std::string> received;
    HANDLE thread = nullptr;
};

inline DWORD WINAPI serve(LPVOID data)
{
    auto *s = static_cast<LocalServer *>(data);
    for (int served = 0; served < s->connections; ++served) {
        SOCKET c = accept(s->listener, nullptr, nullptr);
        if (c == INVALID_SOCKET)
            return 0;
        std::string got;
        char chunk[512];
        const DWORD ms = 10000;
        setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&ms), sizeof ms);
        while (got.size() < 4 || got.find(std::string("\r\n\r\n\0", 5)) == std::string::npos) {
            const int n = recv(c, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            got.append(chunk, n);
        }
        s->received.push_back(got);
        if (s->silent) {
            Sleep(8000); // longer than the client's 6 s
        } else if (s->trickle_ms) {
            for (char byte : s->reply) {
                if (send(c, &byte, 1, 0) != 1)
                    break;
                Sleep(s->trickle_ms);
            }
        } else {
            send(c, s->reply.data(), static_cast<int>(s->reply.size()), 0);
        }
        closesocket(c);
    }
    return 0;
}

inline void start(LocalServer &s, int connections)
{
    s.connections = connections;
    s.listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(s.listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    int size = sizeof address;
    getsockname(s.listener, reinterpret_cast<sockaddr *>(&address), &size);
    s.port = ntohs(address.sin_port);
    ASSERT_EQ(listen(s.listener, 4), 0);
    s.thread = CreateThread(nullptr, 0, serve, &s, 0, nullptr);
    std::strcpy(upload_server.host, "127.0.0.1");
    upload_server.port = s.port;
}

inline void stop(LocalServer &s)
{
    if (s.thread) {
        WaitForSingleObject(s.thread, 20000);
        CloseHandle(s.thread);
    }
    closesocket(s.listener);
}

