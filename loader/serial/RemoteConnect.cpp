#include "serial/RemoteConnect.h"

#include "serial/PosixWaits.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace remote {

namespace {

using Clock = std::chrono::steady_clock;

using platform::CloseKeepingErrno;
using platform::MillisecondsLeft;

// Waits for a non-blocking connect to finish; its outcome is in SO_ERROR.
bool AwaitConnected(int fd, Clock::time_point deadline) {
    pollfd p{fd, POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (ready > 0) {
            break;
        }
        if (ready == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        if (errno != EINTR) {
            return false;
        }
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        return false;
    }
    errno = error;
    return error == 0;
}

int ConnectOne(const addrinfo& a, Clock::time_point deadline) {
    const int fd =
        ::socket(a.ai_family, a.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a.ai_protocol);
    if (fd < 0) {
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, a.ai_addr, a.ai_addrlen) == 0) {
        return fd;
    }
    if (errno == EINPROGRESS && AwaitConnected(fd, deadline)) {
        return fd;
    }
    CloseKeepingErrno(fd);
    return -1;
}

std::string Endpoint(const std::string& host, uint16_t port) {
    return host + ":" + std::to_string(port);
}

} // namespace

int ConnectTcp(const std::string& host, uint16_t port, uint32_t timeoutMs, std::string& reason) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        reason = "cannot resolve " + host + ": " +
                 (rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc));
        errno = ENXIO;
        return -1;
    }
    int fd = -1;
    for (const addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = ConnectOne(*a, deadline);
    }
    const int error = errno;
    ::freeaddrinfo(found);
    if (fd < 0) {
        reason = "cannot connect to " + Endpoint(host, port) + ": " +
                 (error == ETIMEDOUT ? "no answer within " + std::to_string(timeoutMs / 1000) + " s"
                                     : std::string(std::strerror(error)));
        errno = error;
    }
    return fd;
}

} // namespace remote
