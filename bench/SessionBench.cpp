// Session benchmark: programs an image into a KOLT board with external
// 16-bit flash (target type 1), the virtual board playing every byte at its
// line time, at 115200 and at 921600 baud. For each rate it prints, from one
// run:
//   - the programming phase (monitor running to the stop indication) against
//     the line time of every byte exchanged in it: the share of the session
//     the line itself takes; the rest is what host and protocol add;
//   - the whole session against the same line time plus the boot phase's
//     line time at the boot rate and the waits the monitor start mandates;
//   - the session worker's processor time against the session time.
//
//   build/bench/session_bench [image KiB, default 512]
#include "BenchClock.h"
#include "ulvex.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>
#include <vtarget/Board.h>

namespace {

using bench::Clock;
constexpr unsigned kPort = 9;
constexpr uint32_t kType = 1;
constexpr uint32_t kFlashBase = 0x080000;
constexpr uint32_t kBootRate = 9600;
constexpr double kBitsPerByte = 10;
// DelayMs the chip monitor start waits: after the download, after the rate
// request and after the PC's rate change.
constexpr double kMandatedStartWaitMs = 80 + 100 + 50;

using bench::Ms;
using bench::ThreadCpuMs;

// What the callback records on the session's worker thread.
struct SessionMarks {
    std::mutex mutex;
    std::condition_variable stopped;
    vtarget::Board* board = nullptr;
    Clock::time_point start, monitorUp, stop;
    double cpuAtStart = 0, cpuAtStop = 0;
    uint64_t bytesAtMonitorUp = 0, bytesAtStop = 0;
    bool done = false;
    bool crcOk = false;
};

SessionMarks marks;

uint64_t BytesOnLine() {
    return marks.board->BytesReceived() + marks.board->BytesSent();
}

void ULVEX_CALL OnIndication(IndicationRecord* record) {
    std::lock_guard lock(marks.mutex);
    switch (record->code) {
    case START_PROGRAM_IND:
        marks.start = Clock::now();
        marks.cpuAtStart = ThreadCpuMs();
        break;
    case DOWNLOAD_SUCCESS_IND:
        marks.monitorUp = Clock::now();
        marks.bytesAtMonitorUp = BytesOnLine();
        break;
    case CRC_OK_IND:
        marks.crcOk = true;
        break;
    case STOP_PROGRAM_IND:
        marks.stop = Clock::now();
        marks.cpuAtStop = ThreadCpuMs();
        marks.bytesAtStop = BytesOnLine();
        marks.done = true;
        marks.stopped.notify_all();
        break;
    default:
        break;
    }
}

// Intel HEX of random bytes at the flash base: extended address records
// and 16-byte data records.
std::string WriteImage(const std::string& path, size_t size) {
    std::mt19937 random(42);
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    uint32_t upper = UINT32_MAX;
    for (size_t at = 0; at < size; at += 16) {
        const uint32_t address = kFlashBase + static_cast<uint32_t>(at);
        if (address >> 16 != upper) {
            upper = address >> 16;
            const uint8_t sum = static_cast<uint8_t>(-(2 + 4 + (upper >> 8) + (upper & 0xFF)));
            std::fprintf(file, ":02000004%04X%02X\n", upper, sum);
        }
        uint8_t sum = static_cast<uint8_t>(16 + (address >> 8 & 0xFF) + (address & 0xFF));
        std::fprintf(file, ":10%04X00", address & 0xFFFF);
        for (int i = 0; i < 16; ++i) {
            const auto byte = static_cast<uint8_t>(random());
            sum = static_cast<uint8_t>(sum + byte);
            std::fprintf(file, "%02X", byte);
        }
        std::fprintf(file, "%02X\n", static_cast<uint8_t>(-sum));
    }
    std::fprintf(file, ":00000001FF\n");
    std::fclose(file);
    return path;
}

void RunAt(uint32_t rate, const std::string& image) {
    char dir[] = "/tmp/ulvex-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    vtarget::BoardOptions options;
    options.targetType = static_cast<int>(kType);
    options.wireTiming = true;
    options.linkPath = std::string(dir) + "/board";
    vtarget::Board board(options);
    std::string error;
    if (!board.Start(error)) {
        std::fprintf(stderr, "board: %s\n", error.c_str());
        std::exit(1);
    }
    setenv(("ULVEX_COM" + std::to_string(kPort)).c_str(), options.linkPath.c_str(), 1);
    {
        std::lock_guard lock(marks.mutex);
        marks.board = &board;
        marks.done = false;
        marks.crcOk = false;
    }
    if (FlashLoader(kPort, 2, rate, kType, image.c_str(), 1) != FLASHLOADER_STARTED) {
        std::fprintf(stderr, "the session did not start\n");
        std::exit(1);
    }
    std::unique_lock lock(marks.mutex);
    marks.stopped.wait(lock, [] { return marks.done; });

    const double session = Ms(marks.stop - marks.start);
    const double phase = Ms(marks.stop - marks.monitorUp);
    const double phaseWire =
        (marks.bytesAtStop - marks.bytesAtMonitorUp) * kBitsPerByte / rate * 1e3;
    const double bootWire = marks.bytesAtMonitorUp * kBitsPerByte / kBootRate * 1e3;
    const double ideal = phaseWire + bootWire + kMandatedStartWaitMs;
    const double cpu = marks.cpuAtStop - marks.cpuAtStart;
    std::printf("%7u baud  %s  session %8.0f ms  programming %8.0f ms\n", rate,
                marks.crcOk ? "CRC ok   " : "CRC FAILED", session, phase);
    std::printf("              line time / programming phase        %.3f\n", phaseWire / phase);
    std::printf("              (line time + mandated waits) / session %.3f\n", ideal / session);
    std::printf("              host CPU / session                    %.4f\n", cpu / session);
    board.Stop();
    rmdir(dir);
}

} // namespace

int main(int argc, char** argv) {
    const size_t kib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 512;
    const std::string image = WriteImage("/tmp/ulvex-bench-image.hex", kib * 1024);
    SetupCallbackFunction(OnIndication);
    std::printf("type %u, %zu KiB image, vtarget with line timing\n", kType, kib);
    for (uint32_t rate : {115200u, 921600u}) {
        RunAt(rate, image);
    }
    std::remove(image.c_str());
    return 0;
}
