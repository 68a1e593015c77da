#include "frame/Faults.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace {

struct FaultPoint {
    std::atomic<int64_t> countdown{0}; // 0: disarmed; n: the nth call fails
    std::atomic<bool> forever{false};
    std::atomic<bool> fired{false};
};

FaultPoint points[static_cast<int>(Fault::Count)];

std::mutex escapeMutex;
std::vector<uint32_t> escapeCalls;

FaultPoint& Point(Fault fault) {
    return points[static_cast<int>(fault)];
}

} // namespace

void ArmFault(Fault fault, uint32_t nth, bool forever) {
    FaultPoint& p = Point(fault);
    p.fired = false;
    p.forever = forever;
    p.countdown = nth;
}

void DisarmFaults() {
    for (FaultPoint& p : points) {
        p.countdown = 0;
        p.forever = false;
        p.fired = false;
    }
}

bool FaultFires(Fault fault) {
    FaultPoint& p = Point(fault);
    if (p.fired && p.forever) {
        return true;
    }
    if (p.countdown.load(std::memory_order_relaxed) <= 0) {
        return false;
    }
    if (p.countdown.fetch_sub(1) != 1) {
        return false;
    }
    p.fired = true;
    return true;
}

void RecordEscapeCall(uint32_t code) {
    std::lock_guard lock(escapeMutex);
    escapeCalls.push_back(code);
}

std::vector<uint32_t> TakeEscapeCalls() {
    std::lock_guard lock(escapeMutex);
    return std::exchange(escapeCalls, {});
}
