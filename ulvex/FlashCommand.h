// `ulvex flash IMAGE -p PORT [-p PORT ...] -t TARGET`: the same image into
// every board at once, one session each, with plain lines or JSON Lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ulvex {

struct FlashOptions {
    std::string image;
    std::vector<std::string> ports;
    std::string target;
    uint32_t baud = 115200;
    std::string bus = "duplex";
    bool dtr = false;
    bool rts = false;
    bool json = false;
    bool quiet = false;
    std::string logDir;
    bool keepGoing = false; // program the ports that passed their check
};

// Exit codes of every subcommand.
enum ExitCode : int { kAllVerified = 0, kBoardFailed = 1, kUsage = 2, kPortCheck = 3 };

int RunFlash(const FlashOptions& options);

} // namespace ulvex
