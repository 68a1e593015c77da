// The ATmega64/128 programmer. Nothing is downloaded: the monitor start
// wakes the boot loader that resides in the chip, and it answers the
// monitor's mails. The programmer tells the two chips apart by the boot
// loader's version word, erases the chip, writes the image page by page
// and verifies it by CRC32. The boot loader stays in control afterwards.
#include "boot/BootLoader.h"
#include "frame/Indication.h"
#include "link/Primitives.h"
#include "programmers/BlockWriter.h"
#include "programmers/ImageCrc.h"
#include "programmers/ProgramImage.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/Programmers.h"

namespace {

constexpr const char* kReportModule = "AtMega128_00";
constexpr unsigned kReportCheckBase = 0;

// The chip code in the high half of the boot loader's version word.
constexpr uint32_t kChipAtmega64 = 0;
constexpr uint32_t kChipAtmega128 = 1;

bool IsAtmegaType(uint16_t targettype) {
    return targettype == 10 || targettype == 17;
}

// The boot loader's version and the chip it runs on. A chip code it does
// not know is no error: programming goes on without a type line.
uint32_t IdentifyBootLoader() {
    uint32_t version = 0;
    RETURN_REPORTED_ON_FAILURE(MonGetVersion(&version));
    SendTextInfo("BootloaderVersion=%04X", version & 0xFFFFu);
    switch (version >> 16) {
    case kChipAtmega64:
        SendTextInfo("TargetType=ATMEGA64");
        break;
    case kChipAtmega128:
        SendTextInfo("TargetType=ATMEGA128");
        break;
    default:
        break;
    }
    return 0;
}

// The host hears that the erase finished also when its mail failed.
uint32_t EraseChip() {
    SendIndication(CHIP_ERASE_START_IND);
    const uint32_t code = MonChipErase();
    SendIndication(CHIP_ERASE_FINISHED_IND);
    if (code != 0) {
        return REPORT_PROGRAMMER_ERROR(code);
    }
    return 0;
}

uint32_t ProgramPages(const ProgramImage& image) {
    RETURN_REPORTED_ON_FAILURE(
        WriteBlocks(kAtmegaBlocks, image.Bytes(), image.Start(), image.Size()));
    SendIndication(PROGRAMMING_SUCCESS_IND);
    return 0;
}

uint32_t ProgramImageOnChip(const ProgramImage& image) {
    RETURN_ON_FAILURE(IdentifyBootLoader());
    RETURN_ON_FAILURE(EraseChip());
    return ProgramPages(image);
}

// The boot loader's CRC range ends one word past the image's last word;
// the file's CRC covers the image in whole words to match.
uint32_t LastCrcWord(const ProgramImage& image) {
    return ((image.Start() + image.Size() - 1) >> 1) + 1;
}

// A mismatch is reported and still ends the session with 0.
uint32_t VerifyImage(const ProgramImage& image) {
    const CrcComparison crc =
        CompareCrc(image.Bytes(), image.EvenSize(), image.Start(), LastCrcWord(image));
    if (crc.mailError != 0) {
        return EndWithMailError(crc.mailError);
    }
    ReportCrc(crc);
    return 0;
}

} // namespace

int AtMega128Session(const SessionParams& session) {
    ProgramImage image;
    if (!StartMonitorAndImage(session, MonitorTrace::Full, image)) {
        return 1;
    }
    if (!image.Present() || !IsAtmegaType(session.targettype)) {
        return 1;
    }
    if (const uint32_t code = ProgramImageOnChip(image)) {
        return static_cast<int>(EndWithMailError(code));
    }
    return static_cast<int>(VerifyImage(image));
}
