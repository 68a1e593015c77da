// The KOLT-family internal flash, driven through the chip's flash
// controller with memory-write mails: erase, programming and info block.
#include "frame/Indication.h"
#include "frame/ThreadContext.h"
#include "link/Primitives.h"
#include "programmers/BlockWriter.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/kolt/KoltChip.h"
#include "programmers/kolt/KoltLayout.h"
#include "programmers/kolt/KoltSteps.h"
#include "serial/Sio.h"

namespace {

constexpr const char* kReportModule = "ProgKolt";
constexpr unsigned kReportCheckBase = 2000;

// Longest a flash-controller operation may keep its busy bits set.
constexpr uint32_t kControllerWaitMs = 5000;

// Info-block words and their values.
constexpr uint32_t kInfoMarker = 0x080002;
constexpr uint16_t kInfoMarkerValue = 0x5070;
constexpr uint32_t kInfoConfigMarker = 0x080008;
constexpr uint16_t kInfoConfigMarkerValue = 0x5A7A;
constexpr uint32_t kInfoSegments = 0x08000A;

uint32_t BoardEraseUnits() {
    switch (Ctx().programmer.targetType) {
    case 0:
    case 5:
    case 20:
        return kKoltAEraseUnits;
    default:
        return kKoltSmallEraseUnits;
    }
}

// The chip's configurability, with the revision read afresh from the chip.
uint32_t ReadConfigurability(KoltConfigurability& result) {
    uint8_t vrev = 0;
    RETURN_REPORTED_ON_FAILURE(MonReadByte(kKoltVrevAddress, &vrev));
    result = KoltChipConfigurability(Ctx().programmer.chipVariant, vrev);
    return 0;
}

uint32_t ConfigureSegments(uint32_t size) {
    KoltConfigurability configurability = KoltConfigurability::Fixed;
    RETURN_ON_FAILURE(ReadConfigurability(configurability));
    const uint16_t segments = static_cast<uint16_t>(KoltSegmentCount(size));
    if (configurability == KoltConfigurability::Unknown) {
        SendTextInfo("### UNKNOWN TARGET TYPE [InternalKoltFlash()] ###");
        return 0;
    }
    if (configurability == KoltConfigurability::Fixed) {
        return 0;
    }
    uint16_t config = 0;
    RETURN_REPORTED_ON_FAILURE(MonReadWord(kKoltFlashConfig, &config));
    RETURN_REPORTED_ON_FAILURE(
        MonWriteWord(kKoltFlashConfig, static_cast<uint16_t>((config & 0xFFF0) | segments)));
    return 0;
}

// Helpers of the internal-flash and info-block steps: each reports what it
// sees at its step's level, and the step passes the code on.

// Both erase passes over the units the image reaches.
uint32_t EraseInternalFlash(uint32_t start, uint32_t size) {
    const std::vector<uint32_t> units = KoltEraseUnits(start, size, BoardEraseUnits());
    for (uint32_t unit : units) {
        const uint16_t command =
            unit == kKoltFlashBase ? kKoltFirstEraseBase : kKoltFirstEraseOther;
        RETURN_REPORTED_ON_FAILURE(EraseKoltUnit(unit, command));
    }
    for (uint32_t unit : units) {
        const uint16_t command =
            unit == kKoltFlashBase ? kKoltSecondEraseBase : kKoltSecondEraseOther;
        RETURN_REPORTED_ON_FAILURE(EraseKoltUnit(unit, command));
    }
    return 0;
}

uint32_t ProgramInternalBlocks(const uint8_t* image, uint32_t start, uint32_t size) {
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltFlashControl, kKoltProgramCommand));
    RETURN_REPORTED_ON_FAILURE(WriteBlocks(kKoltInternalBlocks, image, start, size));
    RETURN_REPORTED_ON_FAILURE(WaitFlashController(kKoltFlashControl, kKoltOperationBusy));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltFlashControl, kKoltEndCommand));
    return 0;
}

uint32_t WriteInfoSegments(uint32_t size) {
    KoltConfigurability configurability = KoltConfigurability::Fixed;
    RETURN_ON_FAILURE(ReadConfigurability(configurability));
    const uint16_t segments = static_cast<uint16_t>(KoltSegmentCount(size));
    if (configurability == KoltConfigurability::Unknown) {
        SendTextInfo("### UNKNOWN TARGET TYPE [in set info block] ###");
        return 0;
    }
    if (configurability == KoltConfigurability::Fixed) {
        return 0;
    }
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kInfoConfigMarker, kInfoConfigMarkerValue));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kInfoSegments, segments));
    return 0;
}

} // namespace

uint32_t WaitFlashController(uint32_t address, uint16_t mask) {
    const uint32_t deadline = TickDeadline(kControllerWaitMs);
    for (;;) {
        uint16_t value = 0;
        RETURN_REPORTED_ON_FAILURE(MonReadWord(address, &value));
        if (TickReached(deadline)) {
            return 1;
        }
        if ((value & mask) == 0) {
            return 0;
        }
    }
}

uint32_t EraseKoltUnit(uint32_t unitAddress, uint16_t command) {
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltFlashControl, command));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltCommandAddress1, 0xAAAA));
    RETURN_REPORTED_ON_FAILURE(WaitFlashController(kKoltFlashControl, kKoltCommandBusy));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltCommandAddress2, 0x5555));
    RETURN_REPORTED_ON_FAILURE(WaitFlashController(kKoltFlashControl, kKoltCommandBusy));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(unitAddress, 0xFFFF));
    RETURN_REPORTED_ON_FAILURE(WaitFlashController(kKoltFlashControl, kKoltCommandBusy));
    RETURN_REPORTED_ON_FAILURE(WaitFlashController(kKoltFlashControl, kKoltOperationBusy));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltFlashControl, kKoltEndCommand));
    return 0;
}

uint32_t ProgramKoltInternal(const uint8_t* image, uint32_t start, uint32_t size) {
    SendIndication(CHIP_ERASE_START_IND);
    RETURN_ON_FAILURE(ConfigureSegments(size));
    RETURN_ON_FAILURE(EraseInternalFlash(start, size));
    SendIndication(CHIP_ERASE_FINISHED_IND);
    RETURN_ON_FAILURE(ProgramInternalBlocks(image, start, size));
    RETURN_REPORTED_ON_FAILURE(WriteKoltInfoBlock(size));
    SendIndication(PROGRAMMING_SUCCESS_IND);
    return 0;
}

uint32_t WriteKoltInfoBlock(uint32_t size) {
    RETURN_REPORTED_ON_FAILURE(WaitFlashController(kKoltFlashControl, kKoltOperationBusy));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltFlashControl, kKoltEndCommand));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltFlashControl, kKoltInfoBlockCommand));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kInfoMarker, kInfoMarkerValue));
    RETURN_ON_FAILURE(WriteInfoSegments(size));
    RETURN_REPORTED_ON_FAILURE(WaitFlashController(kKoltFlashControl, kKoltInfoBusy));
    RETURN_REPORTED_ON_FAILURE(WaitFlashController(kKoltFlashControl, kKoltOperationBusy));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltFlashControl, kKoltEndCommand));
    return 0;
}
