// Sorting and merging of address ranges, for the ranges a dump covers.
#pragma once

#include "memory/MemoryModel.h"

#include <algorithm>
#include <vector>

namespace vtarget {

// Ascending and disjoint: overlapping or adjoining ranges become one.
inline std::vector<AddressRange> MergeRanges(std::vector<AddressRange> ranges) {
    std::ranges::sort(ranges, {}, &AddressRange::start);
    std::vector<AddressRange> merged;
    for (const AddressRange& range : ranges) {
        if (!merged.empty() && range.start <= uint64_t{merged.back().start} + merged.back().size) {
            const uint64_t end = std::max(uint64_t{merged.back().start} + merged.back().size,
                                          uint64_t{range.start} + range.size);
            merged.back().size = static_cast<uint32_t>(end - merged.back().start);
        } else {
            merged.push_back(range);
        }
    }
    return merged;
}

} // namespace vtarget
