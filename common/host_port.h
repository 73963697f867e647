// HOST:PORT as users write it for the web server, the MQTT broker and the
// upload server: a name or IPv4 address, or an IPv6 address in brackets
// ("[::1]:8470").
#pragma once
#include <string>

// What one kind of address takes besides HOST:PORT.
struct HostPortForm {
    int port_optional;  // HOST alone is taken, with port 0
    int port_zero;      // port 0 is taken (the system picks a free one)
    // An IPv6 address may stand without brackets: with the port optional
    // the whole text is the host, else the last colon starts the port.
    int bare_ipv6;
};

// The web server's address: 0 asks for any free port.
constexpr HostPortForm HTTP_ADDRESS{.port_optional = 0, .port_zero = 1, .bare_ipv6 = 0};
// The MQTT broker's: without a port, the protocol's own.
constexpr HostPortForm BROKER_ADDRESS{.port_optional = 1, .port_zero = 0, .bare_ipv6 = 1};
// The one server all uploads go to instead of the services'.
constexpr HostPortForm UPLOAD_SERVER_ADDRESS{.port_optional = 0, .port_zero = 0, .bare_ipv6 = 1};

// The host (brackets taken off) and port of `text`: a port of one to five
// digits up to 65535, a host without spaces, control bytes, "/" or
// brackets. 0 when it is not an address of this form.
int parse_host_port(const std::string &text, const HostPortForm &form, std::string *host,
                    int *port);
