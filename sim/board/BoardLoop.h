// The board thread: waits in poll() on the pty master and the wake
// descriptor, hands each received byte to the running phase once it has
// arrived, wakes the phase at its deadlines, sends what the phase answers
// and puts its successor in place once it hands over. With line timing,
// bytes due within a short look-ahead are handed over together, and what
// they cause is sent no earlier than they arrive: the board wakes about
// once a millisecond, not once a byte, and still answers on time.
#pragma once

#include "board/PhaseFactory.h"
#include "line/FaultInjector.h"
#include "line/Line.h"
#include "line/Phase.h"
#include "state/BoardShared.h"

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
    // Whether the first received byte may go to the phase now.
    bool ByteReady(Clock::time_point now) const;
    bool DeliverByte(const RxByte& byte);
    bool FireTimer(Clock::time_point now);
    bool EndQuietMessage(Clock::time_point now);
    // Puts the successor in place if the phase has handed over, then sends.
    // Answers leave no earlier than notBefore.
    bool Conclude(const std::vector<Reply>& replies, Clock::time_point notBefore);
    bool SendReplies(const std::vector<Reply>& replies, Clock::time_point notBefore);

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
