// The TCP connection of a remote port: resolves the host, tries each of its
// addresses until the connect time-out is spent, and hands back a socket
// that is non-blocking and sends small writes at once (every request of the
// protocol is a short write that waits for its answer).
#pragma once

#include <cstdint>
#include <string>

namespace remote {

constexpr uint32_t kConnectTimeoutMs = 3000;

// The connected socket, or -1 with errno set and why in reason.
int ConnectTcp(const std::string& host, uint16_t port, uint32_t timeoutMs, std::string& reason);

} // namespace remote
