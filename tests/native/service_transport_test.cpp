// The services' transports against real servers on loopback: a TLS server
// (openssl s_server) with certificates made by openssl for this run, a
// plain HTTP capture and an APRS-IS stand-in.
#include <gtest/gtest.h>

#include "loopback_listener.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "upload/curl_library.h"
#include "upload/service_transport.h"

namespace {

std::string read_until(int fd, const std::string &end)
{
    std::string text;
    char c;
    while (text.size() < 65536 && text.find(end) == std::string::npos && recv(fd, &c, 1, 0) == 1)
        text += c;
    return text;
}

// One connection: the request as it arrived, then `answer`.
struct HttpCapture {
    int fd = -1, port = 0;
    std::string request;
    std::thread thread;
    explicit HttpCapture(const std::string &answer)
    {
        fd = loopback_listener(&port);
        thread = std::thread([this, answer] {
            const int c = accept(fd, nullptr, nullptr);
            request = read_until(c, "\r\n\r\n");
            const std::size_t at = request.find("Content-Length: ");
            if (at != std::string::npos) {
                std::size_t n = std::strtoul(request.c_str() + at + 16, nullptr, 10);
                for (char ch; n > 0 && recv(c, &ch, 1, 0) == 1; --n)
                    request += ch;
            }
            send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
            close(c);
        });
    }
    ~HttpCapture()
    {
        if (thread.joinable())
            thread.join();
        close(fd);
    }
};

class Tls : public ::testing::Test {
protected:
    static std::string dir;
    static pid_t server;
    static int port;

    static int sh(const std::string &command) { return std::system(command.c_str()); }

    static void SetUpTestSuite()
    {
        char name[] = "/tmp/nimbrel-tls-XXXXXX";
        dir = mkdtemp(name);
        // Two CAs: the server's, and one that signed nothing of it.
        const std::string q = " >/dev/null 2>&1";
        ASSERT_EQ(sh("cd " + dir +
                     " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=TestCA"
                     " -keyout ca.key -out ca.pem" + q +
                     " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=OtherCA"
                     " -keyout other.key -out other.pem" + q +
                     " && openssl req -newkey rsa:2048 -nodes -subj /CN=localhost"
                     " -keyout server.key -out server.csr" + q +
                     " && printf 'subjectAltName=DNS:localhost\\n' > san.ext"
                     " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key"
                     " -CAcreateserial -days 2 -extfile san.ext -out server.pem" + q),
                  0);
        const int fd = loopback_listener(&port);
        close(fd);
        server = fork();
        if (server == 0) {
            const std::string accept = "127.0.0.1:" + std::to_string(port);
            const std::string cert = dir + "/server.pem", key = dir + "/server.key";
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 1);
            dup2(quiet, 2);
            execlp("openssl", "openssl", "s_server", "-quiet", "-www", "-accept", accept.c_str(),
                   "-cert", cert.c_str(), "-key", key.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        // Until it listens.
        for (int i = 0; i < 100; ++i) {
            const int s = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(port));
            const bool up = connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
            close(s);
            if (up)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    static void TearDownTestSuite()
    {
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
        sh("rm -rf " + dir);
    }
};

std::string Tls::dir;
pid_t Tls::server = -1;
int Tls::port = 0;

ServiceRoute route_with(const std::string &ca_file, long timeout_ms = 10000)
{
    ServiceRoute r;
    r.ca_file = ca_file;
    r.timeout_ms = timeout_ms;
    r.version = "1.02";
    return r;
}

} // namespace

TEST_F(Tls, OnlyTheTrustedCaAndTheRightNameGetThrough)
{
    const ServiceRequest get{"GET", "/api/v2/observation/update?id=1", {"Authorization: Bearer x"},
                             "", ""};
    const std::string at = ":" + std::to_string(port);
    const struct {
        const char *name;
        std::string url, ca_file;
        int status;
        const char *error;
    } rows[] = {
        {"the test CA", "https://localhost" + at + "/", dir + "/ca.pem", 200, ""},
        {"the system's CAs", "https://localhost" + at + "/", "", 0,
         "TLS: the server's certificate is not trusted"},
        {"another CA", "https://localhost" + at + "/", dir + "/other.pem", 0,
         "TLS: the server's certificate is not trusted"},
        {"a name the certificate does not hold", "https://127.0.0.1" + at + "/", dir + "/ca.pem",
         0, "TLS: the server's certificate is not trusted"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const UploadReply reply = http_exchange(row.url, "", get, route_with(row.ca_file));
        EXPECT_EQ(reply.status, row.status) << reply.error;
        EXPECT_EQ(reply.error.rfind(row.error, 0), 0u) << reply.error;
    }
}

TEST(ServiceTransport, TheUploadServerGetsTheServicesOwnRequestAsPlainHttp)
{
    HttpCapture capture("HTTP/1.1 429 Too Many Requests\r\nRetry-After: 120\r\n"
                        "Content-Length: 9\r\nConnection: close\r\n\r\nslow down");
    ServiceRoute route = route_with("");
    route.upload_host = "127.0.0.1";
    route.upload_port = capture.port;
    const ServiceRequest post{"POST", "/data/3.0/measurements?appid=k%26y",
                              {"Content-Type: application/json"}, "[{\"dt\":1}]", ""};
    const UploadReply reply =
        send_service_request(upload_services[UPLOAD_OPENWEATHERMAP], route, post);
    EXPECT_EQ(reply.status, 429);
    EXPECT_EQ(reply.retry_after, " 120");
    EXPECT_EQ(reply.body, "slow down");
    capture.thread.join();
    const std::string &r = capture.request;
    EXPECT_EQ(r.rfind("POST /data/3.0/measurements?appid=k%26y HTTP/1.1\r\n", 0), 0u) << r;
    EXPECT_NE(r.find("\r\nHost: api.openweathermap.org\r\n"), std::string::npos) << r;
    EXPECT_NE(r.find("\r\nContent-Type: application/json\r\n"), std::string::npos) << r;
    EXPECT_EQ(r.substr(r.size() - 10), "[{\"dt\":1}]");
}

TEST(ServiceTransport, AServerThatNeverAnswersIsGivenUp)
{
    int port = 0;
    const int fd = loopback_listener(&port);  // listens, never accepts or answers
    ServiceRoute route = route_with("", 1000);
    route.upload_host = "127.0.0.1";
    route.upload_port = port;
    const UploadReply http = send_service_request(upload_services[UPLOAD_WOW], route,
                                                  ServiceRequest{"GET", "/x", {}, "", ""});
    EXPECT_EQ(http.status, 0);
    EXPECT_EQ(http.error, "no reply within 1 s");

    route.aprs_host = "127.0.0.1";
    route.aprs_port = port;
    const UploadReply aprs = send_service_request(upload_services[UPLOAD_CWOP], route,
                                                  ServiceRequest{"APRS", "", {}, "p", "user X"});
    EXPECT_EQ(aprs.status, 0);
    EXPECT_EQ(aprs.error, "APRS-IS: the server did not answer the login");
    close(fd);
}

TEST(ServiceTransport, AprsIsGetsTheLoginThenTheReportOnceAnswered)
{
    int port = 0;
    const int fd = loopback_listener(&port);
    std::string login, packet;
    std::thread server([&] {
        const int c = accept(fd, nullptr, nullptr);
        const std::string hello = "# stand-in 1.0\r\n";
        send(c, hello.data(), hello.size(), MSG_NOSIGNAL);
        login = read_until(c, "\r\n");
        const std::string answer = "# logresp STN1 unverified, server TEST\r\n";
        send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
        packet = read_until(c, "\r\n");
        close(c);
    });
    ServiceRoute route = route_with("");
    route.aprs_host = "127.0.0.1";
    route.aprs_port = port;
    const UploadReply reply = send_service_request(
        upload_services[UPLOAD_CWOP], route,
        ServiceRequest{"APRS", "", {}, "STN1>APRS,TCPIP*:@051134z", "user STN1 pass -1 vers x"});
    server.join();
    close(fd);
    EXPECT_EQ(reply.status, 200) << reply.error;
    EXPECT_EQ(login, "user STN1 pass -1 vers x\r\n");
    EXPECT_EQ(packet, "STN1>APRS,TCPIP*:@051134z\r\n");
}

TEST(ServiceTransport, AnUnusableHttpLibraryIsRefusedWithTheReason)
{
    const struct {
        const char *file_name, *error;
    } rows[] = {
        {"libcurl.so.4", ""},
        {"libcurl-absent.so.4",
         "the HTTP library libcurl-absent.so.4 is not usable (install the package libcurl4): "},
        // A library that loads but is not libcurl: none of its functions is kept.
        {"libc.so.6", "the HTTP library libc.so.6 is not usable (install the package libcurl4): "
                      "it lacks curl_global_init"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file_name);
        const CurlLibrary curl = load_curl(row.file_name);
        EXPECT_EQ(curl.error.empty(), *row.error == '\0') << curl.error;
        EXPECT_EQ(curl.error.rfind(row.error, 0), 0u) << curl.error;
        EXPECT_EQ(curl.error.empty(), curl.easy_perform != nullptr);
        EXPECT_EQ(curl.error.empty(), curl.easy_init != nullptr);
    }
}
