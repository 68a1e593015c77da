// Whole programming sessions against virtual boards in this process, with
// line timing, for the session benchmarks. Each board records when its line
// carried bytes and when it kept the PC waiting; the library reports the
// waits its protocol asks for. A session's covered time is the union of
// these three within the session: what the line, the board and the
// protocol account for. The rest is what the host adds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct SessionSetup {
    uint32_t targetType = 1;
    uint32_t baudRate = 115200;
    std::string image; // Intel HEX file
};

struct SessionFigures {
    bool crcOk = false;
    bool stopped = false;
    double startMs = 0, monitorUpMs = 0, stopMs = 0; // steady clock
    double workerCpuMs = 0; // user+sys of the session's worker thread
    double lineMs = 0, boardMs = 0, waitMs = 0, coveredMs = 0;
    uint64_t bytesOnLine = 0;

    double SessionMs() const { return stopMs - startMs; }
    double Efficiency() const { return coveredMs / SessionMs(); }
    double CpuShare() const { return workerCpuMs / SessionMs(); }
};

// Runs the sessions at once, each on its own board and port, and returns
// their figures in the same order once all have stopped.
std::vector<SessionFigures> RunSessions(const std::vector<SessionSetup>& setups);

// Where the flash of a target type starts, for images that fill it.
uint32_t FlashBaseOf(uint32_t targetType);

} // namespace bench
