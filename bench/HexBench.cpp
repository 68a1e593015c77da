// HEX reading benchmark: writes an Intel HEX file of random data (extended
// linear address records, 16-byte and then 32-byte data records) into /tmp
// and reads it the way a programming session does (ProgramImage::Read). For
// each record size it prints, from one run:
//   - the reader's speed in file megabytes per second against a plain
//     chunked fread of the same file, and against that fread with a table
//     hex decode of every digit pair, both from the page cache;
//   - the image size and the process's peak memory while reading, as
//     "peak - baseline" and as a ratio to the image (goal: image + 16 MiB).
// Each measurement runs `rounds` times, interleaved; the best time counts.
//
//   build/bench/hex_bench [file MiB, default 64] [rounds, default 5]
#include "BenchClock.h"
#include "BenchImage.h"
#include "programmers/ProgramImage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using bench::Clock;
using bench::Ms;

constexpr uint32_t kImageBase = 0x00100000;
constexpr size_t kReadChunk = 64 * 1024;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kMemoryAllowanceMiB = 16;
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

uint64_t Fnv(uint64_t hash, uint8_t byte) {
    return (hash ^ byte) * kFnvPrime;
}

struct HexFile {
    std::string path;
    uint64_t fileBytes = 0;
    uint32_t imageBytes = 0;
    uint64_t imageHash = kFnvOffset; // FNV-1a of the data bytes in address order
};

void Fail(const char* what) {
    std::fprintf(stderr, "hex_bench: %s\n", what);
    std::exit(1);
}

// Random data records of recordSize bytes from kImageBase on, until the
// file reaches fileBytes, then the end record.
HexFile WriteHexFile(const std::string& path, uint64_t fileBytes, uint8_t recordSize) {
    HexFile hex{path};
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937 random(42);
    std::vector<uint8_t> data(recordSize);
    uint32_t upper = UINT32_MAX;
    const auto put = [&](const std::string& line) {
        out << line;
        hex.fileBytes += line.size();
    };
    while (hex.fileBytes < fileBytes) {
        const uint32_t address = kImageBase + hex.imageBytes;
        if (address >> 16 != upper) {
            upper = address >> 16;
            const uint8_t high[2] = {static_cast<uint8_t>(upper >> 8),
                                     static_cast<uint8_t>(upper & 0xFF)};
            put(bench::HexRecord(0x04, 0, high, 2));
        }
        for (uint8_t& byte : data) {
            byte = static_cast<uint8_t>(random());
            hex.imageHash = Fnv(hex.imageHash, byte);
        }
        put(bench::HexRecord(0x00, static_cast<uint16_t>(address & 0xFFFF), data.data(),
                             recordSize));
        hex.imageBytes += recordSize;
    }
    out << ":00000001FF\n";
    hex.fileBytes += 12;
    if (!out.flush()) {
        Fail("cannot write the HEX file");
    }
    return hex;
}

// A field of /proc/self/status in KiB (VmRSS, VmHWM), -1 if missing.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
        }
    }
    return -1;
}

// Sets the peak (VmHWM) back to the present size, so that each reading
// gets a peak of its own; false where the kernel does not allow it.
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// Digit value of each character, -1 for the others.
std::array<int8_t, 256> HexDigitTable() {
    std::array<int8_t, 256> table{};
    table.fill(-1);
    for (int c = 0; c < 16; ++c) {
        table["0123456789ABCDEF"[c]] = static_cast<int8_t>(c);
        table["0123456789abcdef"[c]] = static_cast<int8_t>(c);
    }
    return table;
}

// Sum of every byte (or, decoding, of every digit pair's value), so that
// the work cannot be left out.
uint64_t DecodeChunk(const char* text, size_t length, bool decode, uint64_t sum) {
    static const std::array<int8_t, 256> kDigit = HexDigitTable();
    if (!decode) {
        for (size_t i = 0; i < length; ++i) {
            sum += static_cast<uint8_t>(text[i]);
        }
        return sum;
    }
    int high = -1;
    for (size_t i = 0; i < length; ++i) {
        const int digit = kDigit[static_cast<uint8_t>(text[i])];
        if (digit < 0) {
            high = -1;
        } else if (high < 0) {
            high = digit;
        } else {
            sum += static_cast<uint64_t>(high << 4 | digit);
            high = -1;
        }
    }
    return sum;
}

// Where the plain reads leave their sums.
volatile uint64_t plainSink = 0;

// Milliseconds for one pass over the file in 64 KiB freads.
double PlainRead(const std::string& path, bool decode) {
    static char chunk[kReadChunk];
    const auto start = Clock::now();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        Fail("cannot open the HEX file");
    }
    uint64_t sum = 0;
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) != 0) {
        sum = DecodeChunk(chunk, n, decode, sum);
    }
    std::fclose(file);
    plainSink = sum;
    return Ms(Clock::now() - start);
}

struct ImageRead {
    double ms = 0;
    long peakOverBaselineKiB = 0;
};

// One read through the session's image holder, checked against the file.
ImageRead ReadImage(const HexFile& hex) {
    ProgramImage image;
    const long baseline = StatusKiB("VmRSS");
    const auto start = Clock::now();
    const uint32_t result = image.Read(hex.path.c_str());
    const double ms = Ms(Clock::now() - start);
    const long peak = StatusKiB("VmHWM");
    if (result != 0 || !image.Present()) {
        Fail("the reader refused the file");
    }
    uint64_t hash = kFnvOffset;
    for (uint32_t i = 0; i < image.Size(); ++i) {
        hash = Fnv(hash, image.Bytes()[i]);
    }
    if (image.Size() != hex.imageBytes || image.Start() != kImageBase || hash != hex.imageHash) {
        Fail("the image read differs from the data written");
    }
    return {ms, peak - baseline};
}

double MBps(uint64_t bytes, double ms) {
    return bytes / 1e6 / (ms / 1e3);
}

void Measure(uint64_t fileBytes, uint8_t recordSize, int rounds) {
    const std::string path = "/tmp/ulvex-hex-bench-" + std::to_string(getpid()) + ".hex";
    const HexFile hex = WriteHexFile(path, fileBytes, recordSize);
    double readMs = 1e300, decodeMs = 1e300, parseMs = 1e300;
    long peakKiB = 0;
    bool peakReset = true;
    for (int round = 0; round < rounds; ++round) {
        readMs = std::min(readMs, PlainRead(path, false));
        decodeMs = std::min(decodeMs, PlainRead(path, true));
        peakReset = ResetPeak() && peakReset;
        const ImageRead read = ReadImage(hex);
        parseMs = std::min(parseMs, read.ms);
        peakKiB = std::max(peakKiB, read.peakOverBaselineKiB);
    }
    std::remove(path.c_str());

    const double image = hex.imageBytes / kMiB;
    const double peak = peakKiB / 1024.0;
    const double parse = MBps(hex.fileBytes, parseMs);
    std::printf("%2u-byte records: file %.1f MiB, image %.2f MiB\n", recordSize,
                hex.fileBytes / kMiB, image);
    std::printf("  plain fread                %8.1f MB/s\n", MBps(hex.fileBytes, readMs));
    std::printf("  fread + hex decode         %8.1f MB/s\n", MBps(hex.fileBytes, decodeMs));
    std::printf("  ProgramImage::Read         %8.1f MB/s  (%.0f ms, both passes)\n", parse,
                parseMs);
    std::printf("  reader / plain fread       %8.3f\n", readMs / parseMs);
    std::printf("  reader / fread + decode    %8.3f\n", decodeMs / parseMs);
    std::printf("  peak - baseline            %8.2f MiB = image + %.2f MiB, ratio to image %.3f "
                "(goal: image + %.0f MiB) %s\n",
                peak, peak - image, peak / image, kMemoryAllowanceMiB,
                peak <= image + kMemoryAllowanceMiB ? "met" : "MISSED");
    if (!peakReset) {
        std::printf("  (peak not resettable here: the figure is the process's peak so far)\n");
    }
}

} // namespace

int main(int argc, char** argv) {
    const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::printf("Intel HEX file of %llu MiB, random data, %d rounds (best time)\n",
                static_cast<unsigned long long>(mib), rounds);
    for (const uint8_t recordSize : {16, 32}) {
        Measure(mib << 20, recordSize, rounds);
    }
    return 0;
}
