// How each target type starts: which boot loader waits on its serial line,
// at which rate, which monitor image it takes, and the rate step its
// monitor makes on the way to the working rate.
#pragma once

#include <cstdint>
#include <optional>

namespace vtarget {

enum class BootProtocol {
    Chip,           // prompt byte, length header, binary image, XOR answer
    Arm,            // the same exchange with the ARM boot loader's answers
    Ml675001Rom,    // Intel HEX text under XON/XOFF flow control
    AtmegaResident, // a resident boot loader that speaks mails itself
};

// A move to 9600 baud that some monitors make before the PC asks them for
// the working rate.
enum class RateStep {
    None,
    ClockRegisterWrite, // a WRITE_MEM16 of 0x0008 to the serial clock register 0xFFE326
    SetConfig,          // SET_CONFIG, answered with nothing
};

struct BootEntry {
    BootProtocol protocol;
    uint32_t bootRate;
    uint8_t imageKind; // of the monitor header; none for the ATmega
    RateStep rateStep;
};

constexpr uint32_t kRateStepTarget = 9600;

// Nothing for a type that does not exist.
std::optional<BootEntry> BootEntryOf(int targetType);

} // namespace vtarget
