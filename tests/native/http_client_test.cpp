// The HTTP client against a one-connection server on 127.0.0.1: the bytes
// on the wire, the reply it hands back, and where it gives up.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "upload/http_client.h"

namespace {
enum class Serve { Reply, ReplyThenReset, Trickle, Silent, Refuse, Backlogged };

// Serves one connection on its own thread: reads the request up to its
// final empty line and the NUL after it, then answers as told.
struct LoopbackServer {
    int listener = -1;
    int port = 0;
    std::string received;
    std::thread thread;
    std::vector<int> fillers;

    LoopbackServer(Serve how, const std::string &reply)
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        socklen_t size = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size);
        port = ntohs(address.sin_port);
        if (how == Serve::Refuse)
            return; // bound but never listening: connections are refused
        if (how == Serve::Backlogged) {
            // Never accepting, with its queue full of other connections: a
            // new one's handshake goes unanswered, like a host that has gone.
            listen(listener, 0);
            for (int i = 0; i < 4; ++i) {
                const int f = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
                connect(f, reinterpret_cast<sockaddr *>(&address), sizeof address);
                fillers.push_back(f);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return;
        }
        listen(listener, 1);
        thread = std::thread([this, how, reply] { serve(how, reply); });
    }

    void serve(Serve how, const std::string &reply)
    {
        const int c = accept(listener, nullptr, nullptr);
        if (c < 0)
            return;
        timeval wait = {10, 0};
        setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char chunk[512];
        const std::string end("\r\n\r\n\0", 5);
        while (received.find(end) == std::string::npos) {
            const ssize_t n = recv(c, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            received.append(chunk, static_cast<size_t>(n));
        }
        if (how == Serve::Trickle) {
            for (char byte : reply) {
                if (send(c, &byte, 1, MSG_NOSIGNAL) != 1)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        } else if (how == Serve::Silent) {
            recv(c, chunk, sizeof chunk, 0); // until the client gives up
        } else {
            send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
        if (how == Serve::ReplyThenReset) {
            const linger abort = {1, 0};
            setsockopt(c, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        close(c);
    }

    void finish()
    {
        if (thread.joinable())
            thread.join();
    }

    ~LoopbackServer()
    {
        finish();
        for (int f : fillers)
            close(f);
        close(listener);
    }
};
} // namespace

TEST(HttpClient, TransactionsWithALoopbackServer)
{
    const std::string request = "GET /up?id=1&t=2 HTTP/1.0\r\nHost: example\r\n\r\n";
    const std::string ok = "HTTP/1.0 200 OK\r\n\r\nsuccess\n";
    const std::string longer = "HTTP/1.0 200 OK\r\n\r\n" + std::string(3000, 'x');
    struct Case {
        const char *name;
        Serve how;
        std::string reply;
        std::uint32_t deadline_ms;
        int replied;
        std::string answer;
        long most_ms;       // the transaction ends within this
        const char *said;   // on standard output
    } const cases[] = {
        {"a reply", Serve::Reply, ok, 30000, 1, ok, 1000, ""},
        {"a reply longer than the kept text", Serve::Reply, longer, 30000, 1, longer.substr(0, 1023), 1000, ""},
        {"a clean close without a reply", Serve::Reply, "", 30000, 1, "", 1000, ""},
        {"a reset after the reply", Serve::ReplyThenReset, ok, 30000, 1, ok, 1000, ""},
        {"a refused connection", Serve::Refuse, "", 30000, 0, "", 1000, ""},
        {"a trickle past the deadline", Serve::Trickle, ok, 1500, 0, "", 2500, "recv timeout!\n"},
        {"silence past the deadline", Serve::Silent, "", 1500, 0, "", 2500, "recv timeout!\n"},
        {"a handshake never answered", Serve::Backlogged, "", 1500, 0, "", 2500, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackServer server(c.how, c.reply);
        char answer[REPLY_TEXT_BYTES] = "left over";
        testing::internal::CaptureStdout();
        const auto begun = std::chrono::steady_clock::now();
        const int replied = http_transact(HttpTarget{"127.0.0.1", server.port, c.deadline_ms},
                                          request.c_str(), answer);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - begun);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.said);
        EXPECT_EQ(replied, c.replied);
        EXPECT_EQ(std::string(answer), c.answer);
        EXPECT_LT(took.count(), c.most_ms);
        server.finish();
        // The request and exactly one NUL after it.
        if (c.how != Serve::Refuse && c.how != Serve::Backlogged) {
            EXPECT_EQ(server.received, request + std::string(1, '\0'));
        }
    }
}
