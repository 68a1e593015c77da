#include "line/WireClock.h"

#include <algorithm>

namespace vtarget {

Clock::duration ByteTime(uint32_t baudRate, bool twoStopBits) {
    const int64_t bits = twoStopBits ? 11 : 10;
    const auto nanos = std::chrono::nanoseconds(bits * 1'000'000'000 / std::max(baudRate, 1u));
    return std::chrono::duration_cast<Clock::duration>(nanos);
}

size_t PacingChunk(Clock::duration byteTime) {
    const auto slot = std::chrono::milliseconds(5);
    return std::max<size_t>(1, static_cast<size_t>(slot / std::max(byteTime, Clock::duration(1))));
}

Clock::time_point ArrivalClock::Next(Clock::time_point readAt, Clock::duration byteTime) {
    last_ = std::max(readAt, last_) + byteTime;
    return last_;
}

} // namespace vtarget
