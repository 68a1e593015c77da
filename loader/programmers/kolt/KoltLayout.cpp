#include "programmers/kolt/KoltLayout.h"

uint32_t KoltSegmentCount(uint32_t size) {
    constexpr uint32_t kSegmentSize = 0x20000;
    constexpr uint32_t kMaxSegments = 8;
    if (size == 0) {
        return 0;
    }
    const uint32_t limitsReached = size / kSegmentSize;
    return limitsReached + 1 < kMaxSegments ? limitsReached + 1 : kMaxSegments;
}

std::vector<uint32_t> KoltEraseUnits(uint32_t start, uint32_t size, uint32_t unitCount) {
    const uint32_t extent = start + size - kKoltFlashBase;
    std::vector<uint32_t> units;
    if (extent == 0) {
        return units;
    }
    units.push_back(kKoltFlashBase);
    for (uint32_t i = 1; i < unitCount; ++i) {
        if (extent >= i * kKoltEraseUnitSize) {
            units.push_back(kKoltFlashBase + i * kKoltEraseUnitSize);
        }
    }
    return units;
}
