#include "boot/ImageBootPhase.h"

#include "boot/MonitorCheck.h"

#include <algorithm>

namespace vtarget {

namespace {

constexpr uint8_t kHeaderStart = 0x01;
constexpr uint8_t kAcknowledge = 0x06;
constexpr uint8_t kRefusal = 0x15;

constexpr auto kPromptPeriod = std::chrono::milliseconds(250);
constexpr auto kAcknowledgeWindow = std::chrono::milliseconds(500);
// A header or image that stops arriving for this long is given up.
constexpr auto kStallLimit = std::chrono::seconds(1);

uint8_t XorOf(const std::vector<uint8_t>& bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum ^= b;
    }
    return sum;
}

} // namespace

ImageBootPhase::ImageBootPhase(BoardShared& shared, const ImageBootSettings& settings,
                               Clock::time_point start)
    : shared_(shared), settings_(settings), deadline_(start + kPromptPeriod), idleSince_(start),
      withheldLeft_(settings.withheldChecksums) {}

std::optional<Clock::time_point> ImageBootPhase::NextDeadline() const {
    if (handover_) {
        return std::nullopt;
    }
    return deadline_;
}

void ImageBootPhase::Receive(const RxByte& byte, std::vector<Reply>& replies) {
    switch (state_) {
    case State::Idle:
        if (byte.value == kHeaderStart) {
            state_ = State::Header;
            lengthBytes_.clear();
            deadline_ = byte.due + kStallLimit;
        }
        return;
    case State::Header:
        TakeLength(byte, replies);
        return;
    case State::Image:
        TakeImageByte(byte);
        return;
    case State::Taking: // nothing is due from the PC before the checksum
        return;
    case State::Window:
        TakeAcknowledge(byte);
        return;
    }
}

void ImageBootPhase::OnTimer(Clock::time_point now, std::vector<Reply>& replies) {
    switch (state_) {
    case State::Idle:
        // The boot loop's time between prompts is the board's: a PC that
        // waits for the prompt waits on it.
        shared_.ownTime.Add({idleSince_, now});
        idleSince_ = now;
        replies.push_back({{settings_.prompt}, std::nullopt});
        deadline_ = now + kPromptPeriod;
        return;
    case State::Header:
    case State::Image:
        BackToIdle(now + settings_.holdOff, now);
        return;
    case State::Taking:
        AnswerChecksum(now, replies);
        return;
    case State::Window:
        BackToIdle(checksumDue_ + settings_.holdOff, now);
        return;
    }
}

void ImageBootPhase::TakeLength(const RxByte& byte, std::vector<Reply>& replies) {
    lengthBytes_.push_back(byte.value);
    deadline_ = byte.due + kStallLimit;
    if (lengthBytes_.size() < 2) {
        return;
    }
    if (settings_.refuseHeader) {
        replies.push_back({{kRefusal}, std::nullopt});
        BackToIdle(byte.due, byte.due);
        return;
    }
    replies.push_back({{kAcknowledge}, std::nullopt});
    length_ = static_cast<size_t>(lengthBytes_[0] | lengthBytes_[1] << 8);
    image_.clear();
    image_.reserve(length_);
    imageStart_ = byte.due;
    state_ = State::Image;
    if (length_ == 0) {
        state_ = State::Taking;
        deadline_ = byte.due;
    }
}

// The image counts as taken once its last byte could have come down the
// line at the rate, even when the bytes came faster (no wire timing).
void ImageBootPhase::TakeImageByte(const RxByte& byte) {
    if (image_.empty()) {
        imageStart_ = byte.due;
    }
    image_.push_back(byte.value);
    deadline_ = byte.due + kStallLimit;
    if (image_.size() < length_) {
        return;
    }
    shared_.RecordDownload(image_);
    state_ = State::Taking;
    const auto lineTime = byte.lineTime * static_cast<int64_t>(length_ - 1);
    deadline_ = std::max(byte.due, imageStart_ + lineTime);
}

void ImageBootPhase::AnswerChecksum(Clock::time_point now, std::vector<Reply>& replies) {
    checksumDue_ = now;
    if (withheldLeft_ > 0) {
        --withheldLeft_;
        BackToIdle(now + settings_.holdOff, now);
        return;
    }
    replies.push_back({{XorOf(image_)}, std::nullopt});
    state_ = State::Window;
    deadline_ = now + kAcknowledgeWindow;
}

void ImageBootPhase::TakeAcknowledge(const RxByte& byte) {
    if (byte.value != kAcknowledge) {
        BackToIdle(checksumDue_ + settings_.holdOff, byte.due);
        return;
    }
    // The monitor runs at once, at the boot rate.
    handover_ = StageAfterStart(image_, settings_.imageKind, image_.size());
}

void ImageBootPhase::BackToIdle(Clock::time_point quietUntil, Clock::time_point now) {
    state_ = State::Idle;
    idleSince_ = now;
    deadline_ = std::max(quietUntil, now + kPromptPeriod);
}

} // namespace vtarget
