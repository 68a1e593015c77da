// The ARM targets programmer (module Arm_00): the ML675001 with its external
// flash or its internal RAM, and the S3C44B0X with its external flash. The
// pieces its files share.
#pragma once

#include <cstdint>

#include "frame/ThreadContext.h"
#include "programmers/ProgramImage.h"

// Where each board's external flash starts. The monitor's command writes go
// to the words 0x2AAA and 0x5555 of the flash, 0x5554 and 0xAAAA bytes above.
constexpr uint32_t kMl675001FlashBase = 0xC8000000;
constexpr uint32_t kS3c44b0xFlashBase = 0x00000000;

// The flash programmers let the monitor settle this long after its start.
constexpr uint32_t kArmMonitorSettleMs = 200;

// Gives the monitor the command addresses of the flash at base, asks the
// flash for its identity (FLASHTYPE_IND) and looks it up in the flash-type
// table, keeping identity and row in the thread's programmer state. The row's
// name, or that the flash is unknown, goes to the host as text; an unknown
// flash is no failure. Returns 0 or a failing mail's code, reported.
uint32_t IdentifyArmFlash(uint32_t flashBase);

// The start both flash programmers share: the monitor and its settling time,
// the image read and announced, the flash at flashBase identified. False
// when the session ends here, with its result (a failed identification has
// been reported, its MAIL_ERROR_IND included).
bool StartArmFlashSession(const SessionParams& session, uint32_t flashBase, ProgramImage& image,
                          int& result);
