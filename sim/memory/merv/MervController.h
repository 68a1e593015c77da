// The flash control register at 0xAC00 of a MERV-A chip: one byte holding
// the last command the PC wrote, with bits 0x08 and 0x10 read as 1 while
// the controller is busy.
#pragma once

#include "memory/FlashTiming.h"

#include <cstdint>

namespace vtarget {

constexpr uint32_t kMervControlRegister = 0xAC00;
constexpr uint8_t kMervBusyBits = 0x18;

enum MervCommand : uint8_t {
    kMervIdle = 0x00,
    kMervProgram = 0x01,
    kMervFirstErase = 0x03,
    kMervSecondErase = 0x43, // the first erase command with the second-pass bit 0x40
    kMervInfoBytes = 0x41,   // marker and protection bytes
};

class MervController {
  public:
    explicit MervController(const FlashTiming& timing) : timing_(timing) {}

    uint8_t Command() const { return command_; }
    uint8_t Shown() const {
        return static_cast<uint8_t>(command_ | (busy_.Busy() ? kMervBusyBits : 0));
    }
    bool ErasesNow() const { return command_ == kMervFirstErase || command_ == kMervSecondErase; }

    void Write(uint8_t command) {
        command_ = command;
        StepBusy();
    }
    // Busy for one step (command, unlock byte, programming, info byte), or
    // for a sector erase.
    void StepBusy() { busy_.Start(timing_.step, timing_.stuck); }
    void EraseBusy() { busy_.Start(timing_.unitErase, timing_.stuck); }

  private:
    FlashTiming timing_;
    BusyDeadline busy_;
    uint8_t command_ = kMervIdle;
};

} // namespace vtarget
