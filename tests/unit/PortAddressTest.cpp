// The strings that name a COM port: device paths, rfc2217:// and socket://.
#include "serial/PortAddress.h"

#include <gtest/gtest.h>

namespace {

PortAddress Remote(PortKind kind, std::string host, uint16_t port) {
    PortAddress a;
    a.kind = kind;
    a.host = std::move(host);
    a.tcpPort = port;
    return a;
}

PortAddress Device(std::string path) {
    PortAddress a;
    a.path = std::move(path);
    return a;
}

PortAddress Error(std::string reason) {
    PortAddress a;
    a.error = std::move(reason);
    return a;
}

TEST(PortAddressTest, EveryFormAndEveryRefusal) {
    const std::string ipv6 = "an IPv6 address wants the form [ADDRESS]:PORT";
    const std::string badPort = "the TCP port is not a number from 1 to 65535";
    const struct {
        std::string text;
        PortAddress expected;
    } rows[] = {
        {"/dev/ttyUSB0", Device("/dev/ttyUSB0")},
        {"/dev/serial/by-id/usb-FTDI_x:y-if00", Device("/dev/serial/by-id/usb-FTDI_x:y-if00")},
        {"rfc2217://127.0.0.1:2217", Remote(PortKind::Rfc2217, "127.0.0.1", 2217)},
        {"rfc2217://rack-3.lab:65535", Remote(PortKind::Rfc2217, "rack-3.lab", 65535)},
        {"socket://[::1]:7000", Remote(PortKind::Socket, "::1", 7000)},
        {"rfc2217://host", Error("the TCP port is missing (HOST:PORT)")},
        {"rfc2217://:2217", Error("the host is missing (HOST:PORT)")},
        {"rfc2217://host:0", Error(badPort)},
        {"rfc2217://host:65536", Error(badPort)},
        {"rfc2217://host:22a", Error(badPort)},
        {"rfc2217://host:2217/x", Error(badPort)},
        {"rfc2217://::1:2217", Error(ipv6)},
        {"socket://[::1]", Error(ipv6)},
        {"socket://ho st:1", Error("the host is not a name or an address")},
        {"socket://" + std::string(256, 'a') + ":1", Error("the host is not a name or an address")},
        {"telnet://host:23", Error("unknown scheme (rfc2217:// and socket:// are known)")},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ParsePortAddress(row.text), row.expected) << row.text;
    }
}

} // namespace
