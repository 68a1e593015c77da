// The memory of a KOLT-family board: identity bytes, control registers,
// the flash controller and the flash at 0x080000 (internal, one external
// 16-bit device or two 8-bit devices), with plain RAM everywhere else.
#pragma once

#include "memory/FlashTiming.h"
#include "memory/KoltLog.h"
#include "memory/MappedPart.h"
#include "memory/RamMemory.h"
#include "memory/kolt/FlashController.h"
#include "memory/kolt/KoltChips.h"
#include "memory/kolt/KoltRegisters.h"

#include <memory>
#include <optional>

namespace vtarget {

struct KoltSetup {
    KoltFlashMode mode = KoltFlashMode::Internal;
    ChipIdentity identity;
    int internalUnits = 4;
    FlashTiming timing;
    uint16_t flashManufacturer = 0x00BF, flashDevice = 0x2782; // external 16-bit
    uint8_t pairManufacturer = 0xBF, pairDevice = 0xB5;        // each 8-bit device
    // After programming, bit 0 of the byte here flips.
    std::optional<uint32_t> corruptWord;
};

class KoltMemory final : public MemoryModel {
  public:
    explicit KoltMemory(const KoltSetup& setup);

    void Read(uint32_t address, std::span<uint8_t> out) const override;
    void Write(uint32_t address, std::span<const uint8_t> bytes) override;
    bool Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) override;
    bool Erase(EraseScope scope, uint32_t address) override;
    void Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const override;
    std::vector<AddressRange> WrittenRanges() const override;
    void SetCommandAddresses(const std::array<uint32_t, 3>& addresses) override;
    std::optional<uint32_t> TakeRestart() override;

    const KoltLog& Log() const { return log_; }
    uint64_t FlashOverwrites() const override { return log_.flashOverwrites; }

  private:
    WordRegister& AddRegister(uint32_t address, uint16_t resetValue);
    void AddFlash(const KoltSetup& setup);
    MappedPart* PartAt(uint32_t address) const;
    // Bytes from address to the next part's window, at most wanted.
    uint32_t RamPiece(uint32_t address, uint64_t wanted) const;
    // Bytes from address to the end of part's window, at most wanted.
    static uint32_t PartPiece(const MappedPart& part, uint32_t address, uint64_t wanted);
    void CorruptIfProgrammed(MappedPart& part, uint32_t address, size_t count);

    KoltLog log_;
    RamMemory ram_;
    std::vector<std::unique_ptr<MappedPart>> parts_;
    FlashController* controller_ = nullptr;
    RestartRegister* restart_ = nullptr;
    MappedPart* flash_ = nullptr;
    std::optional<uint32_t> corruptWord_;
};

} // namespace vtarget
