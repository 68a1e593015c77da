// The strings that name a COM port: device paths, rfc2217:// and socket://.
#include "serial/PortAddress.h"

#include <gtest/gtest.h>

namespace {

TEST(PortAddressTest, EveryFormAndEveryRefusal) {
    const std::string ipv6 = "an IPv6 address wants the form [ADDRESS]:PORT";
    const std::string badPort = "the TCP port is not a number from 1 to 65535";
    const std::string badHost = "the host is not a name or an address";
    const struct {
        std::string text;
        PortAddress expected;
    } rows[] = {
        {"/dev/ttyUSB0", {.path = "/dev/ttyUSB0"}},
        {"/dev/serial/by-id/usb-FTDI_x:y-if00", {.path = "/dev/serial/by-id/usb-FTDI_x:y-if00"}},
        {"rfc2217://127.0.0.1:2217",
         {.kind = PortKind::Rfc2217, .host = "127.0.0.1", .tcpPort = 2217}},
        {"rfc2217://rack-3.lab:65535",
         {.kind = PortKind::Rfc2217, .host = "rack-3.lab", .tcpPort = 65535}},
        {"socket://[::1]:7000", {.kind = PortKind::Socket, .host = "::1", .tcpPort = 7000}},
        {"rfc2217://host", {.error = "the TCP port is missing (HOST:PORT)"}},
        {"rfc2217://:2217", {.error = "the host is missing (HOST:PORT)"}},
        {"rfc2217://host:0", {.error = badPort}},
        {"rfc2217://host:65536", {.error = badPort}},
        {"rfc2217://host:22a", {.error = badPort}},
        {"rfc2217://host:2217/x", {.error = badPort}},
        {"rfc2217://::1:2217", {.error = ipv6}},
        {"socket://[::1]", {.error = ipv6}},
        {"socket://ho st:1", {.error = badHost}},
        {"socket://" + std::string(256, 'a') + ":1", {.error = badHost}},
        {"telnet://host:23", {.error = "unknown scheme (rfc2217:// and socket:// are known)"}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParsePortAddress(row.text), row.expected) << row.text;
    }
}

} // namespace
