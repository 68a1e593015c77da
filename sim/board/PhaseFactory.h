// Which program runs on the board at each stage, set up from the board's
// options and the boot table of its target type.
#pragma once

#include "boot/BootTable.h"
#include "line/FaultInjector.h"
#include "line/Phase.h"
#include "monitor/Monitor.h"
#include "state/BoardShared.h"

#include <vtarget/Board.h>

#include <memory>

namespace vtarget {

// Where a board starts: with its monitor running or in its boot loader.
Stage FirstStage(const BoardOptions& options);
// The rate it expects first; 0 when its target type has no boot loader.
uint32_t FirstRate(const BoardOptions& options);

class PhaseFactory {
  public:
    PhaseFactory(const BoardOptions& options, BoardShared& shared, FaultInjector& faults);

    // The boot loader only for a type that has one (see FirstRate).
    std::unique_ptr<Phase> Make(Stage stage, Clock::time_point now) const;

  private:
    std::unique_ptr<Phase> BootLoader(Clock::time_point now) const;

    BoardOptions options_;
    BoardShared& shared_;
    FaultInjector& faults_;
    std::optional<BootEntry> boot_;
    MonitorSettings monitor_;
};

} // namespace vtarget
