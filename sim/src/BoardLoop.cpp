#include "BoardLoop.h"

#include "MonitorPhase.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace vtarget {

namespace {

// A message that stops arriving for this long is given up, so that a
// frame with a lost byte does not swallow the PC's retry.
constexpr auto kQuietGap = std::chrono::milliseconds(300);
// Received bytes waiting for their arrival time, beyond which the board
// stops reading and lets the PC's writes block.
constexpr size_t kMaxQueued = 64 * 1024;
// Pause after the master failed, instead of polling it in a loop.
constexpr auto kFailurePause = std::chrono::milliseconds(50);

MonitorSettings MonitorSettingsOf(const BoardOptions& options) {
    MonitorSettings settings;
    settings.targetType = options.targetType;
    settings.flashManufacturer = options.flashManufacturer;
    settings.flashDevice = options.flashDevice;
    settings.version = options.version;
    return settings;
}

int TimeoutUntil(Clock::time_point deadline, Clock::time_point now) {
    if (deadline <= now) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<int>(std::min<int64_t>(ms, 60'000));
}

} // namespace

BoardLoop::BoardLoop(int master, int wake, const BoardOptions& options, BoardShared& shared)
    : master_(master), wake_(wake), echo_(options.echo), shared_(shared), faults_(options.faults),
      line_(master, wake, options.wireTiming, faults_, shared),
      phase_(std::make_unique<MonitorPhase>(shared, faults_, MonitorSettingsOf(options))) {}

void BoardLoop::Run() {
    while (Step()) {
    }
}

bool BoardLoop::Step() {
    const short wanted = received_.size() < kMaxQueued ? POLLIN : 0;
    pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, wanted, 0}};
    if (poll(fds, 2, PollTimeout(Clock::now())) < 0) {
        return errno == EINTR;
    }
    if (fds[0].revents != 0) {
        return false;
    }
    bool usable = true;
    if ((fds[1].revents & POLLIN) != 0) {
        usable = line_.Receive(received_);
    } else if (fds[1].revents != 0) {
        usable = false; // hang-up or error without data
    }
    if (!usable && !line_.SleepUntil(Clock::now() + kFailurePause)) {
        return false;
    }
    return Deliver(Clock::now());
}

int BoardLoop::PollTimeout(Clock::time_point now) const {
    if (!received_.empty()) {
        return TimeoutUntil(received_.front().due, now);
    }
    if (phase_->MidMessage()) {
        return TimeoutUntil(lastArrival_ + kQuietGap, now);
    }
    return -1;
}

bool BoardLoop::Deliver(Clock::time_point now) {
    while (!received_.empty() && received_.front().due <= now) {
        const RxByte byte = received_.front();
        received_.pop_front();
        if (!DeliverByte(byte)) {
            return false;
        }
    }
    if (!received_.empty() || !phase_->MidMessage() || now - lastArrival_ < kQuietGap) {
        return true;
    }
    std::vector<Reply> replies;
    phase_->LineQuiet(now, replies);
    return SendReplies(replies);
}

bool BoardLoop::DeliverByte(const RxByte& byte) {
    lastArrival_ = byte.due;
    // On a single-wire bus the PC hears its own bytes before any answer.
    if (echo_ && !line_.Send(std::span(&byte.value, 1), false)) {
        return false;
    }
    std::vector<Reply> replies;
    phase_->Receive(byte.value, byte.due, replies);
    return SendReplies(replies);
}

bool BoardLoop::SendReplies(const std::vector<Reply>& replies) {
    for (const Reply& reply : replies) {
        // An answer with a new rate leaves at the old one; from then on the
        // PC uses the new one.
        if (!reply.bytes.empty() && !line_.Send(reply.bytes, true, reply.newBaudRate)) {
            return false;
        }
        if (reply.bytes.empty() && reply.newBaudRate) {
            shared_.expectedBaudRate = *reply.newBaudRate;
        }
    }
    return true;
}

} // namespace vtarget
