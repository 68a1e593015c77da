#include "memory/atmega/AtmegaMemory.h"

#include "memory/AddressRanges.h"

#include <algorithm>
#include <array>

namespace vtarget {

namespace {

constexpr uint32_t kAtmega64Flash = 64u << 10;
constexpr uint32_t kAtmega128Flash = 128u << 10;
constexpr uint32_t kChipAtmega64 = 0;

} // namespace

uint32_t AtmegaFlashSize(uint32_t versionWord) {
    return versionWord >> 16 == kChipAtmega64 ? kAtmega64Flash : kAtmega128Flash;
}

AtmegaMemory::AtmegaMemory(uint32_t flashSize, std::optional<uint32_t> corruptByte)
    : flash_(flashSize), corruptByte_(corruptByte) {}

void AtmegaMemory::Read(uint32_t address, std::span<uint8_t> out) const {
    data_.Read(address, out);
}

void AtmegaMemory::Write(uint32_t address, std::span<const uint8_t> bytes) {
    data_.Write(address, bytes);
}

bool AtmegaMemory::Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) {
    if (path != ProgramPath::InternalFlash || !flash_.Holds(address, bytes.size())) {
        return false;
    }
    overwrites_ += flash_.Program(address, bytes);
    if (corruptByte_ && *corruptByte_ - address < bytes.size()) {
        flash_.FlipBit(*corruptByte_);
    }
    return true;
}

bool AtmegaMemory::Erase(EraseScope scope, uint32_t /*address*/) {
    if (scope != EraseScope::Chip) {
        return false;
    }
    flash_.Erase(0, flash_.Size());
    return true;
}

uint32_t AtmegaMemory::PieceSize(uint32_t address, uint64_t wanted) const {
    const uint64_t limit = InFlash(address) ? flash_.Size() : uint64_t{1} << 32;
    return static_cast<uint32_t>(std::min<uint64_t>(wanted, limit - address));
}

void AtmegaMemory::Peek(uint32_t address, std::span<uint8_t> out) const {
    while (!out.empty()) {
        const uint32_t n = PieceSize(address, out.size());
        if (InFlash(address)) {
            flash_.Read(address, out.first(n));
        } else {
            data_.Read(address, out.first(n));
        }
        out = out.subspan(n);
        address += n; // wraps at 4 GiB, back into the flash
    }
}

void AtmegaMemory::Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const {
    std::array<uint8_t, kVisitChunk> chunk;
    while (count > 0) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, kVisitChunk));
        Peek(address, std::span(chunk).first(n));
        visit(std::span<const uint8_t>(chunk).first(n));
        count -= n;
        address += n;
    }
}

// Data pages inside the flash's window are hidden behind the flash.
std::vector<AddressRange> AtmegaMemory::WrittenRanges() const {
    auto ranges = flash_.TouchedRanges();
    for (const AddressRange& range : data_.WrittenRanges()) {
        if (!InFlash(range.start)) {
            ranges.push_back(range);
        }
    }
    return MergeRanges(std::move(ranges));
}

} // namespace vtarget
