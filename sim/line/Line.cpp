#include "line/Line.h"

#include "line/PollUntil.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <poll.h>
#include <unistd.h>

namespace vtarget {

namespace {

// A UART samples each bit in its middle: over ten bits it tolerates about
// half a bit of drift, so rates more than 2.5 % apart garble every byte.
constexpr double kRateTolerance = 0.025;
// What a garbled byte turns into. Not its inverse, so that a byte garbled
// on the way in and again on the way out (echo) stays garbled.
constexpr uint8_t kGarbledByte = 0x00;
// How long a write may stall on a PC side that does not read before the
// rest of the answer is dropped.
constexpr auto kWriteStall = std::chrono::seconds(2);

} // namespace

Line::Line(int master, int wake, bool wireTiming, std::chrono::milliseconds adapterLatency,
           FaultInjector& faults, BoardShared& shared)
    : master_(master), wake_(wake), wireTiming_(wireTiming), faults_(faults), shared_(shared),
      hold_(adapterLatency) {}

bool Line::RateMatches(LineSettings& settings) const {
    if (!ReadLineSettings(master_, settings)) {
        return true; // nothing to compare with: let the bytes through
    }
    const double expected = shared_.ExpectedRate();
    return std::fabs(settings.baudRate - expected) <= kRateTolerance * expected;
}

Clock::duration Line::ByteTimeNow() const {
    LineSettings settings;
    ReadLineSettings(master_, settings);
    return ByteTime(shared_.ExpectedRate(), settings.twoStopBits);
}

bool Line::Receive(std::deque<RxByte>& queue) {
    uint8_t buffer[4096];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    const auto now = Clock::now();
    shared_.counters.bytesReceived += static_cast<uint64_t>(n);
    LineSettings settings;
    const bool garbled = !RateMatches(settings);
    const auto byteTime = ByteTime(shared_.ExpectedRate(), settings.twoStopBits);
    Clock::time_point firstDue{}, lastDue{};
    for (ssize_t i = 0; i < n; ++i) {
        // A lost byte took its line time all the same.
        const auto due = wireTiming_ ? arrivals_.Next(now, byteTime) : now;
        firstDue = i == 0 ? due : firstDue;
        lastDue = due;
        uint8_t byte = garbled ? kGarbledByte : buffer[i];
        if (faults_.PassIncoming(byte)) {
            queue.push_back({byte, due, byteTime, settings.xonXoffOutput});
        }
    }
    if (n > 0) {
        shared_.lineSpans.Add({firstDue - byteTime, lastDue});
    }
    if (garbled) {
        shared_.counters.garbledBytes += static_cast<uint64_t>(n);
    }
    return true;
}

bool Line::Send(std::span<const uint8_t> bytes, bool paced, std::optional<uint32_t> rateAfter,
                Clock::time_point notBefore) {
    if (!paced || !wireTiming_) {
        return Transmit(bytes, rateAfter);
    }
    // Each chunk goes to the PC once its last byte would have arrived.
    const auto byteTime = ByteTimeNow();
    const size_t chunk = PacingChunk(byteTime);
    const auto start = std::max({Clock::now(), lineFreeAt_, notBefore});
    lineFreeAt_ = start + byteTime * static_cast<int64_t>(bytes.size());
    // Recorded before the bytes leave, so that whoever reads them finds
    // their span already there.
    shared_.lineSpans.Add({start, lineFreeAt_});
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t end = std::min(bytes.size(), at + chunk);
        const bool last = end == bytes.size();
        const auto due = start + byteTime * static_cast<int64_t>(end);
        if (!SleepUntil(due) ||
            !Transmit(bytes.subspan(at, end - at), last ? rateAfter : std::nullopt)) {
            return false;
        }
        // A chunk that reaches the PC late keeps it waiting on the board.
        shared_.ownTime.Add({due, Clock::now()});
    }
    return true;
}

bool Line::Transmit(std::span<const uint8_t> bytes, std::optional<uint32_t> rateAfter) {
    LineSettings settings;
    const bool garbled = !RateMatches(settings);
    std::vector<uint8_t> out;
    out.reserve(bytes.size());
    for (uint8_t byte : bytes) {
        if (garbled) {
            byte = kGarbledByte;
        }
        if (faults_.PassOutgoing(byte)) {
            out.push_back(byte);
        }
    }
    if (garbled) {
        shared_.counters.garbledBytes += bytes.size();
    }
    if (rateAfter) {
        shared_.ExpectRate(*rateAfter);
    }
    shared_.counters.bytesSent += out.size();
    return Forward(out);
}

bool Line::Forward(std::span<const uint8_t> bytes) {
    if (!hold_.Holds()) {
        return WriteAll(bytes);
    }
    return WriteAll(hold_.Take(bytes, Clock::now()));
}

bool Line::ReleaseHeld(Clock::time_point now) {
    return WriteAll(hold_.Due(now));
}

bool Line::WriteAll(std::span<const uint8_t> bytes) {
    auto deadline = Clock::now() + kWriteStall;
    while (!bytes.empty()) {
        const ssize_t n = write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<size_t>(n));
            deadline = Clock::now() + kWriteStall;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return true; // the line is gone; so is the answer
        }
        pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLOUT, 0}};
        if (PollUntil(fds, 2, deadline) == 0) {
            return true; // the PC does not read: drop the rest
        }
        if (fds[0].revents != 0) {
            return false;
        }
    }
    return true;
}

bool Line::SleepUntil(Clock::time_point deadline) {
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        if (!ReleaseHeld(now)) {
            return false;
        }
        const auto held = HeldUntil();
        pollfd wake{wake_, POLLIN, 0};
        if (PollUntil(&wake, 1, held ? std::min(*held, deadline) : deadline) > 0) {
            return false;
        }
    }
    return true;
}

} // namespace vtarget
