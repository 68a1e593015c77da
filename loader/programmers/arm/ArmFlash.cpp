#include "programmers/arm/ArmFlash.h"

#include "boot/BootLoader.h"
#include "frame/Indication.h"
#include "frame/ThreadContext.h"
#include "link/Primitives.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/Targets.h"
#include "serial/Sio.h"

namespace {

constexpr const char* kReportModule = "Arm_00";
constexpr unsigned kReportCheckBase = 0;

constexpr uint32_t kCommandAddressWord2AAA = 0x5554;
constexpr uint32_t kCommandAddressWord5555 = 0xAAAA;

} // namespace

uint32_t IdentifyArmFlash(uint32_t flashBase) {
    RETURN_REPORTED_ON_FAILURE(MonSetFlashCmdAddresses(
        flashBase, flashBase + kCommandAddressWord2AAA, flashBase + kCommandAddressWord5555));
    uint16_t manufacturer = 0;
    uint16_t device = 0;
    RETURN_REPORTED_ON_FAILURE(MonFlashType(&manufacturer, &device));
    SendIndicationTwoWords(FLASHTYPE_IND, manufacturer, device);

    ProgrammerState& state = Ctx().programmer;
    state.flashManufacturer = manufacturer;
    state.flashDevice = device;
    state.flashTypeIndex = FindFlashType(manufacturer, device);
    if (state.flashTypeIndex < 0) {
        SendTextInfo("FlashType=## Unknown Flash ##");
    } else {
        SendTextInfo("FlashType=%s", FlashTypeTable[state.flashTypeIndex].name);
    }
    return 0;
}

bool StartArmFlashSession(const SessionParams& session, uint32_t flashBase, ProgramImage& image,
                          int& result) {
    result = 1;
    if (StartMonitor(session.comport & 0xFF, session.busmode, session.baudrate,
                     session.targettype) != 0) {
        return false;
    }
    DelayMs(kArmMonitorSettleMs);
    if (!ReadAnnouncedImage(image, session.filename)) {
        return false;
    }
    if (const uint32_t code = IdentifyArmFlash(flashBase)) {
        result = static_cast<int>(EndWithMailError(code));
        return false;
    }
    return true;
}
