// The monitor start: which boot procedure a target type needs, and the
// chip, ARM and ML675001 paths around the downloads.
#include "boot/BootLoader.h"

#include "boot/BootSteps.h"
#include "boot/MonitorImages.h"
#include "frame/Indication.h"
#include "frame/LibrarySettings.h"
#include "frame/ThreadContext.h"
#include "frame/Trace.h"
#include "link/BusAccess.h"
#include "link/Primitives.h"
#include "serial/Sio.h"

#include <vector>

namespace {

enum class BootPath { None, Chip, Arm, Ml675001, Atmega };

struct BootProcedure {
    BootPath path = BootPath::None;
    uint32_t bootBaudrate = 0;
    uint32_t imageKind = 0;
};

constexpr uint32_t kTypeCount = 24;
constexpr BootProcedure kNoBoot{};

// Indexed by target type.
constexpr BootProcedure kBootProcedures[kTypeCount] = {
    {BootPath::Chip, 9600, 0},       {BootPath::Chip, 9600, 0},     // 0, 1
    {BootPath::Chip, 9600, 0},       {BootPath::Chip, 9600, 1},     // 2, 3
    {BootPath::Chip, 9600, 1},       {BootPath::Chip, 8600, 0},     // 4, 5
    {BootPath::Chip, 8600, 0},       {BootPath::Chip, 8600, 0},     // 6, 7
    {BootPath::Chip, 8600, 1},       {BootPath::Chip, 8600, 1},     // 8, 9
    {BootPath::Atmega, 115200, 0},   {BootPath::Chip, 9600, 2},     // 10, 11
    {BootPath::Chip, 9600, 2},       {BootPath::Chip, 9600, 0},     // 12, 13
    {BootPath::Ml675001, 115200, 0}, kNoBoot,                       // 14, 15
    {BootPath::Chip, 9600, 1},       {BootPath::Atmega, 115200, 0}, // 16, 17
    {BootPath::Arm, 115200, 3},      {BootPath::Chip, 9600, 4},     // 18, 19
    {BootPath::Chip, 11520, 5},      {BootPath::Chip, 11520, 5},    // 20, 21
    {BootPath::Arm, 115200, 6},      {BootPath::Chip, 11520, 5},    // 22, 23
};

// Stop-bit codes of the access port.
constexpr uint8_t kOneStopBit = 0;
constexpr uint8_t kTwoStopBits = 2;

// Pacing of the first download attempt and of its retry, in tenths of a
// millisecond per byte.
constexpr uint32_t kFirstPacing = 8;
constexpr uint32_t kRetryPacing = 1;

// Word written to this register moves the 8600-baud chips to 9600.
constexpr uint32_t kClockRegister = 0xFFE326;
constexpr uint16_t kClockFor9600 = 0x0008;
constexpr uint32_t kStepRate = 9600;

bool StepsTo9600ByRegister(uint32_t type) {
    return type >= 5 && type <= 7;
}

bool StepsTo9600ByItself(uint32_t type) {
    return type == 20 || type == 21 || type == 23;
}

// The first moves after a chip download: configuration, the 9600 step of
// the chips that boot at odd rates, then the working rate.
void SettleChipMonitor(uint32_t type, uint32_t busmode, uint32_t baudrate) {
    DelayMs(80);
    MonSetConfig((busmode & kBusModeMask) == kBusModeSingleWire ? 1 : 0);
    if (StepsTo9600ByRegister(type)) {
        DelayMs(50);
        MonWriteMem16NoConfirm(kClockRegister, 1, &kClockFor9600);
        DelayMs(50);
        ChangePcRate(kStepRate);
        DelayMs(100);
    } else if (StepsTo9600ByItself(type)) {
        DelayMs(50);
        ChangePcRate(kStepRate);
        DelayMs(100);
    }
    MoveToWorkingRate(baudrate);
}

uint32_t StartChipMonitor(const BootProcedure& boot, uint32_t type, uint32_t baudrate) {
    const LinkSettings& link = Ctx().link;
    if (OpenAccessPort(link.comport, boot.bootBaudrate, link.busmode, kOneStopBit) == 0) {
        return 1;
    }
    uint32_t result = BootDownload(boot.imageKind, kFirstPacing);
    if (result == 4) {
        result = BootDownload(boot.imageKind, kRetryPacing);
    }
    if (result != 0) {
        CloseAccessPort();
        SendIndication(DOWNLOAD_FAILED_IND);
        return 1;
    }
    SettleChipMonitor(type, link.busmode, baudrate);
    uint8_t firstByte = 0;
    if (MonReadMem8(0, 1, &firstByte) != 0) {
        SendIndication(DOWNLOAD_FAILED_IND);
        return 1;
    }
    SendIndication(DOWNLOAD_SUCCESS_IND);
    return 0;
}

uint32_t StartArmMonitor(const BootProcedure& boot, uint32_t baudrate) {
    const LinkSettings& link = Ctx().link;
    if (OpenAccessPort(link.comport, boot.bootBaudrate, link.busmode, kTwoStopBits) == 0) {
        CloseAccessPort();
        return 1;
    }
    // A failed download is reported, so that the session does not end
    // without a reason; a missing monitor file says so the same way.
    if (ArmBootDownload(boot.imageKind) != 0) {
        SendIndication(DOWNLOAD_FAILED_IND);
        return 1;
    }
    MoveToWorkingRate(baudrate);
    return 0;
}

uint32_t StartMl675001Monitor(const BootProcedure& boot, uint32_t baudrate) {
    const LinkSettings& link = Ctx().link;
    std::vector<uint8_t> text;
    if (!LoadMl675001Monitor(text)) {
        SendIndication(DOWNLOAD_FAILED_IND);
        return 1;
    }
    if (OpenAccessPort(link.comport, boot.bootBaudrate, link.busmode, kOneStopBit) == 0) {
        CloseAccessPort();
        return 1;
    }
    const uint32_t result = Ml675001Download(text.data(), static_cast<uint32_t>(text.size()));
    if (result != 0) {
        SendIndication(DOWNLOAD_FAILED_IND);
        return result;
    }
    MoveToWorkingRate(baudrate);
    return 0;
}

} // namespace

void ChangePcRate(uint32_t baudrate) {
    ChangeComportBaud(baudrate);
    ApplyControlLines();
}

void MoveToWorkingRate(uint32_t baudrate) {
    MonSetBaudrate(baudrate);
    DelayMs(100);
    ChangePcRate(baudrate);
    DelayMs(50);
}

uint32_t StartMonitor(uint32_t comport, uint32_t busmode, uint32_t baudrate, uint32_t targettype) {
    LinkSettings& link = Ctx().link;
    link.comport = static_cast<uint8_t>(comport);
    link.busmode = busmode;
    link.workBaudrate = baudrate;
    const BootProcedure& boot = targettype < kTypeCount ? kBootProcedures[targettype] : kNoBoot;
    if (boot.path != BootPath::None) {
        link.bootBaudrate = boot.bootBaudrate;
    }
    if (boot.path == BootPath::Chip) {
        link.bootImageKind = boot.imageKind;
    }
    switch (boot.path) {
    case BootPath::Chip:
        return StartChipMonitor(boot, targettype, baudrate);
    case BootPath::Atmega:
        return StartAtmegaBootLoader(link.comport, busmode, baudrate);
    case BootPath::Ml675001:
        return StartMl675001Monitor(boot, baudrate);
    case BootPath::Arm:
        return StartArmMonitor(boot, baudrate);
    case BootPath::None:
        break;
    }
    SendIndication(LOADER_ID_UNKNOWN_IND);
    return 1;
}

uint32_t StartMonitorNarrowed(uint32_t comport, uint32_t busmode, uint32_t baudrate,
                              uint32_t targettype) {
    // The thread's own mask, taken from SetDebug when its session or test
    // mode started. Read afresh, a change made meanwhile would close the
    // log halfway or switch printing on without one.
    const uint32_t mask = Ctx().trace.mask;
    if ((mask & DEBUG_NARROW_MONITOR) != 0) {
        SetTraceMask(DEBUG_RX_DUMP | DEBUG_TX_DUMP);
    }
    const uint32_t result = StartMonitor(comport, busmode, baudrate, targettype);
    SetTraceMask(mask);
    return result;
}
