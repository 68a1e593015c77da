// A move to 9600 baud that some monitors make before the PC asks them for
// the working rate; the boot table says which monitor makes which.
#pragma once

#include <cstdint>

namespace vtarget {

enum class RateStep {
    None,
    ClockRegisterWrite, // a WRITE_MEM16 of 0x0008 to the serial clock register 0xFFE326
    SetConfig,          // SET_CONFIG, answered with nothing
};

constexpr uint32_t kRateStepTarget = 9600;

} // namespace vtarget
