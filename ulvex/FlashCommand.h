// `ulvex flash`: the boards of -p/-t/IMAGE or of a jobs file, all at once,
// one session each, shown as a live view, plain lines or JSON Lines.
#pragma once

#include "Jobs.h"

#include <string>
#include <vector>

namespace ulvex {

struct FlashOptions {
    std::vector<BoardJob> boards;
    bool json = false;
    bool quiet = false;
    std::string logDir;
    bool keepGoing = false; // program the ports that passed their check
};

// Exit codes of every subcommand.
enum ExitCode : int {
    kAllVerified = 0,
    kBoardFailed = 1,
    kUsage = 2,
    kPortCheck = 3,
    kInterrupted = 130,
};

int RunFlash(const FlashOptions& options);

} // namespace ulvex
