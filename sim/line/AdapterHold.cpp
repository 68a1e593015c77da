#include "line/AdapterHold.h"

#include <utility>

namespace vtarget {

std::vector<uint8_t> AdapterHold::Take(std::span<const uint8_t> bytes, Clock::time_point now) {
    if (held_.empty()) {
        firstHeldAt_ = now;
    }
    held_.insert(held_.end(), bytes.begin(), bytes.end());
    const size_t full = held_.size() / kAdapterPacket * kAdapterPacket;
    if (full == 0) {
        return {};
    }
    // Fewer than a packet were held before, so all of them leave with the
    // first one: whatever stays came now.
    std::vector<uint8_t> release(held_.begin(), held_.begin() + static_cast<ptrdiff_t>(full));
    held_.erase(held_.begin(), held_.begin() + static_cast<ptrdiff_t>(full));
    firstHeldAt_ = now;
    return release;
}

std::optional<Clock::time_point> AdapterHold::Deadline() const {
    if (held_.empty()) {
        return std::nullopt;
    }
    return firstHeldAt_ + latency_;
}

std::vector<uint8_t> AdapterHold::Due(Clock::time_point now) {
    const auto deadline = Deadline();
    if (!deadline || *deadline > now) {
        return {};
    }
    return std::exchange(held_, {});
}

} // namespace vtarget
