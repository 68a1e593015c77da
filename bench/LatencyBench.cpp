// Adapter latency benchmark: the same session on a board behind a USB
// serial adapter whose latency timer holds what the board sends (62 bytes
// make a packet that goes at once, the rest waits out the latency), at
// each latency given, 0 (no adapter) first. Every byte also takes its line
// time. Prints, from one run, each session's time against the first
// latency's and against the latency before it, and the time the hold adds
// per exchange on the line.
//
//   build/bench/latency_bench [--types=1,10] [--kib=64,128] [--latencies=0,1,16] [--rate=921600]
//
// The i-th size goes with the i-th type (the last size with the rest).
#include "BenchArgs.h"
#include "BenchImage.h"
#include "BenchSession.h"

#include <algorithm>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const auto types = bench::ListArg(argc, argv, "types", {1, 10});
    const auto sizes = bench::ListArg(argc, argv, "kib", {64, 128});
    const auto latencies = bench::ListArg(argc, argv, "latencies", {0, 1, 16});
    const uint32_t rate = bench::ListArg(argc, argv, "rate", {921600}).at(0);
    const std::string image = "/tmp/ulvex-latency-bench.hex";
    std::printf("%u baud, vtarget with line timing behind an adapter of each latency\n", rate);
    std::printf("type   KiB  latency ms  session s  / first  / previous  exchanges  added ms per "
                "exchange\n");
    bool good = true;
    for (size_t i = 0; i < types.size(); ++i) {
        const uint32_t type = types[i];
        const uint32_t kib = sizes.at(std::min(i, sizes.size() - 1));
        bench::WriteHexImage(image, bench::FlashBaseOf(type), size_t{kib} * 1024);
        bench::SessionFigures first, previous;
        for (size_t j = 0; j < latencies.size(); ++j) {
            const auto f = bench::RunSessions({{type, rate, image, latencies[j]}}).front();
            if (j == 0) {
                first = previous = f;
            }
            good = good && f.crcOk;
            std::printf("%4u %5u  %10u  %9.2f  %7.3f  %9.3f  %9zu  %22.2f  %s\n", type, kib,
                        latencies[j], f.SessionMs() / 1e3, f.SessionMs() / first.SessionMs(),
                        f.SessionMs() / previous.SessionMs(), f.exchanges,
                        (f.SessionMs() - first.SessionMs()) / first.exchanges,
                        f.crcOk ? "CRC ok" : "CRC FAILED");
            std::fflush(stdout);
            previous = f;
        }
    }
    std::remove(image.c_str());
    return good ? 0 : 1;
}
