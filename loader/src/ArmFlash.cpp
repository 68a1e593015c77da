#include "ArmFlash.h"

#include "Indication.h"
#include "Primitives.h"
#include "ProgrammerErrorReport.h"
#include "Targets.h"
#include "ThreadContext.h"

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
