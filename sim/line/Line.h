// The board's side of the serial line on the pty master: what the PC sent
// comes in as timed bytes, answers go out, and on the way both directions
// suffer the baud rate check and the injected line faults.
#pragma once

#include "line/FaultInjector.h"
#include "line/PtyRate.h"
#include "line/RxByte.h"
#include "line/WireClock.h"
#include "state/BoardShared.h"

#include <deque>
#include <optional>
#include <span>

namespace vtarget {

class Line {
  public:
    Line(int master, int wake, bool wireTiming, FaultInjector& faults, BoardShared& shared);

    // Reads what waits on the master into queue. False when the master
    // failed, so that the caller pauses instead of polling it in a loop.
    bool Receive(std::deque<RxByte>& queue);
    // Sends bytes, at the line rate when paced and wire timing is on. With
    // rateAfter the board expects that rate from the moment the last byte
    // is on its way, before the PC can have seen it. Paced bytes start no
    // earlier than notBefore. False when the board is stopping.
    bool Send(std::span<const uint8_t> bytes, bool paced,
              std::optional<uint32_t> rateAfter = std::nullopt, Clock::time_point notBefore = {});
    // Waits for the wake descriptor up to the deadline; false when woken.
    bool SleepUntil(Clock::time_point deadline) const;

  private:
    // Reads the PC side's settings; false when its rate is off by more than
    // a UART tolerates, so that bytes are garbled both ways.
    bool RateMatches(LineSettings& settings) const;
    Clock::duration ByteTimeNow() const;
    bool Transmit(std::span<const uint8_t> bytes, std::optional<uint32_t> rateAfter);
    bool WriteAll(std::span<const uint8_t> bytes);

    int master_;
    int wake_;
    bool wireTiming_;
    FaultInjector& faults_;
    BoardShared& shared_;
    ArrivalClock arrivals_;
    Clock::time_point lineFreeAt_{};
};

} // namespace vtarget
