// The state of one `ulvex flash` run that the session threads, the view
// and the command share: every board, its progress and its outcome, under
// one lock. The library's callback has no context argument, so a process
// has one run.
#pragma once

#include "Arguments.h"
#include "Jobs.h"
#include "Outcome.h"
#include "Progress.h"
#include "Targets.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace ulvex {

struct Board {
    BoardJob job{};
    const TargetType* target = nullptr;
    PortArgument address{};
    // The Intel HEX file the library reads (the image or its conversion),
    // absolute: the library opens it after --log-dir's chdir.
    std::string image{};
    uint32_t comport = 0;
    uint16_t session = 0;
    std::string checkFailure{}; // the port failed its check; no session
    std::string startFailure{}; // FlashLoader refused to start
    OutcomeTracker tracker{};
    BoardProgress progress{};

    bool Running() const {
        return checkFailure.empty() && startFailure.empty() && !tracker.Stopped();
    }
    // The result as the user reads it, with the reason of a failed open.
    Outcome Result() const;
};

struct Run {
    std::mutex mutex;
    std::condition_variable changed; // a board stopped, or an interrupt came
    std::vector<Board> boards;
    Clock::time_point start = Clock::now();
    bool started = false; // the sessions are being started: an interrupt waits for them
    bool interrupted = false;
};

// How a run shows itself: JSON Lines, plain lines, or the live view.
class FlashView {
  public:
    virtual ~FlashView() = default;
    // On the session's thread, under the run's lock, after the board took it.
    virtual void Indication(const Board& board, const IndicationRecord& record) = 0;
    // Once, when every board stopped or an interrupt came; takes the lock.
    virtual void Finish(Run& run) = 0;
};

std::unique_ptr<FlashView> MakeJsonView(const Run& run);
std::unique_ptr<FlashView> MakeLinesView(bool quiet);
std::unique_ptr<FlashView> MakeLiveView(Run& run);

} // namespace ulvex
