#include "frame/Tick.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<DelayObserver> delayObserver{nullptr};

double SteadyMs(std::chrono::steady_clock::time_point at) {
    return std::chrono::duration<double, std::milli>(at.time_since_epoch()).count();
}

} // namespace

uint32_t TickDeadline(uint32_t ms) {
    return TickNow() + ms;
}

// The deadline counts as reached once it lies no more than half the tick
// range behind now, which stays right across the wrap of the 32-bit counter.
bool TickReached(uint32_t deadline) {
    return static_cast<int32_t>(TickNow() - deadline) >= 0;
}

uint32_t TickRemaining(uint32_t deadline) {
    const int32_t left = static_cast<int32_t>(deadline - TickNow());
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

void DelayMs(uint32_t ms) {
    // One sleep for the whole wait; the elapsed time is measured on the
    // monotonic clock, so a wrap of the tick counter does not matter.
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (const DelayObserver observer = delayObserver.load()) {
        observer(SteadyMs(start), SteadyMs(std::chrono::steady_clock::now()));
    }
}

void SetDelayObserver(DelayObserver observer) {
    delayObserver = observer;
}
