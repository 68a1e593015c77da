// How long the flash parts of a KOLT board stay busy, and a deadline that
// says whether they still are.
#pragma once

#include <chrono>

namespace vtarget {

struct FlashTiming {
    using Duration = std::chrono::steady_clock::duration;
    Duration step = std::chrono::milliseconds(5);        // controller command, unlock step, write
    Duration unitErase = std::chrono::milliseconds(10);  // one internal unit
    Duration chipErase8 = std::chrono::milliseconds(30); // one 8-bit device
    bool stuck = false;                                  // nothing ever finishes
};

// Busy from Start() until the duration has passed, or for ever when stuck.
class BusyDeadline {
  public:
    void Start(FlashTiming::Duration duration, bool stuck) {
        until_ = std::chrono::steady_clock::now() + duration;
        stuck_ = stuck;
    }
    bool Busy() const { return stuck_ || std::chrono::steady_clock::now() < until_; }

  private:
    std::chrono::steady_clock::time_point until_{};
    bool stuck_ = false;
};

} // namespace vtarget
