#include "serial/PortAddress.h"

#include <string_view>

namespace {

constexpr std::string_view kRfc2217Scheme = "rfc2217://";
constexpr std::string_view kSocketScheme = "socket://";
// Longer than any host name DNS allows (253): refused before resolving.
constexpr size_t kMaxHost = 255;

PortAddress Failed(std::string reason) {
    PortAddress a;
    a.error = std::move(reason);
    return a;
}

bool ParseTcpPort(std::string_view digits, uint16_t& port) {
    if (digits.empty() || digits.size() > 5) {
        return false;
    }
    uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

bool HostCharactersAreSound(std::string_view host) {
    for (char c : host) {
        const bool sound = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == ':';
        if (!sound) {
            return false;
        }
    }
    return true;
}

// HOST:PORT, or [IPV6]:PORT, with nothing after the port (no path).
PortAddress ParseRemote(PortKind kind, std::string_view rest) {
    std::string_view host;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            return Failed("an IPv6 address wants the form [ADDRESS]:PORT");
        }
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
    } else {
        const size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) {
            return Failed("the TCP port is missing (HOST:PORT)");
        }
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            return Failed("an IPv6 address wants the form [ADDRESS]:PORT");
        }
    }
    if (host.empty()) {
        return Failed("the host is missing (HOST:PORT)");
    }
    if (host.size() > kMaxHost || !HostCharactersAreSound(host)) {
        return Failed("the host is not a name or an address");
    }
    PortAddress a;
    if (!ParseTcpPort(port, a.tcpPort)) {
        return Failed("the TCP port is not a number from 1 to 65535");
    }
    a.kind = kind;
    a.host = std::string(host);
    return a;
}

} // namespace

PortAddress ParsePortAddress(const std::string& text) {
    const std::string_view t = text;
    if (t.starts_with(kRfc2217Scheme)) {
        return ParseRemote(PortKind::Rfc2217, t.substr(kRfc2217Scheme.size()));
    }
    if (t.starts_with(kSocketScheme)) {
        return ParseRemote(PortKind::Socket, t.substr(kSocketScheme.size()));
    }
    if (t.find("://") != std::string_view::npos) {
        return Failed("unknown scheme (rfc2217:// and socket:// are known)");
    }
    PortAddress a;
    a.path = text;
    return a;
}
