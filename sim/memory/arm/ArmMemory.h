// The memory of the ARM boards: one external 16-bit flash of the flash-type
// table at a fixed base, plain RAM everywhere else. The ML675001 (types 14
// and 15) has its flash at 0xC8000000, the S3C44B0X (types 18 and 22) at 0,
// where the window 0x10000..0x1FFFF belongs to the board: every erase or
// programming request that touches it is counted as a fault, and carried
// out as an unprotected flash would, so that the damage shows.
//
// The monitor drives the flash through its command addresses: erases and
// programming reach it only once SET_FLASH_PROG_CMD_ADDRESS_REQ has named
// the flash's base and the byte addresses of its words 0x2AAA and 0x5555
// (base + 0x5554, base + 0xAAAA); before that, or with other addresses,
// they are refused.
#pragma once

#include "memory/ExternalFlash16.h"
#include "memory/KoltLog.h"
#include "memory/MemoryModel.h"
#include "memory/RamMemory.h"

#include <memory>
#include <optional>
#include <vtarget/Board.h>

namespace vtarget {

struct ArmSetup {
    uint32_t flashBase = 0;
    FlashGeometry geometry;
    bool protectedWindow = false; // 0x10000..0x1FFFF
    // After programming, bit 0 of the flash byte here flips.
    std::optional<uint32_t> corruptByte;
};

class ArmMemory final : public MemoryModel {
  public:
    explicit ArmMemory(const ArmSetup& setup);

    void Read(uint32_t address, std::span<uint8_t> out) const override;
    void Write(uint32_t address, std::span<const uint8_t> bytes) override;
    bool Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) override;
    bool Erase(EraseScope scope, uint32_t address) override;
    void Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const override;
    std::vector<AddressRange> WrittenRanges() const override;
    void SetCommandAddresses(const std::array<uint32_t, 3>& addresses) override;

    uint64_t FlashOverwrites() const override { return log_.flashOverwrites; }
    uint64_t ProtectedWindowFaults() const { return windowFaults_; }

  private:
    // Bytes from address that lie on one side of the flash's edges, at most wanted.
    uint32_t Piece(uint32_t address, uint64_t wanted) const;
    // The extent an erase request clears; nothing when the flash refuses it.
    std::optional<AddressRange> EraseExtent(EraseScope scope, uint32_t address) const;
    void CountIfInWindow(uint64_t start, uint64_t count);

    KoltLog log_;
    RamMemory ram_;
    ExternalFlash16 flash_;
    FlashGeometry geometry_;
    bool protectedWindow_;
    std::optional<uint32_t> corruptByte_;
    bool commandsReachFlash_ = false;
    uint64_t windowFaults_ = 0;
};

// The flash of an ARM board whose flash id was left at the board default:
// an SST39VF1601 (00BF:234B), with sectors and blocks.
constexpr uint16_t kArmDefaultFlashManufacturer = 0x00BF;
constexpr uint16_t kArmDefaultFlashDevice = 0x234B;

// Whether boards of this target type carry an ARM memory.
bool IsArmBoardType(int targetType);
// The ARM memory of the board; only for IsArmBoardType types.
std::unique_ptr<MemoryModel> MakeArmMemory(const BoardOptions& options, uint16_t flashManufacturer,
                                           uint16_t flashDevice);

} // namespace vtarget
