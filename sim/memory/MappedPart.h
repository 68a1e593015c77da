// A register or a device that answers one address window of a KOLT board.
// The board routes every access inside the window to it.
#pragma once

#include "memory/MemoryModel.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vtarget {

class MappedPart {
  public:
    virtual ~MappedPart() = default;

    virtual uint32_t Start() const = 0;
    virtual uint32_t Size() const = 0;
    bool Contains(uint32_t address) const { return address - Start() < Size(); }
    // One past the window's last byte; 2^32 for a window at the top.
    uint64_t End() const { return uint64_t{Start()} + Size(); }

    // The accesses lie wholly inside the window.
    virtual void Read(uint32_t address, std::span<uint8_t> out) const = 0;
    virtual void Write(uint32_t address, std::span<const uint8_t> bytes) = 0;

    // Flash devices: the monitor's programming and erase requests. The
    // range starts inside the window, but may run past its end.
    virtual bool Program(ProgramPath, uint32_t /*address*/, std::span<const uint8_t>) {
        return false;
    }
    virtual bool Erase(EraseScope, uint32_t /*address*/) { return false; }
    // Flips bit 0 of the stored byte at address, for the corrupt-word fault.
    virtual void FlipBit(uint32_t /*address*/) {}
    // The device's window moves to base (external flash only).
    virtual void MoveTo(uint32_t /*base*/) {}
    // Programmed or erased ranges, ascending: what a dump must cover.
    virtual std::vector<AddressRange> TouchedRanges() const { return {}; }
};

} // namespace vtarget
