// One 8-bit NOR flash device with its command sequences, addressed by its
// own byte offsets: unlock 0xAA at 0x5555 and 0x55 at 0x2AAA, then
// 0x90 autoselect (offset 0 reads the manufacturer, 1 the device), 0xF0
// reset, 0xA0 program one byte, or 0x80 and a second unlock before 0x10
// chip erase. While the chip erase runs, reads give bit 7 clear and bit 6
// toggling; afterwards every byte reads 0xFF.
#pragma once

#include "memory/FlashArray.h"
#include "memory/FlashTiming.h"
#include "memory/KoltLog.h"

namespace vtarget {

class ByteFlash {
  public:
    ByteFlash(uint32_t size, uint8_t manufacturer, uint8_t device, const FlashTiming& timing,
              KoltLog& log);

    uint32_t Size() const { return cells_.Size(); }
    uint8_t ReadByte(uint32_t offset) const;
    void WriteByte(uint32_t offset, uint8_t value);
    bool Erasing() const { return erase_.Busy(); }
    // The monitor's programming: AND rule, refused while an erase runs.
    void Program(uint32_t offset, uint8_t value);
    void FlipBit(uint32_t offset) { cells_.FlipBit(offset); }
    std::vector<AddressRange> TouchedRanges() const { return cells_.TouchedRanges(); }

  private:
    enum class State {
        Read,
        Unlocked1,
        Unlocked2,
        Autoselect,
        EraseSetup,
        EraseUnlocked1,
        EraseUnlocked2,
        ProgramByte
    };

    void Command(uint8_t value);
    void EraseCommand(uint32_t offset, uint8_t value);

    FlashArray cells_;
    uint8_t manufacturer_;
    uint8_t device_;
    FlashTiming timing_;
    KoltLog& log_;
    State state_ = State::Read;
    BusyDeadline erase_;
    mutable bool toggle_ = false; // bit 6 during an erase
};

} // namespace vtarget
