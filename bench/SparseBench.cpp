// Sparse-image benchmark: an image whose 4 KiB stretches are mostly 0xFF
// against a dense one of the same size, on a board that plays its bytes at
// their line time. Blank blocks are never sent, so the programming phase
// should shrink to about the share of data. Prints, from one run, the share
// of data and the ratio of the programming phases (erase done to the last
// programming mail) and of the whole sessions.
//
//   build/bench/sparse_bench [--types=1,14] [--kib=2048] [--share=10] [--rate=921600]
#include "BenchArgs.h"
#include "BenchImage.h"
#include "BenchSession.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const auto types = bench::ListArg(argc, argv, "types", {1, 14});
    const uint32_t kib = bench::ListArg(argc, argv, "kib", {2048}).at(0);
    const uint32_t percent = bench::ListArg(argc, argv, "share", {10}).at(0);
    const uint32_t rate = bench::ListArg(argc, argv, "rate", {921600}).at(0);
    const std::string dense = "/tmp/ulvex-dense-bench.hex";
    const std::string sparse = "/tmp/ulvex-sparse-bench.hex";
    std::printf("%u KiB at %u baud, vtarget with line timing\n", kib, rate);
    std::printf("type  data share  programming sparse/dense  session sparse/dense\n");
    bool good = true;
    for (uint32_t type : types) {
        const uint32_t base = bench::FlashBaseOf(type);
        bench::WriteHexImage(dense, base, size_t{kib} * 1024);
        const double share =
            bench::WriteHexImage(sparse, base, size_t{kib} * 1024, percent / 100.0);
        const auto d = bench::RunSessions({{type, rate, dense}}).front();
        const auto s = bench::RunSessions({{type, rate, sparse}}).front();
        good = good && d.crcOk && s.crcOk;
        std::printf("%4u  %10.3f  %26.3f  %20.3f  %s\n", type, share,
                    s.ProgrammingMs() / d.ProgrammingMs(), s.SessionMs() / d.SessionMs(),
                    d.crcOk && s.crcOk ? "CRC ok" : "CRC FAILED");
        std::fflush(stdout);
    }
    std::remove(dense.c_str());
    std::remove(sparse.c_str());
    return good ? 0 : 1;
}
