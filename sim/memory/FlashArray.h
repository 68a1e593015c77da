// The cells of one flash device: erased cells read 0xFF, programming can
// only clear bits. Remembers which 4 KiB pages were ever erased or
// programmed, so that a dump covers them.
#pragma once

#include "memory/MemoryModel.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vtarget {

class FlashArray {
  public:
    static constexpr uint32_t kPageSize = 4096;

    explicit FlashArray(uint32_t size);

    uint32_t Size() const { return static_cast<uint32_t>(cells_.size()); }
    bool Holds(uint32_t offset, uint64_t count) const { return offset + count <= cells_.size(); }

    // Offsets are device offsets; the caller keeps them inside the device.
    void Read(uint32_t offset, std::span<uint8_t> out) const;
    uint8_t At(uint32_t offset) const { return cells_[offset]; }
    // new = old AND data. Returns how many bytes needed a 0 bit set to 1,
    // that is, were programmed without being erased first.
    uint64_t Program(uint32_t offset, std::span<const uint8_t> data);
    void Erase(uint32_t offset, uint32_t count);
    void FlipBit(uint32_t offset);

    // Touched pages as device-offset ranges, ascending, neighbours merged.
    std::vector<AddressRange> TouchedRanges() const;

  private:
    void Touch(uint32_t offset, uint64_t count);

    std::vector<uint8_t> cells_;
    std::vector<bool> touched_; // per page
};

} // namespace vtarget
