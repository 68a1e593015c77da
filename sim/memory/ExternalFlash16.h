// An external 16-bit NOR flash, driven by the monitor's external-flash
// requests. Its window starts at 0x080000 and moves to the base address
// the PC gives with SET_FLASH_PROG_CMD_ADDRESS_REQ. Programming follows the
// AND rule like a real device; bytes that needed an erased bit are counted.
#pragma once

#include "memory/FlashArray.h"
#include "memory/FlashTypes.h"
#include "memory/KoltLog.h"
#include "memory/MappedPart.h"

namespace vtarget {

class ExternalFlash16 final : public MappedPart {
  public:
    ExternalFlash16(const FlashGeometry& geometry, uint32_t base, KoltLog& log);

    uint32_t Start() const override { return base_; }
    uint32_t Size() const override { return cells_.Size(); }
    void Read(uint32_t address, std::span<uint8_t> out) const override;
    // The monitor drives the device; plain memory writes do not reach it.
    void Write(uint32_t, std::span<const uint8_t>) override {}
    bool Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) override;
    // Sector and block erases take an address inside the window.
    bool Erase(EraseScope scope, uint32_t address) override;
    void FlipBit(uint32_t address) override { cells_.FlipBit(address - Start()); }
    void MoveTo(uint32_t base) override { base_ = base; }
    std::vector<AddressRange> TouchedRanges() const override;

  private:
    bool EraseAligned(uint32_t offset, uint32_t size);

    FlashGeometry geometry_;
    uint32_t base_;
    FlashArray cells_;
    KoltLog& log_;
};

} // namespace vtarget
