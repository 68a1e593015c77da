// The board thread: waits in poll() on the pty master and the wake
// descriptor, hands each received byte to the running phase once it has
// arrived, and sends what the phase answers.
#pragma once

#include "BoardShared.h"
#include "FaultInjector.h"
#include "Line.h"
#include "Phase.h"

#include <vtarget/Board.h>

#include <deque>
#include <memory>

namespace vtarget {

class BoardLoop {
  public:
    BoardLoop(int master, int wake, const BoardOptions& options, BoardShared& shared);

    // Returns once the wake descriptor is signalled.
    void Run();

  private:
    bool Step();
    int PollTimeout(Clock::time_point now) const;
    bool Deliver(Clock::time_point now);
    bool DeliverByte(const RxByte& byte);
    bool SendReplies(const std::vector<Reply>& replies);

    int master_;
    int wake_;
    bool echo_;
    BoardShared& shared_;
    FaultInjector faults_;
    Line line_;
    std::unique_ptr<Phase> phase_;
    std::deque<RxByte> received_;
    Clock::time_point lastArrival_{};
};

} // namespace vtarget
