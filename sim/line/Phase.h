// What runs on the board and talks on the line: a boot loader, the monitor,
// or a board that has hung. The board loop hands each received byte to the
// running phase, wakes it at the deadline it asks for, and replaces it by
// its successor once it hands over.
#pragma once

#include "line/RxByte.h"

#include <vtarget/Board.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace vtarget {

// Bytes a phase sends back, and the rate the board expects once they have left.
struct Reply {
    std::vector<uint8_t> bytes;
    std::optional<uint32_t> newBaudRate;
};

class Phase {
  public:
    virtual ~Phase() = default;

    // One byte from the line; appends what goes back.
    virtual void Receive(const RxByte& byte, std::vector<Reply>& replies) = 0;

    // Whether a mail frame has begun and not ended yet; the loop then calls
    // LineQuiet once the line has stayed quiet for the mail gap.
    virtual bool MidMessage() const { return false; }
    virtual void LineQuiet(Clock::time_point /*now*/, std::vector<Reply>& /*replies*/) {}

    // When the phase wants to act on its own next (prompt, time-out);
    // nothing while it only waits for bytes.
    virtual std::optional<Clock::time_point> NextDeadline() const { return std::nullopt; }
    // Called once NextDeadline() has passed.
    virtual void OnTimer(Clock::time_point /*now*/, std::vector<Reply>& /*replies*/) {}

    // The stage the board moves on to, once this phase has ended.
    virtual std::optional<Stage> Handover() const { return std::nullopt; }
};

} // namespace vtarget
