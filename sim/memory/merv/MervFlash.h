// The internal flash of a MERV-A chip at 0x0000, 0x60000 bytes in four
// erase sectors: 0x0000-0x7FFF, 0x8000-0x1FFFF, 0x20000-0x3FFFF and
// 0x40000-0x5FFFF. It is driven through the flash controller with byte
// writes: 0x5555 := 0xAA, 0xAAAA := 0x55, sector address := 0x55 erases the
// sector under an erase command. A sector takes programming data only
// after a first erase pass followed by a second one. Beside the array lie
// four bytes at 0x0002..0x0005 (marker and read protection) that only the
// info command writes; they alias the array's addresses but leave its
// bytes alone, and the erase of the first sector clears them.
#pragma once

#include "memory/FlashArray.h"
#include "memory/KoltLog.h"
#include "memory/merv/MervController.h"

#include <array>
#include <span>

namespace vtarget {

constexpr uint32_t kMervFlashSize = 0x60000;

class MervFlash {
  public:
    MervFlash(MervController& controller, KoltLog& log);

    static bool Contains(uint32_t address) { return address < kMervFlashSize; }
    // Offsets are addresses; the caller keeps them inside the flash.
    void Read(uint32_t address, std::span<uint8_t> out) const { cells_.Read(address, out); }
    // A byte the PC writes into the flash's window: an unlock step, the
    // sector address that starts an erase, or under the info command one of
    // the bytes beside the array. Anything else changes nothing.
    void WriteByte(uint32_t address, uint8_t value);
    // Under the program command, into sectors that went through both
    // erase passes, by the AND rule. The range may run past the flash.
    bool Program(uint32_t address, std::span<const uint8_t> bytes);
    void FlipBit(uint32_t address) { cells_.FlipBit(address); }
    std::vector<AddressRange> TouchedRanges() const { return cells_.TouchedRanges(); }

    // The board restarted: the read protection takes effect if both of its
    // bytes hold 0x00.
    void Restarted();
    bool ReadProtected() const { return readProtected_; }

  private:
    enum Pass : uint8_t { kFirstPass = 1, kSecondPass = 2, kBothPasses = 3 };

    void WriteInfoByte(uint32_t address, uint8_t value);
    void StepUnlock(uint32_t address, uint8_t value);
    void EraseSector(size_t sector);
    bool SectorsReady(uint32_t address, uint64_t count) const;

    FlashArray cells_;
    MervController& controller_;
    KoltLog& log_;
    std::array<uint8_t, 4> sectorPasses_{};
    std::array<uint8_t, 4> infoBytes_; // 0x0002..0x0005
    int unlockStep_ = 0;               // unlock bytes seen so far
    bool readProtected_ = false;
};

} // namespace vtarget
