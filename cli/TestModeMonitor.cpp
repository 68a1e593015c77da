// Starting test mode with a running monitor. A monitor that already answers
// is used as it is; otherwise the boot loader downloads one, and the chip's
// registers are set up for memory access as the board's firmware would.
#include "TestModeMonitor.h"

#include "TestModeTargets.h"

#include "ulvex.h"

namespace {

constexpr uint32_t kSessionId = 0;
constexpr uint32_t kBusModeMask = 0x1Fu;
constexpr uint32_t kNonDuplexBus = 1;
// A single-wire bus is opened with DTR raised from the monitor start on.
constexpr uint32_t kRaiseDtrAtOpen = 0x8000u;

bool OpenPort(const RunSettings& settings) {
    TM_InitTestMode(kSessionId);
    return TM_OpenAccessPort(settings.comPort, settings.baudRate, settings.busMode) !=
           ACCESS_PORT_FAILED;
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
