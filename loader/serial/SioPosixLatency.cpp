#include "serial/SioPosixLatency.h"

#include "frame/Trace.h"

#include <cerrno>
#include <cstring>
#include <linux/serial.h>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <utility>

namespace platform {

namespace {

// The state lives for the whole process and is never destroyed: a session
// worker may still close its port while the process exits.
struct LatencyState {
    std::mutex mutex;
    SerialInfoDriver standIn = nullptr;
    std::vector<SerialInfoCall> calls; // the latest kMaxCalls
    std::map<int, int> restoreFlags;   // by descriptor: the flags before the request
};
constexpr size_t kMaxCalls = 256;

LatencyState& State() {
    static auto* state = new LatencyState;
    return *state;
}

bool RealDriver(int fd, bool set, int& flags) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) {
        return false;
    }
    if (!set) {
        flags = info.flags;
        return true;
    }
    info.flags = flags;
    return ::ioctl(fd, TIOCSSERIAL, &info) == 0;
}

bool Call(int fd, bool set, int& flags) {
    LatencyState& state = State();
    SerialInfoDriver driver = nullptr;
    {
        const std::lock_guard lock(state.mutex);
        driver = state.standIn != nullptr ? state.standIn : RealDriver;
    }
    const bool done = driver(fd, set, flags);
    const int error = errno;
    const std::lock_guard lock(state.mutex);
    if (state.calls.size() == kMaxCalls) {
        state.calls.erase(state.calls.begin());
    }
    state.calls.push_back({set, flags, !done});
    errno = error;
    return done;
}

} // namespace

void SetSerialInfoDriver(SerialInfoDriver driver) {
    const std::lock_guard lock(State().mutex);
    State().standIn = driver;
}

std::vector<SerialInfoCall> TakeSerialInfoCalls() {
    const std::lock_guard lock(State().mutex);
    return std::exchange(State().calls, {});
}

void RequestLowLatency(int fd) {
    const int saved = errno;
    int flags = 0;
    if (!Call(fd, false, flags)) {
        TracePrint("\n### The port's driver does not tell its latency setting: %s ###\n",
                   std::strerror(errno));
        errno = saved;
        return;
    }
    if ((flags & ASYNC_LOW_LATENCY) != 0) {
        errno = saved;
        return;
    }
    int lowLatency = flags | ASYNC_LOW_LATENCY;
    if (!Call(fd, true, lowLatency)) {
        TracePrint("\n### The port's driver refuses low latency: %s ###\n", std::strerror(errno));
        errno = saved;
        return;
    }
    const std::lock_guard lock(State().mutex);
    State().restoreFlags[fd] = flags;
    errno = saved;
}

void RestoreLatency(int fd) {
    int flags = 0;
    {
        LatencyState& state = State();
        const std::lock_guard lock(state.mutex);
        const auto found = state.restoreFlags.find(fd);
        if (found == state.restoreFlags.end()) {
            return;
        }
        flags = found->second;
        state.restoreFlags.erase(found);
    }
    const int saved = errno;
    Call(fd, true, flags);
    errno = saved;
}

} // namespace platform
