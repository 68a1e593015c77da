// The internal flash of a KOLT chip at 0x080000: 256 KiB erase units,
// driven through the flash controller. A unit is erased by a controller
// erase command followed by the unlock words and 0xFFFF written to the
// unit's first address. Both passes (first and second) must have run
// before the unit takes programming data; the first pass already clears it.
#pragma once

#include "memory/FlashArray.h"
#include "memory/KoltLog.h"
#include "memory/MappedPart.h"
#include "memory/kolt/FlashController.h"

namespace vtarget {

constexpr uint32_t kInternalFlashBase = 0x080000;
constexpr uint32_t kInternalUnitSize = 0x40000;

class InternalFlash final : public MappedPart {
  public:
    InternalFlash(int units, FlashController& controller, KoltLog& log);

    uint32_t Start() const override { return kInternalFlashBase; }
    uint32_t Size() const override { return cells_.Size(); }
    void Read(uint32_t address, std::span<uint8_t> out) const override;
    // Words only: the unlock sequence, the erase start and info block words.
    void Write(uint32_t address, std::span<const uint8_t> bytes) override;
    // PROG_INT_FLASH only, while the program command is active, and only
    // into units that went through both erase passes.
    bool Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) override;
    void FlipBit(uint32_t address) override { cells_.FlipBit(address - Start()); }
    std::vector<AddressRange> TouchedRanges() const override;

  private:
    enum Pass : uint8_t { kFirstPass = 1, kSecondPass = 2, kBothPasses = 3 };

    void WriteWord(uint32_t address, uint16_t value);
    bool WriteInfoWord(uint32_t address, uint16_t value);
    void StepEraseSequence(uint32_t address, uint16_t value);
    bool CommandFitsUnit(uint16_t command, uint32_t unitAddress) const;
    void EraseUnit(uint32_t unitAddress, uint16_t command);
    bool UnitsReady(uint32_t offset, uint64_t count) const;

    FlashArray cells_;
    FlashController& controller_;
    KoltLog& log_;
    std::vector<uint8_t> passes_; // per unit
    int unlockStep_ = 0;          // unlock words seen so far
};

} // namespace vtarget
