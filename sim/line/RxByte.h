// A byte from the PC as the board's line hands it on.
#pragma once

#include <chrono>
#include <cstdint>

namespace vtarget {

using Clock = std::chrono::steady_clock;

struct RxByte {
    uint8_t value = 0;
    Clock::time_point due; // when it has completely arrived
    // Its time on the line at the rate the board expects; a program that
    // cannot take bytes faster than the line carries them counts with it.
    Clock::duration lineTime{};
    // Whether the PC side had XON/XOFF output flow control on when it was
    // read: a board that throttles the PC with XOFF needs it.
    bool pcHonoursXoff = false;
};

} // namespace vtarget
