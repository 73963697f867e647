// A listening socket on a free loopback port, for tests that stand in for
// a server; -1 when one cannot be had.
#pragma once
#include <netinet/in.h>
#include <sys/socket.h>

inline int loopback_listener(int *port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), len) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return -1;
    *port = ntohs(a.sin_port);
    return fd;
}
