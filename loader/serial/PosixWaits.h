// Small helpers the POSIX port code shares: the poll time-out left until a
// deadline, and a close that keeps errno, which still tells why an open
// failed.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <unistd.h>

namespace platform {

// Milliseconds left until the deadline, rounded up, never negative.
inline int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<int64_t>(left.count(), 0));
}

inline void CloseKeepingErrno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

} // namespace platform
