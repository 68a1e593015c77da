// Scale benchmark: one board programmed alone, then many boards programmed
// at once from this one process, each session on its own port and worker,
// each board playing its bytes at their line time. Prints the time from
// the first start to the last stop against the lone board's session time,
// and the workers' processor time, from one run.
//
//   build/bench/scale_bench [--boards=16] [--type=1] [--kib=512] [--rate=115200]
#include "BenchArgs.h"
#include "BenchImage.h"
#include "BenchSession.h"

#include <algorithm>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const uint32_t boards = bench::ListArg(argc, argv, "boards", {16}).at(0);
    const uint32_t type = bench::ListArg(argc, argv, "type", {1}).at(0);
    const uint32_t kib = bench::ListArg(argc, argv, "kib", {512}).at(0);
    const uint32_t rate = bench::ListArg(argc, argv, "rate", {115200}).at(0);
    const std::string image = "/tmp/ulvex-scale-bench.hex";
    bench::WriteHexImage(image, bench::FlashBaseOf(type), size_t{kib} * 1024);

    const auto alone = bench::RunSessions({{type, rate, image}}).front();
    const std::vector<bench::SessionSetup> setups(boards, {type, rate, image});
    const auto together = bench::RunSessions(setups);
    std::remove(image.c_str());

    double first = together.front().startMs, last = 0, cpu = 0;
    size_t good = 0;
    for (const auto& figures : together) {
        first = std::min(first, figures.startMs);
        last = std::max(last, figures.stopMs);
        cpu += figures.workerCpuMs;
        good += figures.crcOk ? 1 : 0;
    }
    const double total = last - first;
    std::printf("type %u, %u KiB at %u baud, vtarget with line timing\n", type, kib, rate);
    std::printf("one board:  %8.2f s  %s  host CPU %.2f %%\n", alone.SessionMs() / 1e3,
                alone.crcOk ? "CRC ok" : "CRC FAILED", 100 * alone.CpuShare());
    std::printf("%2u boards:  %8.2f s  %zu of %u CRC ok  host CPU %.2f %% of one core\n", boards,
                total / 1e3, good, boards, 100 * cpu / total);
    std::printf("all at once / one board   %.3f\n", total / alone.SessionMs());
    return good == boards && alone.crcOk ? 0 : 1;
}
