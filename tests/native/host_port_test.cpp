// Each kind of address against what its users write: the web server's
// (a port needed, 0 for any free one, IPv6 only in brackets), the broker's
// (the port optional) and the upload server's (a port needed, a bare IPv6
// address before the last colon). A row names its form.
#include <gtest/gtest.h>

#include "common/host_port.h"

TEST(HostPort, EachFormTakesWhatItsUsersWrite)
{
    const struct {
        const char *form_name;
        const HostPortForm &form;
        const char *text;
        int ok;
        const char *host;
        int port;
    } cases[] = {
        {"http", HTTP_ADDRESS, "127.0.0.1:8470", 1, "127.0.0.1", 8470},
        {"http", HTTP_ADDRESS, "[::1]:8470", 1, "::1", 8470},
        {"http", HTTP_ADDRESS, "localhost:0", 1, "localhost", 0},
        {"http", HTTP_ADDRESS, "localhost:00080", 1, "localhost", 80},
        {"http", HTTP_ADDRESS, "127.0.0.1", 0, "", 0},
        {"http", HTTP_ADDRESS, "::1:8470", 0, "", 0},
        {"http", HTTP_ADDRESS, "[::1]", 0, "", 0},
        {"http", HTTP_ADDRESS, "[::1]x:80", 0, "", 0},
        {"http", HTTP_ADDRESS, "[]:80", 0, "", 0},
        {"http", HTTP_ADDRESS, "127.0.0.1:65536", 0, "", 0},
        {"http", HTTP_ADDRESS, "127.0.0.1:000080", 0, "", 0},
        {"http", HTTP_ADDRESS, "local host:80", 0, "", 0},
        {"broker", BROKER_ADDRESS, "broker", 1, "broker", 0},
        {"broker", BROKER_ADDRESS, "broker:1883", 1, "broker", 1883},
        {"broker", BROKER_ADDRESS, "[::1]", 1, "::1", 0},
        {"broker", BROKER_ADDRESS, "[::1]:1883", 1, "::1", 1883},
        {"broker", BROKER_ADDRESS, "fe80::1", 1, "fe80::1", 0},
        {"broker", BROKER_ADDRESS, "broker:0", 0, "", 0},
        {"broker", BROKER_ADDRESS, "broker:", 0, "", 0},
        {"broker", BROKER_ADDRESS, "broker:99999", 0, "", 0},
        {"broker", BROKER_ADDRESS, "[::1", 0, "", 0},
        {"broker", BROKER_ADDRESS, "[::1]:", 0, "", 0},
        {"broker", BROKER_ADDRESS, ":1883", 0, "", 0},
        {"broker", BROKER_ADDRESS, "a/b:1883", 0, "", 0},
        {"broker", BROKER_ADDRESS, "a\tb", 0, "", 0},
        {"upload", UPLOAD_SERVER_ADDRESS, "127.0.0.1:8080", 1, "127.0.0.1", 8080},
        {"upload", UPLOAD_SERVER_ADDRESS, "::1:8080", 1, "::1", 8080},
        {"upload", UPLOAD_SERVER_ADDRESS, "[::1]:8080", 1, "::1", 8080},
        {"upload", UPLOAD_SERVER_ADDRESS, "localhost:65535", 1, "localhost", 65535},
        {"upload", UPLOAD_SERVER_ADDRESS, "localhost:0", 0, "", 0},
        {"upload", UPLOAD_SERVER_ADDRESS, "localhost", 0, "", 0},
        {"upload", UPLOAD_SERVER_ADDRESS, "localhost:8o", 0, "", 0},
        {"upload", UPLOAD_SERVER_ADDRESS, "", 0, "", 0},
    };
    for (const auto &c : cases) {
        std::string host;
        int port = -1;
        EXPECT_EQ(parse_host_port(c.text, c.form, &host, &port), c.ok)
            << c.form_name << " \"" << c.text << "\"";
        if (c.ok) {
            EXPECT_EQ(host, c.host) << c.form_name << " \"" << c.text << "\"";
            EXPECT_EQ(port, c.port) << c.form_name << " \"" << c.text << "\"";
        }
    }
}
