// Starting test mode with a running monitor. A monitor that already answers
// is used as it is; otherwise the boot loader downloads one, and the chip's
// registers are set up for memory access as the board's firmware would.
#include "TestModeMonitor.h"

#include "ulvex.h"

namespace {

constexpr uint32_t kSessionId = 0;
constexpr uint32_t kBusModeMask = 0x1Fu;
constexpr uint32_t kNonDuplexBus = 1;
// A single-wire bus is opened with DTR raised from the monitor start on.
constexpr uint32_t kRaiseDtrAtOpen = 0x8000u;

// KOLT-family chips: the identity byte whose letter tells the revision, and
// the registers the set-up writes.
constexpr uint32_t kRevisionByte = 0xFFFFFE;
constexpr uint32_t kClockControl = 0xFFE124;
constexpr uint32_t kBusControl = 0xFFE110;
constexpr uint32_t kChipSelectLow = 0xFFE116;
constexpr uint32_t kChipSelectHigh = 0xFFE118;

bool OpenPort(const RunSettings& settings) {
    TM_InitTestMode(kSessionId);
    return TM_OpenAccessPort(settings.comPort, settings.baudRate, settings.busMode) !=
           ACCESS_PORT_FAILED;
}

bool MonitorAnswers() {
    uint16_t word = 0;
    return TM_Rd16(0, &word) == MAIL_NO_ERROR;
}

// Revisions C to F run the clock divider at a setting of 8.
bool NeedsClockSetting(uint8_t revision) {
    const uint8_t upper = revision & ~0x20u;
    return upper >= 'C' && upper <= 'F';
}

// Internal-flash boards. A revision byte that cannot be read counts as no
// match: a register is never written on a guess.
void SetUpInternalFlashChip() {
    uint8_t revision = 0;
    if (TM_Rd8(kRevisionByte, &revision) != MAIL_NO_ERROR || !NeedsClockSetting(revision)) {
        return;
    }
    uint16_t clock = 0;
    if (TM_Rd16(kClockControl, &clock) != MAIL_NO_ERROR) {
        return;
    }
    TM_Wr16(kClockControl, (clock & 0xFFF0u) | 0x0008u);
}

// External-flash boards: open the bus to the flash's chip selects. The bus
// register is only written back when its value could be read.
void SetUpExternalFlashBus() {
    uint16_t bus = 0;
    if (TM_Rd16(kBusControl, &bus) == MAIL_NO_ERROR) {
        TM_Wr16(kBusControl, bus & 0xFE3Fu);
    }
    TM_Wr16(kChipSelectLow, 0x0080);
    TM_Wr16(kChipSelectHigh, 0x0200);
}

void SetUpTarget(uint32_t targetType) {
    switch (targetType) {
    case 0:
    case 5:
    case 11:
    case 12:
    case 19:
    case 20:
    case 21:
        SetUpInternalFlashChip();
        break;
    case 1:
    case 2:
    case 6:
    case 7:
    case 13:
    case 23:
        SetUpExternalFlashBus();
        break;
    default:
        break;
    }
}

bool StartMonitorThroughBootLoader(RunSettings& settings) {
    EndTestMode();
    if ((settings.busMode & kBusModeMask) == kNonDuplexBus) {
        settings.busMode |= kRaiseDtrAtOpen;
    }
    if (TM_StartMonitorProgram(settings.comPort, settings.busMode, settings.baudRate,
                               settings.targetType) != 0) {
        EndTestMode();
        return false;
    }
    TM_CloseAccessPort();
    if (!OpenPort(settings)) {
        EndTestMode();
        return false;
    }
    return true;
}

} // namespace

void ApplyControlLines(const RunSettings& settings) {
    if (settings.dtr == LINE_ON) {
        TM_SetDTR();
    } else if (settings.dtr == LINE_OFF) {
        TM_ClrDTR();
    }
    if (settings.rts == LINE_ON) {
        TM_SetRTS();
    } else if (settings.rts == LINE_OFF) {
        TM_ClrRTS();
    }
    if (settings.breakLine == LINE_ON) {
        TM_SetBREAK();
    } else if (settings.breakLine == LINE_OFF) {
        TM_ClrBREAK();
    }
}

bool OpenTestModePort(const RunSettings& settings) {
    if (OpenPort(settings)) {
        return true;
    }
    // Test mode is ended here too, so that its stop line follows the
    // COM_PORT_ACCESS_FAIL_IND and its log is closed.
    TM_StopTestMode();
    return false;
}

bool StartTestModeMonitor(RunSettings& settings) {
    if (!OpenTestModePort(settings)) {
        return false;
    }
    ApplyControlLines(settings);
    if (MonitorAnswers()) {
        return true;
    }
    if (!StartMonitorThroughBootLoader(settings)) {
        return false;
    }
    SetUpTarget(settings.targetType);
    return true;
}

void EndTestMode() {
    TM_CloseAccessPort();
    TM_StopTestMode();
}
