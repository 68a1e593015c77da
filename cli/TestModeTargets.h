// What test mode knows of each target type, shared by vorn and ulvex: the
// registers a board's firmware would set up, written after a monitor start
// so that memory and flash can be reached, and whether the type's monitor
// computes the CRC that a verify compares.
#pragma once

#include <cstdint>

// Whether a monitor answers on the open access port.
bool MonitorAnswers();

// The set-up of the chip's registers for memory access, where the type
// needs one; the other types are left as they are.
void SetUpTarget(uint32_t targetType);

enum class VerifySupport { Crc, NotSupported, Unknown };
VerifySupport VerifySupportFor(uint32_t targetType);
