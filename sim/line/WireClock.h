// Line time of bytes for --wire-timing. A byte on the line is a start bit,
// 8 data bits and 1 or 2 stop bits.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace vtarget {

using Clock = std::chrono::steady_clock;

Clock::duration ByteTime(uint32_t baudRate, bool twoStopBits);

// Bytes the board writes at once when it paces its answers: about 5 ms
// worth, so that it sleeps between chunks instead of spinning.
size_t PacingChunk(Clock::duration byteTime);

// When received bytes have arrived: the PC paces its own writes by the line
// time, so a byte read now is complete one byte time after it was read or
// after the byte before it arrived, whichever is later.
class ArrivalClock {
  public:
    Clock::time_point Next(Clock::time_point readAt, Clock::duration byteTime);

  private:
    Clock::time_point last_{};
};

} // namespace vtarget
