// The memory of an ATmega board, which keeps program and data apart. The
// boot loader's memory reads and writes address the data space (plain RAM
// here); its programming, erase and checksum requests address the program
// flash at byte addresses from 0: 64 KiB on an ATmega64, 128 KiB on an
// ATmega128. The chip erase clears the flash to 0xFF, programming only
// clears bits (new = old AND data). Tests and the dump see the flash below
// its end and the data space above it.
#pragma once

#include "memory/FlashArray.h"
#include "memory/MemoryModel.h"
#include "memory/RamMemory.h"

#include <optional>

namespace vtarget {

// Flash size of the chip whose code is in the version word's high half:
// 0 ATmega64, 1 ATmega128. A code the PC does not know gets the larger
// chip's flash.
uint32_t AtmegaFlashSize(uint32_t versionWord);

class AtmegaMemory final : public MemoryModel {
  public:
    // After programming, bit 0 of the flash byte at corruptByte flips.
    AtmegaMemory(uint32_t flashSize, std::optional<uint32_t> corruptByte);

    // The data space.
    void Read(uint32_t address, std::span<uint8_t> out) const override;
    void Write(uint32_t address, std::span<const uint8_t> bytes) override;
    // Internal flash requests only, wholly inside the flash.
    bool Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) override;
    // The chip erase only: the chip has no sectors or blocks of its own.
    bool Erase(EraseScope scope, uint32_t address) override;
    // The flash below its end, the data space above it.
    void Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const override;
    void Peek(uint32_t address, std::span<uint8_t> out) const override;
    // Touched flash pages, and data pages above the flash.
    std::vector<AddressRange> WrittenRanges() const override;

    // Flash bytes programmed over bits that were not erased.
    uint64_t FlashOverwrites() const override { return overwrites_; }

  private:
    bool InFlash(uint32_t address) const { return address < flash_.Size(); }
    // Bytes from address up to the flash's end or, above it, to 4 GiB.
    uint32_t PieceSize(uint32_t address, uint64_t wanted) const;

    FlashArray flash_;
    RamMemory data_;
    std::optional<uint32_t> corruptByte_;
    uint64_t overwrites_ = 0;
};

} // namespace vtarget
