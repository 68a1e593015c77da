// The ML675001 with its external flash (target type 14): the monitor comes
// as Intel HEX text through the boot ROM; the flash is identified, erased as
// a whole, written in 2 KB blocks and verified by CRC32. A matching CRC is
// announced by RESET_TARGET_IND; the board itself is left as it is.
#include "boot/BootLoader.h"
#include "frame/Indication.h"
#include "link/Primitives.h"
#include "programmers/BlockWriter.h"
#include "programmers/ImageCrc.h"
#include "programmers/ProgramImage.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/Programmers.h"
#include "programmers/arm/ArmFlash.h"
#include "serial/Sio.h"

namespace {

constexpr const char* kReportModule = "Arm_00";
constexpr unsigned kReportCheckBase = 1000;

constexpr uint16_t kFlashTargetType = 14;

// The erase is announced as finished also when its mail failed.
uint32_t EraseChip() {
    SendIndication(CHIP_ERASE_START_IND);
    const uint32_t code = MonChipErase();
    SendIndication(CHIP_ERASE_FINISHED_IND);
    RETURN_REPORTED_ON_FAILURE(code);
    return 0;
}

uint32_t ProgramFlash(const ProgramImage& image) {
    RETURN_ON_FAILURE(EraseChip());
    RETURN_REPORTED_ON_FAILURE(
        WriteBlocks(kMl675001Blocks, image.Bytes(), image.Start(), image.Size()));
    SendIndication(PROGRAMMING_SUCCESS_IND);
    return 0;
}

// The whole image, its file CRC over whole words. A mismatch is no failure.
uint32_t VerifyFlash(const ProgramImage& image) {
    const CrcComparison crc = CompareCrc(image.Bytes(), image.EvenSize(), image.Start(),
                                         image.Start() + image.Size() - 1);
    if (crc.mailError != 0) {
        return EndWithMailError(crc.mailError);
    }
    if (ReportCrc(crc)) {
        SendIndication(RESET_TARGET_IND);
    }
    return 0;
}

} // namespace

int Ml675001FlashSession(const SessionParams& session) {
    ProgramImage image;
    if (int result = 0; !StartArmFlashSession(session, kMl675001FlashBase, image, result)) {
        return result;
    }
    if (!image.Present() || session.targettype != kFlashTargetType) {
        return 1;
    }
    if (const uint32_t code = ProgramFlash(image)) {
        return static_cast<int>(EndWithMailError(code));
    }
    return static_cast<int>(VerifyFlash(image));
}
