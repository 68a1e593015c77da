// Where a COM port's bytes go, read from the string that names it (the
// value of ULVEX_COM<n>): a local device path, or a remote port as
// rfc2217://HOST:PORT (telnet with the COM-PORT-OPTION) or socket://HOST:PORT
// (raw TCP with the line set by the server). HOST is a name, an IPv4
// address or an IPv6 address in brackets.
#pragma once

#include <cstdint>
#include <string>

enum class PortKind : uint8_t { Device, Rfc2217, Socket };

struct PortAddress {
    PortKind kind = PortKind::Device;
    std::string path{}; // Device: the path as given
    std::string host{}; // remote: without the brackets of an IPv6 address
    uint16_t tcpPort = 0;
    std::string error{}; // not empty: the text did not name a port, and why

    bool operator==(const PortAddress&) const = default;
};

PortAddress ParsePortAddress(const std::string& text);
