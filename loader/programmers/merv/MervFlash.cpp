// The MERV-A internal flash, driven through the chip's flash controller
// with byte writes: the two erase passes over every sector, programming by
// the block writer, and the bytes beside the array (marker and read
// protection).
#include "frame/Indication.h"
#include "link/Primitives.h"
#include "programmers/BlockWriter.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/merv/MervSteps.h"
#include "serial/Sio.h"

#include <array>

namespace {

constexpr const char* kReportModule = "ProgMerv";
constexpr unsigned kReportCheckBase = 1000;

// Longest a flash-controller operation may keep its busy bits set.
constexpr uint32_t kControllerWaitMs = 5000;

// The erase sectors, in the order a pass erases them: the whole flash goes,
// however small the image.
constexpr std::array<uint32_t, 4> kMervSectors = {0x40000, 0x20000, 0x8000, 0x0000};

constexpr uint8_t kMarkerLow = 0x70;
constexpr uint8_t kMarkerHigh = 0x50;
constexpr uint8_t kProtected = 0x00;

// Writes two bytes beside the flash array under the info command.
uint32_t WriteInfoBytes(uint32_t address, uint8_t first, uint8_t second) {
    RETURN_REPORTED_ON_FAILURE(WaitMervController(kMervCommandBusy));
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(kMervFlashControl, kMervInfoCommand));
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(address, first));
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(address + 1, second));
    RETURN_REPORTED_ON_FAILURE(WaitMervController(kMervCommandBusy));
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(kMervFlashControl, kMervEndCommand));
    return 0;
}

} // namespace

uint32_t WaitMervController(uint8_t mask) {
    const uint32_t deadline = TickDeadline(kControllerWaitMs);
    for (;;) {
        uint8_t value = 0;
        RETURN_REPORTED_ON_FAILURE(MonReadByte(kMervFlashControl, &value));
        if (TickReached(deadline)) {
            return 1;
        }
        if ((value & mask) == 0) {
            return 0;
        }
    }
}

uint32_t EraseMervSector(uint32_t sector) {
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(kMervCommandAddress1, kMervUnlock1));
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(kMervCommandAddress2, kMervUnlock2));
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(sector, kMervUnlock2));
    RETURN_REPORTED_ON_FAILURE(WaitMervController(kMervOperationBusy));
    return 0;
}

uint32_t RunMervErasePass(uint8_t command) {
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(kMervFlashControl, command));
    for (uint32_t sector : kMervSectors) {
        RETURN_REPORTED_ON_FAILURE(EraseMervSector(sector));
    }
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(kMervFlashControl, kMervEndCommand));
    return 0;
}

uint32_t ProgramMervBlocks(const uint8_t* image, uint32_t start, uint32_t size) {
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(kMervFlashControl, kMervProgramCommand));
    RETURN_REPORTED_ON_FAILURE(WriteBlocks(kMervBlocks, image, start, size));
    RETURN_REPORTED_ON_FAILURE(WaitMervController(kMervOperationBusy));
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(kMervFlashControl, kMervEndCommand));
    return 0;
}

uint32_t WriteMervMarker() {
    RETURN_ON_FAILURE(WriteInfoBytes(kMervMarker, kMarkerLow, kMarkerHigh));
    return 0;
}

uint32_t SetMervReadProtection() {
    RETURN_ON_FAILURE(WriteInfoBytes(kMervReadProtection, kProtected, kProtected));
    return 0;
}

uint32_t ProgramMervInternal(const uint8_t* image, uint32_t start, uint32_t size) {
    SendIndication(CHIP_ERASE_START_IND);
    RETURN_REPORTED_ON_FAILURE(RunMervErasePass(kMervFirstErase));
    RETURN_REPORTED_ON_FAILURE(RunMervErasePass(kMervSecondErase));
    SendIndication(CHIP_ERASE_FINISHED_IND);
    RETURN_REPORTED_ON_FAILURE(ProgramMervBlocks(image, start, size));
    RETURN_REPORTED_ON_FAILURE(WriteMervMarker());
    SendIndication(PROGRAMMING_SUCCESS_IND);
    return 0;
}
