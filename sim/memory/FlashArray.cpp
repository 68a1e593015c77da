#include "memory/FlashArray.h"

#include <algorithm>
#include <cstring>

namespace vtarget {

FlashArray::FlashArray(uint32_t size)
    : cells_(size, 0xFF), touched_((uint64_t{size} + kPageSize - 1) / kPageSize, false) {}

void FlashArray::Read(uint32_t offset, std::span<uint8_t> out) const {
    std::memcpy(out.data(), cells_.data() + offset, out.size());
}

uint64_t FlashArray::Program(uint32_t offset, std::span<const uint8_t> data) {
    uint64_t overwrites = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        uint8_t& cell = cells_[offset + i];
        if ((cell & data[i]) != data[i]) {
            ++overwrites;
        }
        cell &= data[i];
    }
    Touch(offset, data.size());
    return overwrites;
}

void FlashArray::Erase(uint32_t offset, uint32_t count) {
    std::fill_n(cells_.begin() + offset, count, uint8_t{0xFF});
    Touch(offset, count);
}

void FlashArray::FlipBit(uint32_t offset) {
    cells_[offset] ^= 0x01;
    Touch(offset, 1);
}

void FlashArray::Touch(uint32_t offset, uint64_t count) {
    if (count == 0) {
        return;
    }
    const uint64_t last = (offset + count - 1) / kPageSize;
    for (uint64_t page = offset / kPageSize; page <= last; ++page) {
        touched_[page] = true;
    }
}

std::vector<AddressRange> FlashArray::TouchedRanges() const {
    std::vector<AddressRange> ranges;
    for (uint32_t page = 0; page < touched_.size(); ++page) {
        if (!touched_[page]) {
            continue;
        }
        const uint32_t start = page * kPageSize;
        const uint32_t size = std::min<uint32_t>(kPageSize, Size() - start);
        if (!ranges.empty() && ranges.back().start + ranges.back().size == start) {
            ranges.back().size += size;
        } else {
            ranges.push_back({start, size});
        }
    }
    return ranges;
}

} // namespace vtarget
