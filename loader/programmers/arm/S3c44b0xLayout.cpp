#include "programmers/arm/S3c44b0xLayout.h"

#include <algorithm>

namespace {

constexpr uint64_t kWindowEnd = uint64_t{kS3c44b0xWindowLast} + 1;

uint32_t EvenUp(uint64_t count) {
    return static_cast<uint32_t>(count + (count & 1u));
}

} // namespace

std::vector<S3c44b0xErase> S3c44b0xErasePlan(uint32_t start, uint32_t size, uint32_t sectorSize,
                                             uint32_t blockSize) {
    std::vector<S3c44b0xErase> plan;
    if (sectorSize == 0) {
        return plan;
    }
    const uint64_t end = uint64_t{start} + size;
    for (uint64_t a = start - start % sectorSize; a < end;) {
        const bool block = blockSize != 0 && a % blockSize == 0 && a + blockSize < end;
        const auto address = static_cast<uint32_t>(a);
        if (!InS3c44b0xWindow(address)) {
            plan.push_back({block, address});
        }
        a += block ? blockSize : sectorSize;
    }
    return plan;
}

S3c44b0xWritten S3c44b0xWrittenView(uint32_t start, uint32_t size) {
    const uint32_t lead = start % kS3c44b0xBlockBytes;
    return {start - lead, lead, lead + size};
}

S3c44b0xCrcPlan S3c44b0xCrcRanges(const S3c44b0xWritten& written) {
    S3c44b0xCrcPlan plan;
    const uint64_t start = written.start;
    const uint64_t end = start + written.size;

    const uint64_t lowEnd = std::min(end, uint64_t{kS3c44b0xWindowFirst});
    if (start < lowEnd) {
        plan.hasLow = true;
        plan.low = {0, EvenUp(lowEnd - start), written.start, static_cast<uint32_t>(lowEnd - 1)};
    }
    const uint64_t highStart = std::max(start, kWindowEnd);
    if (highStart < end) {
        plan.hasHigh = true;
        plan.high = {static_cast<uint32_t>(highStart - start), EvenUp(end - highStart),
                     static_cast<uint32_t>(highStart), static_cast<uint32_t>(end - 1)};
    }
    return plan;
}
