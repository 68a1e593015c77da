#include "memory/ExternalFlash16.h"

namespace vtarget {

ExternalFlash16::ExternalFlash16(const FlashGeometry& geometry, uint32_t base, KoltLog& log)
    : geometry_(geometry), base_(base), cells_(geometry.totalSize), log_(log) {}

void ExternalFlash16::Read(uint32_t address, std::span<uint8_t> out) const {
    cells_.Read(address - Start(), out);
}

bool ExternalFlash16::Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) {
    const uint32_t offset = address - Start();
    if (path != ProgramPath::ExternalFlash || !cells_.Holds(offset, bytes.size())) {
        return false;
    }
    log_.flashOverwrites += cells_.Program(offset, bytes);
    return true;
}

bool ExternalFlash16::Erase(EraseScope scope, uint32_t address) {
    switch (scope) {
    case EraseScope::Chip:
        cells_.Erase(0, cells_.Size());
        return true;
    case EraseScope::Sector:
        return EraseAligned(address - Start(), geometry_.sectorSize);
    case EraseScope::Block:
        return EraseAligned(address - Start(), geometry_.blockSize);
    }
    return false;
}

// Erases the sector or block of the given size that holds offset.
bool ExternalFlash16::EraseAligned(uint32_t offset, uint32_t size) {
    if (size == 0 || offset >= cells_.Size()) {
        return false;
    }
    cells_.Erase(offset - offset % size, size);
    return true;
}

std::vector<AddressRange> ExternalFlash16::TouchedRanges() const {
    auto ranges = cells_.TouchedRanges();
    for (AddressRange& range : ranges) {
        range.start += Start();
    }
    return ranges;
}

} // namespace vtarget
