// Test mode with a monitor on the target: reuse one that already answers,
// or start one through the boot loader and prepare the chip for access.
#pragma once

#include "Options.h"

// Applies the DTR, RTS and BREAK settings that were given, in that order.
void ApplyControlLines(const RunSettings& settings);

// Opens test mode and the access port to a monitor that already runs. When
// the port cannot be opened, test mode ends again and the result is false.
bool OpenTestModePort(const RunSettings& settings);

// Opens test mode and the access port with a running monitor. On a
// single-wire bus the bus mode gains bit 15 for the rest of the run.
// False when no monitor could be reached (the indications tell why).
bool StartTestModeMonitor(RunSettings& settings);

// Closes the access port and test mode.
void EndTestMode();
