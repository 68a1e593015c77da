// How each target type starts: which boot loader waits on its serial line,
// at which rate, which monitor image it takes, and the rate step its
// monitor makes on the way to the working rate.
#pragma once

#include "monitor/RateStep.h"

#include <cstdint>
#include <optional>

namespace vtarget {

enum class BootProtocol {
    Chip,           // prompt byte, length header, binary image, XOR answer
    Arm,            // the same exchange with the ARM boot loader's answers
    Ml675001Rom,    // Intel HEX text under XON/XOFF flow control
    AtmegaResident, // a resident boot loader that speaks mails itself
};

struct BootEntry {
    BootProtocol protocol;
    uint32_t bootRate;
    uint8_t imageKind; // of the monitor header; none for the ATmega
    RateStep rateStep;
};

// Nothing for a type that does not exist.
std::optional<BootEntry> BootEntryOf(int targetType);

} // namespace vtarget
