// What `ulvex verify` and `ulvex read` share: their boards, each reached
// in a test mode of its own, one after another (test mode runs on the
// calling thread, one at a time), started exactly as vorn starts it
// (cli/TestModeMonitor.cpp) and ended on every way out.
#pragma once

#include "Outcome.h"
#include "Targets.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace ulvex {

// The options of the link to the boards, as `ulvex flash` has them.
struct LinkOptions {
    std::vector<std::string> ports;
    std::string target;
    uint32_t baud = 115200;
    std::string bus = "duplex";
    bool dtr = false;
    bool rts = false;
    bool json = false;
};

struct TestModeBoard {
    std::string port;     // as given
    uint32_t comport = 0; // the library's number for it
    uint16_t session = 0; // 1, 2, ... in the order given
};

// The target type and the boards of the options: every port parsed,
// checked (Preflight) and mapped to a COM number. Prints why and returns
// the exit code (2 or 3) when that fails, else 0.
int PrepareBoards(const LinkOptions& options, const TargetType*& target,
                  std::vector<TestModeBoard>& boards);

// Prints "ulvex: MESSAGE" on standard error; returns the usage exit code.
int UsageError(const std::string& message);

// A file that an interrupted run must not leave behind (read's output).
void RemoveOnInterrupt(const std::string& path);

// Takes Ctrl-C (SIGINT, SIGTERM, SIGHUP) from now on: the board in test
// mode is named, read's partial output and the temporary images removed,
// and the run ends with 130. Once per process; later calls do nothing.
void CatchTestModeInterrupts();

// One board's test mode, open for the object's life once Start succeeded.
// Test mode's indications go to the JSON Lines with --json.
class TestModeLink {
  public:
    TestModeLink(const TestModeBoard& board, const LinkOptions& options, uint32_t targetType);
    ~TestModeLink();
    TestModeLink(const TestModeLink&) = delete;
    TestModeLink& operator=(const TestModeLink&) = delete;

    // Opens the port and, unless a monitor answers already, starts one
    // through the boot loader. False, with the result and its reason in
    // failure, when there is no monitor to talk to.
    bool Start(Outcome& failure);
    // Milliseconds since the object was made.
    uint32_t Elapsed() const;

  private:
    bool OpenPort();
    void End();
    Outcome Failure(const std::string& result, const std::string& detail) const;

    TestModeBoard board_;
    uint32_t baud_;
    uint32_t busmode_;
    uint32_t targetType_;
    bool active_ = false; // test mode is on: it must be ended
    std::chrono::steady_clock::time_point start_;
};

} // namespace ulvex
