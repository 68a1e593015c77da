// Mail frames on the serial line, the same layout both ways:
//   0x10, length (2 bytes, high first), sequence, 0, 0, payload, checksum
// where length = payload size + 3 and the checksum is the 8-bit sum of the
// bytes from the sequence to the last payload byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vtarget {

constexpr uint8_t kMailStart = 0x10;
constexpr size_t kMailHeader = 6; // start, length, sequence, reserved
constexpr size_t kMailOverhead = kMailHeader + 1;
constexpr size_t kMaxRequestFrame = 4352;   // the largest frame the PC sends
constexpr size_t kMaxAnswerLength = 0x10FF; // the largest length the PC accepts
constexpr size_t kMaxAnswerPayload = kMaxAnswerLength - 3;

struct MailFrame {
    uint8_t sequence = 0;
    std::vector<uint8_t> payload;
};

uint8_t MailChecksum(std::span<const uint8_t> bytes);
std::vector<uint8_t> BuildMail(uint8_t sequence, std::span<const uint8_t> payload);

// Finds request frames in the byte stream from the PC. Frames whose length
// or checksum is wrong are dropped, and the hunt for the next start byte
// goes on from the byte after the dropped frame's start, so a frame that
// began inside the bad one is still found.
class MailParser {
  public:
    using FrameSink = std::function<void(const MailFrame&)>;

    // Takes one byte; hands every frame it completes to sink.
    void Feed(uint8_t byte, const FrameSink& sink);
    // The line went quiet in the middle of a frame: drop it and hunt again
    // in what followed its start byte.
    void Abandon(const FrameSink& sink);
    bool MidFrame() const { return !buffer_.empty(); }
    uint64_t DroppedFrames() const { return dropped_; }

  private:
    void Scan(const FrameSink& sink);
    bool HuntStart();
    void DropFirstFrame();

    std::vector<uint8_t> buffer_; // starts with kMailStart whenever not empty
    uint64_t dropped_ = 0;
};

} // namespace vtarget
