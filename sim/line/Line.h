// The board's side of the serial line on the pty master: what the PC sent
// comes in as timed bytes, answers go out, and on the way both directions
// suffer the baud rate check and the injected line faults. What goes out
// passes the adapter's hold last, on top of its line time.
#pragma once

#include "line/AdapterHold.h"
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
    Line(int master, int wake, bool wireTiming, std::chrono::milliseconds adapterLatency,
         FaultInjector& faults, BoardShared& shared);

    // Reads what waits on the master into queue. False when the master
    // failed, so that the caller pauses instead of polling it in a loop.
    bool Receive(std::deque<RxByte>& queue);
    // Sends bytes, at the line rate when paced and wire timing is on. With
    // rateAfter the board expects that rate from the moment the last byte
    // is on its way, before the PC can have seen it. Paced bytes start no
    // earlier than notBefore. False when the board is stopping.
    bool Send(std::span<const uint8_t> bytes, bool paced,
              std::optional<uint32_t> rateAfter = std::nullopt, Clock::time_point notBefore = {});
    // Waits for the wake descriptor up to the deadline, passing on what the
    // adapter holds when it is due; false when woken.
    bool SleepUntil(Clock::time_point deadline);
    // When the adapter passes on what it holds; nothing while it holds none.
    std::optional<Clock::time_point> HeldUntil() const { return hold_.Deadline(); }
    // Writes what the adapter holds if it is due at now; false when stopping.
    bool ReleaseHeld(Clock::time_point now);

  private:
    // Reads the PC side's settings; false when its rate is off by more than
    // a UART tolerates, so that bytes are garbled both ways.
    bool RateMatches(LineSettings& settings) const;
    Clock::duration ByteTimeNow() const;
    bool Transmit(std::span<const uint8_t> bytes, std::optional<uint32_t> rateAfter);
    // Through the adapter's hold to the PC.
    bool Forward(std::span<const uint8_t> bytes);
    bool WriteAll(std::span<const uint8_t> bytes);

    int master_;
    int wake_;
    bool wireTiming_;
    FaultInjector& faults_;
    BoardShared& shared_;
    AdapterHold hold_;
    ArrivalClock arrivals_;
    Clock::time_point lineFreeAt_{};
};

} // namespace vtarget
