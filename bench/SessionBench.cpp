// Session benchmark: whole programming sessions on virtual boards that play
// every byte at its line time, for KOLT boards with external flash (type 1),
// ATmega boards (type 10) and ML675001 boards (type 14), at 115200 and at
// 921600 baud. For each it prints, from one run:
//   - the share of the session that the line (every byte exchanged, boot
//     download included), the board's own time (its prompt interval) and
//     the waits the protocol asks for account for, alone and together: the
//     efficiency. The rest is what the host adds;
//   - the session worker's processor time against the session time;
//   - the time nothing accounts for, per exchange on the line: the host's
//     turnaround between an answer and the next request.
//
//   build/bench/session_bench [--types=1,10,14] [--sizes=64,512,2048] [--rates=115200,921600]
//
// Sizes are KiB of random data from the flash base; ATmega boards take at
// most their 128 KiB of flash.
#include "BenchArgs.h"
#include "BenchImage.h"
#include "BenchSession.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr uint32_t kAtmegaFlashKiB = 128;

uint32_t SizeFor(uint32_t type, uint32_t kib) {
    return type == 10 || type == 17 ? std::min(kib, kAtmegaFlashKiB) : kib;
}

void Report(uint32_t type, uint32_t kib, uint32_t rate, const bench::SessionFigures& f) {
    const double session = f.SessionMs();
    std::printf("%4u %6u %7u  %8.2f  %5.3f %5.3f %5.3f  %6.3f  %6.2f %%  %6.0f  %s\n", type, kib,
                rate, session / 1e3, f.lineMs / session, f.boardMs / session, f.waitMs / session,
                f.Efficiency(), 100 * f.CpuShare(), f.HostUsPerExchange(),
                f.crcOk ? "CRC ok" : "CRC FAILED");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const auto types = bench::ListArg(argc, argv, "types", {1, 10, 14});
    const auto sizes = bench::ListArg(argc, argv, "sizes", {64, 512, 2048});
    const auto rates = bench::ListArg(argc, argv, "rates", {115200, 921600});
    const std::string image = "/tmp/ulvex-session-bench.hex";
    std::printf("vtarget with line timing; shares of the session time\n");
    std::printf(
        "type    KiB    baud  session s  line  board waits  covered  host CPU  host us/exchange\n");
    for (uint32_t type : types) {
        uint32_t lastKib = 0;
        for (uint32_t requested : sizes) {
            const uint32_t kib = SizeFor(type, requested);
            if (kib == lastKib) {
                continue;
            }
            lastKib = kib;
            bench::WriteHexImage(image, bench::FlashBaseOf(type), size_t{kib} * 1024);
            for (uint32_t rate : rates) {
                const auto figures = bench::RunSessions({{type, rate, image}});
                Report(type, kib, rate, figures.front());
            }
        }
    }
    std::remove(image.c_str());
    return 0;
}
