// Remote-port benchmark: the same session on a board that plays every byte
// at its line time, once on the board's pseudo-terminal and once through
// ser2net on 127.0.0.1 (the COM port an rfc2217:// URL), at each rate; with
// --nodelay=1 also through a ser2net whose connections send without Nagle's
// delay. For each it prints, from one run, the session time, the efficiency
// (what the line, the board and the protocol's waits account for), the
// worker's and ser2net's processor time against the session, the host's
// time per exchange, and the ratio of each remote session to the direct one.
//
// Then, on a board whose monitor runs, the medians of --probe rounds of the
// steps of one exchange on each kind of port: the purge that precedes every
// request, a one-byte read and a 512-byte write mail, each with its answer.
//
//   build/bench/remote_bench [--type=1] [--kib=512] [--rates=115200,921600] [--nodelay=1]
//                            [--probe=300]
#include "BenchArgs.h"
#include "BenchClock.h"
#include "BenchImage.h"
#include "BenchSession.h"
#include "link/BusAccess.h"
#include "link/Primitives.h"
#include "serial/Sio.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using bench::PortKind;

constexpr unsigned kProbePort = 9;
constexpr uint32_t kBusMode = 2;
constexpr uint32_t kProbeAddress = 0x1000;
constexpr uint32_t kMailBytes = 512; // as a programming mail of type 1 carries

const char* NameOf(PortKind kind) {
    switch (kind) {
    case PortKind::Direct:
        return "direct";
    case PortKind::Ser2net:
        return "ser2net";
    default:
        return "nodelay";
    }
}

void Report(uint32_t rate, PortKind kind, const bench::SessionFigures& f) {
    char server[16] = "-";
    if (kind != PortKind::Direct) {
        std::snprintf(server, sizeof server, "%.2f %%", 100 * f.ServerCpuShare());
    }
    std::printf("%7u  %-7s  %9.2f  %7.3f  %6.2f %%  %11s  %16.0f  %s\n", rate, NameOf(kind),
                f.SessionMs() / 1e3, f.Efficiency(), 100 * f.CpuShare(), server,
                f.HostUsPerExchange(), f.crcOk ? "CRC ok" : "CRC FAILED");
    std::fflush(stdout);
}

template <typename Step>
double MedianUs(int rounds, Step step) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = bench::Clock::now();
        step();
        times.push_back(1e3 * bench::Ms(bench::Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Probe(uint32_t rate, PortKind kind, int rounds) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    options.wireTiming = true;
    options.baudRate = rate;
    bench::BenchBoard board(options, kProbePort, kind);
    if (OpenAccessPort(kProbePort, rate, kBusMode, 0) != 1) {
        std::fprintf(stderr, "cannot open the probe's port\n");
        std::exit(1);
    }
    uint8_t byte = 0;
    std::vector<uint8_t> block(kMailBytes);
    const double purge = MedianUs(rounds, [] { ReInitBuffer(); });
    const double read = MedianUs(rounds, [&] { MonReadByte(kProbeAddress, &byte); });
    const double write = MedianUs(std::max(rounds / 4, 1),
                                  [&] { MonWriteMem8(kProbeAddress, kMailBytes, block.data()); });
    CloseAccessPort();
    std::printf("%7u  %-7s  %8.1f  %14.1f  %18.1f\n", rate, NameOf(kind), purge, read, write);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const uint32_t type = bench::ListArg(argc, argv, "type", {1}).at(0);
    const uint32_t kib = bench::ListArg(argc, argv, "kib", {512}).at(0);
    const auto rates = bench::ListArg(argc, argv, "rates", {115200, 921600});
    const bool noDelay = bench::ListArg(argc, argv, "nodelay", {1}).at(0) != 0;
    const int rounds = static_cast<int>(bench::ListArg(argc, argv, "probe", {300}).at(0));
    std::vector<PortKind> kinds = {PortKind::Direct, PortKind::Ser2net};
    if (noDelay) {
        kinds.push_back(PortKind::Ser2netNoDelay);
    }
    const std::string image = "/tmp/ulvex-remote-bench.hex";
    bench::WriteHexImage(image, bench::FlashBaseOf(type), size_t{kib} * 1024);
    std::printf("type %u, %u KiB, vtarget with line timing; ser2net on 127.0.0.1\n", type, kib);
    std::printf("   baud  port     session s  covered  host CPU  ser2net CPU  host us/exchange\n");
    bool good = true;
    for (uint32_t rate : rates) {
        std::vector<bench::SessionFigures> figures;
        for (PortKind kind : kinds) {
            figures.push_back(bench::RunSessions({{type, rate, image, 0, kind}}).front());
            Report(rate, kind, figures.back());
            good = good && figures.back().crcOk;
        }
        for (size_t i = 1; i < kinds.size(); ++i) {
            std::printf("%s / direct at %u: %.3f\n", NameOf(kinds[i]), rate,
                        figures[i].SessionMs() / figures.front().SessionMs());
        }
    }
    std::remove(image.c_str());
    if (rounds > 0) {
        std::printf("\nsteps of an exchange, median us of %d rounds (the write mail: %d)\n", rounds,
                    std::max(rounds / 4, 1));
        std::printf("   baud  port        purge  one-byte read  512-byte write mail\n");
        for (uint32_t rate : rates) {
            for (PortKind kind : kinds) {
                Probe(rate, kind, rounds);
            }
        }
    }
    return good ? 0 : 1;
}
