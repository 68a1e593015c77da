#include "BenchImage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace bench {

namespace {

constexpr size_t kStretch = 4096;
constexpr size_t kRecord = 16;

void WriteRecord(FILE* file, uint8_t type, uint16_t offset, const uint8_t* data, size_t count) {
    std::fputs(HexRecord(type, offset, data, count).c_str(), file);
}

} // namespace

std::string HexRecord(uint8_t type, uint16_t offset, const uint8_t* data, size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line(1, ':');
    uint8_t sum = 0;
    const auto put = [&](uint8_t byte) {
        line.push_back(kDigits[byte >> 4]);
        line.push_back(kDigits[byte & 0xF]);
        sum = static_cast<uint8_t>(sum + byte);
    };
    put(static_cast<uint8_t>(count));
    put(static_cast<uint8_t>(offset >> 8));
    put(static_cast<uint8_t>(offset & 0xFF));
    put(type);
    for (size_t i = 0; i < count; ++i) {
        put(data[i]);
    }
    put(static_cast<uint8_t>(-sum));
    line.push_back('\n');
    return line;
}

double WriteHexImage(const std::string& path, uint32_t base, size_t size, double dataShare) {
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::mt19937 random(42);
    std::uniform_real_distribution<double> share(0, 1);
    std::vector<uint8_t> stretch(kStretch);
    uint32_t upper = UINT32_MAX;
    size_t dataBytes = 0;
    for (size_t at = 0; at < size; at += kStretch) {
        const bool data = share(random) < dataShare;
        dataBytes += data ? std::min(kStretch, size - at) : 0;
        for (uint8_t& byte : stretch) {
            byte = data ? static_cast<uint8_t>(random()) : 0xFF;
        }
        for (size_t offset = 0; offset < kStretch && at + offset < size; offset += kRecord) {
            const uint32_t address = base + static_cast<uint32_t>(at + offset);
            if (address >> 16 != upper) {
                upper = address >> 16;
                const uint8_t high[2] = {static_cast<uint8_t>(upper >> 8),
                                         static_cast<uint8_t>(upper)};
                WriteRecord(file, 4, 0, high, 2);
            }
            const size_t count = std::min(kRecord, size - at - offset);
            WriteRecord(file, 0, address & 0xFFFF, stretch.data() + offset, count);
        }
    }
    std::fprintf(file, ":00000001FF\n");
    std::fclose(file);
    return size == 0 ? 0 : static_cast<double>(dataBytes) / static_cast<double>(size);
}

} // namespace bench
