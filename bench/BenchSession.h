// Whole programming sessions against virtual boards in this process, with
// line timing, for the session benchmarks. Each board records when its line
// carried bytes and when it kept the PC waiting; the library reports the
// waits its protocol asks for. A session's covered time is the union of
// these three within the session: what the line, the board and the
// protocol account for. The rest is what the host adds.
#pragma once

#include "BenchBoard.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct SessionSetup {
    uint32_t targetType = 1;
    uint32_t baudRate = 115200;
    std::string image;             // Intel HEX file
    uint32_t adapterLatencyMs = 0; // the board's USB adapter; 0: none
    PortKind port = PortKind::Direct;
};

struct SessionFigures {
    bool crcOk = false;
    bool stopped = false;
    // Steady clock: the start, the monitor answering, the erase done, the
    // programming done and the stop indication.
    double startMs = 0, monitorUpMs = 0, erasedMs = 0, programmedMs = 0, stopMs = 0;
    double workerCpuMs = 0; // user+sys of the session's worker thread
    double serverCpuMs = 0; // user+sys of ser2net, started just before the session
    double lineMs = 0, boardMs = 0, waitMs = 0, coveredMs = 0;
    uint64_t bytesOnLine = 0;
    // Stretches of line activity in the session: about one per request and
    // its answer, since an answer on time follows its request at once.
    size_t exchanges = 0;

    double SessionMs() const { return stopMs - startMs; }
    // From the erase (or the monitor start) to the last programming mail.
    double ProgrammingMs() const { return programmedMs - std::max(monitorUpMs, erasedMs); }
    double Efficiency() const { return coveredMs / SessionMs(); }
    double CpuShare() const { return workerCpuMs / SessionMs(); }
    double ServerCpuShare() const { return serverCpuMs / SessionMs(); }
    // The time nothing accounts for, per exchange: the host's turnaround.
    double HostUsPerExchange() const {
        return exchanges == 0 ? 0 : 1e3 * (SessionMs() - coveredMs) / exchanges;
    }
};

// Runs the sessions at once, each on its own board and port, and returns
// their figures in the same order once all have stopped.
std::vector<SessionFigures> RunSessions(const std::vector<SessionSetup>& setups);

// Where the flash of a target type starts, for images that fill it.
uint32_t FlashBaseOf(uint32_t targetType);

} // namespace bench
