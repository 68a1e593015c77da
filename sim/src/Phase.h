// What runs on the board and talks on the line. The monitor is the only
// phase so far; the boot loaders that download it come later and hand over
// to it, each phase taking the received bytes in turn.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace vtarget {

using Clock = std::chrono::steady_clock;

// Bytes a phase sends back, and the rate the board expects once they have left.
struct Reply {
    std::vector<uint8_t> bytes;
    std::optional<uint32_t> newBaudRate;
};

class Phase {
  public:
    virtual ~Phase() = default;

    // One byte from the line that arrived at `at`; appends what goes back.
    virtual void Receive(uint8_t byte, Clock::time_point at, std::vector<Reply>& replies) = 0;
    // Whether a message has begun and not ended yet.
    virtual bool MidMessage() const = 0;
    // The line stayed quiet in the middle of a message.
    virtual void LineQuiet(Clock::time_point now, std::vector<Reply>& replies) = 0;
};

} // namespace vtarget
