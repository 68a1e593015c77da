// The board thread: waits in poll() on the pty master and the wake
// descriptor, hands each received byte to the running phase once it has
// arrived, wakes the phase at its deadlines, sends what the phase answers
// and puts its successor in place once it hands over.
#pragma once

#include "BoardShared.h"
#include "FaultInjector.h"
#include "Line.h"
#include "Phase.h"
#include "PhaseFactory.h"

#include <vtarget/Board.h>

#include <deque>
#include <memory>

namespace vtarget {

class BoardLoop {
  public:
    // The options' target type must have a boot loader unless the monitor
    // runs from the start (FirstRate() is not 0).
    BoardLoop(int master, int wake, const BoardOptions& options, BoardShared& shared);

    // Returns once the wake descriptor is signalled.
    void Run();

  private:
    bool Step();
    // When the loop must wake without input; nothing: only input wakes it.
    std::optional<Clock::time_point> NextWake() const;
    bool Deliver(Clock::time_point now);
    bool TimerFirst(Clock::time_point now) const;
    bool DeliverByte(const RxByte& byte);
    bool FireTimer(Clock::time_point now);
    bool EndQuietMessage(Clock::time_point now);
    // Puts the successor in place if the phase has handed over, then sends.
    bool Conclude(const std::vector<Reply>& replies);
    bool SendReplies(const std::vector<Reply>& replies);

    int master_;
    int wake_;
    bool echo_;
    BoardShared& shared_;
    FaultInjector faults_;
    Line line_;
    PhaseFactory phases_;
    std::unique_ptr<Phase> phase_;
    std::deque<RxByte> received_;
    Clock::time_point lastArrival_{};
};

} // namespace vtarget
