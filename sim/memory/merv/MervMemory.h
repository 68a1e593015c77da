// The memory of a MERV-A board (target types 3, 4, 8, 9 and 16): the
// internal flash at 0x0000-0x5FFFF, the flash control register at 0xAC00
// and the restart register at 0xFF67, plain RAM above the flash.
//
// The two registers lie in the flash's window: memory reads and writes
// reach the registers there, while the CRC and checksum requests, the dump
// and the tests' view read the flash cells beneath them. Once the read
// protection bytes hold 0x00 and the board has restarted, the monitor reads
// the flash as 0xFF; the tests' view and the dump still show the cells.
// The board keeps the same records as a KOLT board: register writes, the
// bytes beside the array (as info block writes) and flash overwrites.
#pragma once

#include "memory/FlashTiming.h"
#include "memory/KoltLog.h"
#include "memory/RamMemory.h"
#include "memory/merv/MervController.h"
#include "memory/merv/MervFlash.h"

#include <optional>

namespace vtarget {

constexpr uint32_t kMervRestartRegister = 0xFF67;
constexpr uint8_t kMervRestartCommand = 0x80;
// Where the restarted chip runs from: its reset vector at the flash's start.
constexpr uint32_t kMervRestartAddress = 0x0000;

bool IsMervType(int targetType);

class MervMemory final : public MemoryModel {
  public:
    MervMemory(const FlashTiming& timing, std::optional<uint32_t> corruptWord);

    void Read(uint32_t address, std::span<uint8_t> out) const override;
    void Write(uint32_t address, std::span<const uint8_t> bytes) override;
    bool Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) override;
    bool Erase(EraseScope, uint32_t) override { return false; } // no external flash
    void Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const override;
    void Peek(uint32_t address, std::span<uint8_t> out) const override;
    std::vector<AddressRange> WrittenRanges() const override;
    std::optional<uint32_t> TakeRestart() override;

    const KoltLog& Log() const { return log_; }
    uint64_t FlashOverwrites() const override { return log_.flashOverwrites; }

  private:
    // The flash as the chip's own code reads it: 0xFF while protected.
    void ReadCode(uint32_t address, std::span<uint8_t> out) const;
    void ReadRegisters(uint32_t address, std::span<uint8_t> out) const;
    void WriteByte(uint32_t address, uint8_t value);
    void WriteRestart(uint8_t value);

    KoltLog log_;
    MervController controller_;
    MervFlash flash_;
    RamMemory ram_;
    std::optional<uint32_t> corruptWord_;
    std::optional<uint32_t> restart_;
};

} // namespace vtarget
