// Remote-port benchmark: the same session on a board that plays every byte
// at its line time, once on the board's pseudo-terminal and once through
// ser2net on 127.0.0.1 (the COM port an rfc2217:// URL), at each rate. For
// each it prints, from one run, the session time, the efficiency (what the
// line, the board and the protocol's waits account for), the worker's and
// ser2net's processor time against the session, the host's time per
// exchange, and the ratio of the remote session to the direct one.
//
//   build/bench/remote_bench [--type=1] [--kib=512] [--rates=115200,921600]
#include "BenchArgs.h"
#include "BenchImage.h"
#include "BenchSession.h"

#include <cstdio>
#include <string>

namespace {

void Report(uint32_t rate, const bench::SessionFigures& f, bool remote) {
    char server[16] = "-";
    if (remote) {
        std::snprintf(server, sizeof server, "%.2f %%", 100 * f.ServerCpuShare());
    }
    std::printf("%7u  %-6s  %9.2f  %7.3f  %6.2f %%  %11s  %16.0f  %s\n", rate,
                remote ? "remote" : "direct", f.SessionMs() / 1e3, f.Efficiency(),
                100 * f.CpuShare(), server, f.HostUsPerExchange(),
                f.crcOk ? "CRC ok" : "CRC FAILED");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const uint32_t type = bench::ListArg(argc, argv, "type", {1}).at(0);
    const uint32_t kib = bench::ListArg(argc, argv, "kib", {512}).at(0);
    const auto rates = bench::ListArg(argc, argv, "rates", {115200, 921600});
    const std::string image = "/tmp/ulvex-remote-bench.hex";
    bench::WriteHexImage(image, bench::FlashBaseOf(type), size_t{kib} * 1024);
    std::printf("type %u, %u KiB, vtarget with line timing; remote: ser2net on 127.0.0.1\n", type,
                kib);
    std::printf("   baud  port    session s  covered  host CPU  ser2net CPU  host us/exchange\n");
    bool good = true;
    for (uint32_t rate : rates) {
        const auto direct = bench::RunSessions({{type, rate, image}}).front();
        Report(rate, direct, false);
        const auto remote = bench::RunSessions({{type, rate, image, 0, true}}).front();
        Report(rate, remote, true);
        std::printf("remote / direct at %u: %.3f\n", rate, remote.SessionMs() / direct.SessionMs());
        good = good && direct.crcOk && remote.crcOk;
    }
    std::remove(image.c_str());
    return good ? 0 : 1;
}
