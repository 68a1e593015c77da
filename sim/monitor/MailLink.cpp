#include "monitor/MailLink.h"

#include <algorithm>

namespace vtarget {

namespace {

// A frame needs at least its primitive code; longer frames than the PC
// ever sends are line noise.
constexpr size_t kMinLength = 4;
constexpr size_t kMaxLength = kMaxRequestFrame - 4; // less start, length field and checksum

size_t LengthField(const std::vector<uint8_t>& frame) {
    return static_cast<size_t>(frame[1]) << 8 | frame[2];
}

} // namespace

uint8_t MailChecksum(std::span<const uint8_t> bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    return sum;
}

std::vector<uint8_t> BuildMail(uint8_t sequence, std::span<const uint8_t> payload) {
    const size_t length = payload.size() + 3;
    std::vector<uint8_t> frame(payload.size() + kMailOverhead);
    frame[0] = kMailStart;
    frame[1] = static_cast<uint8_t>(length >> 8);
    frame[2] = static_cast<uint8_t>(length);
    frame[3] = sequence; // the reserved bytes stay 0
    std::copy(payload.begin(), payload.end(), frame.begin() + kMailHeader);
    frame.back() = MailChecksum(std::span(frame).subspan(3, length));
    return frame;
}

void MailParser::Feed(uint8_t byte, const FrameSink& sink) {
    if (buffer_.empty() && byte != kMailStart) {
        return; // hunting: nothing to keep
    }
    buffer_.push_back(byte);
    Scan(sink);
}

void MailParser::Abandon(const FrameSink& sink) {
    if (buffer_.empty()) {
        return;
    }
    DropFirstFrame();
    Scan(sink);
}

// Drops everything before the next start byte; false when none is left.
bool MailParser::HuntStart() {
    const auto start = std::find(buffer_.begin(), buffer_.end(), kMailStart);
    buffer_.erase(buffer_.begin(), start);
    return !buffer_.empty();
}

void MailParser::DropFirstFrame() {
    ++dropped_;
    buffer_.erase(buffer_.begin());
}

void MailParser::Scan(const FrameSink& sink) {
    while (HuntStart() && buffer_.size() >= 3) {
        const size_t length = LengthField(buffer_);
        if (length < kMinLength || length > kMaxLength) {
            DropFirstFrame();
            continue;
        }
        const size_t total = length + 4;
        if (buffer_.size() < total) {
            return;
        }
        const auto body = std::span(buffer_).subspan(3, length);
        if (MailChecksum(body) != buffer_[total - 1]) {
            DropFirstFrame();
            continue;
        }
        MailFrame frame{buffer_[3], {buffer_.begin() + kMailHeader, buffer_.begin() + total - 1}};
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(total));
        sink(frame);
    }
}

} // namespace vtarget
