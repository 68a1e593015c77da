// The flash control register at 0xFFE130 of a KOLT chip: holds the command
// the PC wrote and shows busy bits while an operation runs.
#pragma once

#include "memory/FlashTiming.h"
#include "memory/kolt/KoltRegisters.h"

namespace vtarget {

enum FlashCommand : uint16_t {
    kFlashIdle = 0x0000,
    kEraseFirstUnit0 = 0x000B, // first erase pass, unit at 0x080000
    kEraseFirstOther = 0x0007, // first erase pass, any other unit
    kEraseSecondUnit0 = 0x008B,
    kEraseSecondOther = 0x0087,
    kFlashProgram = 0x000D,
    kFlashInfoBlock = 0x0089,
};

constexpr uint32_t kFlashControlRegister = 0xFFE130;
// Bits 0x0010, 0x0020 and 0x0100 read as 1 while the controller is busy.
constexpr uint16_t kFlashBusyBits = 0x0130;

class FlashController final : public WordRegister {
  public:
    FlashController(const FlashTiming& timing, KoltLog& log)
        : WordRegister(kFlashControlRegister, kFlashIdle, log), timing_(timing) {}

    uint16_t Command() const { return Value(); }
    // Busy for one step, or for a unit erase.
    void StepBusy() { busy_.Start(timing_.step, timing_.stuck); }
    void EraseBusy() { busy_.Start(timing_.unitErase, timing_.stuck); }

  private:
    uint16_t Shown() const override {
        return static_cast<uint16_t>(Value() | (busy_.Busy() ? kFlashBusyBits : 0));
    }
    void Stored(uint16_t) override { StepBusy(); }

    FlashTiming timing_;
    BusyDeadline busy_;
};

} // namespace vtarget
