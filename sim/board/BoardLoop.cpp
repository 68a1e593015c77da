#include "board/BoardLoop.h"

#include "line/PollUntil.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/prctl.h>

namespace vtarget {

namespace {

// A mail frame that stops arriving for this long is given up, so that a
// frame with a lost byte does not swallow the PC's retry.
constexpr auto kQuietGap = std::chrono::milliseconds(300);
// Received bytes waiting for their arrival time, beyond which the board
// stops reading and lets the PC's writes block.
constexpr size_t kMaxQueued = 64 * 1024;
// Pause after the master failed, instead of polling it in a loop.
constexpr auto kFailurePause = std::chrono::milliseconds(50);
// How far ahead of their arrival received bytes may go to the phase.
constexpr auto kLookAhead = std::chrono::milliseconds(1);

} // namespace

BoardLoop::BoardLoop(int master, int wake, const BoardOptions& options, BoardShared& shared)
    : master_(master), wake_(wake), echo_(options.echo), shared_(shared), faults_(options.faults),
      line_(master, wake, options.wireTiming, std::chrono::milliseconds(options.adapterLatencyMs),
            faults_, shared),
      phases_(options, shared, faults_), phase_(phases_.Make(shared.CurrentStage(), Clock::now())) {
}

void BoardLoop::Run() {
    // The board plays the line's timing: its timed waits must end when they
    // are due, not up to the default 50 us timer slack later, which at high
    // rates is several bytes' time on every answer.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (Step()) {
    }
}

bool BoardLoop::Step() {
    const short wanted = received_.size() < kMaxQueued ? POLLIN : 0;
    pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, wanted, 0}};
    if (PollUntil(fds, 2, NextWake()) < 0) {
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
    // The adapter passes on what it holds once its latency has run out.
    return line_.ReleaseHeld(Clock::now()) && Deliver(Clock::now());
}

std::optional<Clock::time_point> BoardLoop::NextWake() const {
    std::optional<Clock::time_point> wake = phase_->NextDeadline();
    const auto earliest = [&wake](Clock::time_point t) { wake = wake ? std::min(*wake, t) : t; };
    if (const auto held = line_.HeldUntil()) {
        earliest(*held);
    }
    if (!received_.empty()) {
        // The bytes due within the look-ahead of this one go along with it.
        earliest(received_.front().due);
    } else if (phase_->MidMessage()) {
        earliest(lastArrival_ + kQuietGap);
    }
    return wake;
}

// Bytes and timers in the order they are due, so that a byte that came
// before a time-out is seen before it and one that came after is not.
bool BoardLoop::Deliver(Clock::time_point now) {
    for (;;) {
        if (TimerFirst(now)) {
            if (!FireTimer(now)) {
                return false;
            }
            continue;
        }
        if (!ByteReady(now)) {
            break;
        }
        const RxByte byte = received_.front();
        received_.pop_front();
        if (!DeliverByte(byte)) {
            return false;
        }
    }
    return EndQuietMessage(now);
}

bool BoardLoop::TimerFirst(Clock::time_point now) const {
    const auto deadline = phase_->NextDeadline();
    if (!deadline || *deadline > now) {
        return false;
    }
    return received_.empty() || *deadline <= received_.front().due;
}

// A byte goes early only when no deadline of the phase falls before it,
// so that bytes and timers still meet the phase in the order they are due.
bool BoardLoop::ByteReady(Clock::time_point now) const {
    if (received_.empty()) {
        return false;
    }
    const auto due = received_.front().due;
    if (due <= now) {
        return true;
    }
    const auto deadline = phase_->NextDeadline();
    return due <= now + kLookAhead && (!deadline || *deadline > due);
}

bool BoardLoop::DeliverByte(const RxByte& byte) {
    lastArrival_ = byte.due;
    // On a single-wire bus the PC hears its own bytes before any answer.
    if (echo_ && !line_.Send(std::span(&byte.value, 1), false)) {
        return false;
    }
    std::vector<Reply> replies;
    phase_->Receive(byte, replies);
    // The time from the byte's arrival to the start of its answer is the
    // board's: what a real board spends on its work before it answers.
    if (!replies.empty()) {
        shared_.ownTime.Add({byte.due, Clock::now()});
    }
    return Conclude(replies, byte.due);
}

bool BoardLoop::FireTimer(Clock::time_point now) {
    std::vector<Reply> replies;
    phase_->OnTimer(now, replies);
    return Conclude(replies, now);
}

bool BoardLoop::EndQuietMessage(Clock::time_point now) {
    if (!received_.empty() || !phase_->MidMessage() || now - lastArrival_ < kQuietGap) {
        return true;
    }
    std::vector<Reply> replies;
    phase_->LineQuiet(now, replies);
    return Conclude(replies, now);
}

bool BoardLoop::Conclude(const std::vector<Reply>& replies, Clock::time_point notBefore) {
    if (const auto next = phase_->Handover()) {
        phase_ = phases_.Make(*next, Clock::now());
        shared_.EnterStage(*next);
    }
    return SendReplies(replies, notBefore);
}

bool BoardLoop::SendReplies(const std::vector<Reply>& replies, Clock::time_point notBefore) {
    for (const Reply& reply : replies) {
        // An answer with a new rate leaves at the old one; from then on the
        // PC uses the new one.
        if (!reply.bytes.empty() && !line_.Send(reply.bytes, true, reply.newBaudRate, notBefore)) {
            return false;
        }
        if (reply.bytes.empty() && reply.newBaudRate) {
            shared_.ExpectRate(*reply.newBaudRate);
        }
    }
    return true;
}

} // namespace vtarget
