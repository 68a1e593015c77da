// The S3C44B0X with its external flash at 0 (target types 18 and 22, which
// differ only in the monitor image the boot loader gets). The flash is
// identified, erased by blocks and sectors, written in 2 KB blocks and
// verified by CRC32, all of it around the window 0x10000..0x1FFFF that the
// board keeps for itself.
#include "boot/BootLoader.h"
#include "frame/Indication.h"
#include "frame/ThreadContext.h"
#include "image/HexFile.h"
#include "link/Primitives.h"
#include "programmers/BlockWriter.h"
#include "programmers/ImageCrc.h"
#include "programmers/ProgramImage.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/Programmers.h"
#include "programmers/Targets.h"
#include "programmers/arm/ArmFlash.h"
#include "programmers/arm/S3c44b0xLayout.h"
#include "serial/Sio.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kReportModule = "Arm_00";
constexpr unsigned kReportCheckBase = 3000;

// An unknown flash is erased with the geometry of "SST SST39VF1601".
constexpr int16_t kFallbackFlashType = 3;

const FlashTypeEntry& FlashGeometry() {
    const int16_t index = Ctx().programmer.flashTypeIndex;
    return FlashTypeTable[index < 0 ? kFallbackFlashType : index];
}

uint32_t EraseFlash(const ProgramImage& image) {
    const FlashTypeEntry& flash = FlashGeometry();
    SendIndication(SECTOR_ERASE_START_IND);
    for (const S3c44b0xErase& erase :
         S3c44b0xErasePlan(image.Start(), image.Size(), flash.sectorSize, flash.blockSize)) {
        RETURN_REPORTED_ON_FAILURE(erase.block ? MonBlockErase(erase.address)
                                               : MonSectorErase(erase.address));
    }
    SendIndication(SECTOR_ERASE_FINISHED_IND);
    return 0;
}

// The image as written and verified: itself when it starts on a 2 KB
// boundary, otherwise a copy that 0xFF bytes widen to the boundary below
// (see S3c44b0xWrittenView). Both hold spare 0xFF bytes after the end.
bool MakeWrittenImage(const ProgramImage& image, ProgramImage& written, const uint8_t*& bytes) {
    const S3c44b0xWritten view = S3c44b0xWrittenView(image.Start(), image.Size());
    if (view.lead == 0) {
        bytes = image.Bytes();
        return true;
    }
    auto* copy = static_cast<uint8_t*>(std::malloc(size_t{view.size} + kHexImageSpareBytes));
    if (copy == nullptr) {
        return false;
    }
    std::memset(copy, 0xFF, size_t{view.size} + kHexImageSpareBytes);
    std::memcpy(copy + view.lead, image.Bytes(), image.Size());
    written.Adopt(copy, view.size, view.start);
    bytes = copy;
    return true;
}

uint32_t ProgramFlash(const uint8_t* bytes, const S3c44b0xWritten& view) {
    RETURN_REPORTED_ON_FAILURE(WriteBlocks(kS3c44b0xBlocks, bytes, view.start, view.size));
    SendIndication(PROGRAMMING_SUCCESS_IND);
    return 0;
}

uint32_t CompareRange(const uint8_t* bytes, const S3c44b0xCrcRange& range, CrcComparison& crc) {
    crc = CompareCrc(bytes + range.offset, range.count, range.first, range.last);
    return crc.mailError;
}

// The written parts below and above the window, each against the target's
// CRC32. With both parts present the lower one is reported only when it
// differs and the upper one always, so an image at 0 longer than the window
// end reports as the two ranges 0..0xFFFF and 0x20000..end always have.
// With one part present, that part is reported either way. An image wholly
// inside the window had nothing written and nothing to compare: it reports
// CRC_OK_IND with the CRC32 of no bytes, 0, on both sides, and asks the
// target nothing. The host thus always ends with one CRC_OK_IND or
// CRC_ERROR_IND for the image, and no range reaches outside it.
uint32_t VerifyFlash(const uint8_t* bytes, const S3c44b0xWritten& view) {
    const S3c44b0xCrcPlan plan = S3c44b0xCrcRanges(view);
    CrcComparison crc;
    if (plan.hasLow) {
        RETURN_ON_FAILURE(CompareRange(bytes, plan.low, crc));
        if (!plan.hasHigh || !crc.Matches()) {
            ReportCrc(crc);
        }
    }
    if (plan.hasHigh) {
        RETURN_ON_FAILURE(CompareRange(bytes, plan.high, crc));
        ReportCrc(crc);
    }
    if (!plan.hasLow && !plan.hasHigh) {
        ReportCrc(CrcComparison{});
    }
    return 0;
}

uint32_t ProgramAndVerify(const ProgramImage& image) {
    RETURN_ON_FAILURE(EraseFlash(image));
    ProgramImage widened;
    const uint8_t* bytes = nullptr;
    if (!MakeWrittenImage(image, widened, bytes)) {
        return 1;
    }
    const S3c44b0xWritten view = S3c44b0xWrittenView(image.Start(), image.Size());
    RETURN_ON_FAILURE(ProgramFlash(bytes, view));
    return VerifyFlash(bytes, view);
}

bool IsS3c44b0xType(uint16_t targettype) {
    return targettype == 18 || targettype == 22;
}

} // namespace

int S3c44b0xSession(const SessionParams& session) {
    ProgramImage image;
    if (int result = 0; !StartArmFlashSession(session, kS3c44b0xFlashBase, image, result)) {
        return result;
    }
    if (!image.Present() || !IsS3c44b0xType(session.targettype)) {
        return 1;
    }
    if (const uint32_t code = ProgramAndVerify(image)) {
        return static_cast<int>(EndWithMailError(code));
    }
    return 0;
}
