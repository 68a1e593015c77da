// Link benchmark against a virtual board in this process: the round trip of
// a one-byte read, set against the time its request spends on the line, and the
// processor time the library spends while a request goes unanswered, set
// against the wall time it waits. Ratios from one run, so a busy machine
// shifts both sides alike.
//
//   build/bench/link_bench [rounds]
#include "BenchClock.h"
#include "link/BusAccess.h"
#include "link/Primitives.h"
#include "serial/Sio.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>
#include <vtarget/Board.h>

namespace {

using bench::Clock;
constexpr unsigned kPort = 9;

using bench::Ms;
using bench::ThreadCpuMs;

struct RunningBoard {
    vtarget::Board board;
    explicit RunningBoard(vtarget::BoardOptions options) : board(std::move(options)) {
        std::string error;
        if (!board.Start(error)) {
            std::fprintf(stderr, "board: %s\n", error.c_str());
            std::exit(1);
        }
        setenv(("ULVEX_COM" + std::to_string(kPort)).c_str(), board.SlavePath().c_str(), 1);
    }
};

// Median round trip of a one-byte READ_MEM8_REQ at the rate.
void RoundTrip(uint32_t rate, int rounds) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.baudRate = rate;
    RunningBoard b(options);
    if (OpenAccessPort(kPort, rate, 2, 0) != 1) {
        std::fprintf(stderr, "cannot open the board's port\n");
        std::exit(1);
    }
    std::vector<double> times;
    uint8_t byte = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        if (MonReadByte(0x1000, &byte) != 0) {
            std::fprintf(stderr, "read failed\n");
            std::exit(1);
        }
        times.push_back(Ms(Clock::now() - start));
    }
    CloseAccessPort();
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    // The PC spends the request's line time (14 bytes of 10 bits) on any
    // port; the board answers at once without line timing.
    const double lineMs = 14 * 10 * 1e3 / rate;
    std::printf("round trip of a one-byte read at %7u baud: median %.3f ms, request line time "
                "%.3f ms, ratio %.2f, beyond the line %.3f ms\n",
                rate, median, lineMs, median / lineMs, median - lineMs);
}

// Processor time of a transaction that gets no answer (three sends).
void Unanswered() {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.baudRate = 1000000;
    options.faults.silentAfter = 0;
    RunningBoard b(options);
    OpenAccessPort(kPort, 1000000, 2, 0);
    uint32_t version = 0;
    const double cpuBefore = ThreadCpuMs();
    const auto start = Clock::now();
    const uint32_t result = MonGetVersion(&version);
    const double wall = Ms(Clock::now() - start);
    const double cpu = ThreadCpuMs() - cpuBefore;
    CloseAccessPort();
    std::printf("unanswered request (result %u): wall %.0f ms, processor %.2f ms, ratio %.5f\n",
                result, wall, cpu, cpu / wall);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    RoundTrip(1000000, rounds);
    RoundTrip(115200, rounds / 4);
    Unanswered();
    return 0;
}
