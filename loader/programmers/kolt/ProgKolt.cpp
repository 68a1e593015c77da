// The KOLT-family programmer (KOLT-A and its relatives NILA-A, ORSK-A and
// PELD-A): start the monitor, identify the chip, program the memory of the
// target type, verify by CRC32 and restart the target.
#include "boot/BootLoader.h"
#include "frame/Indication.h"
#include "frame/ThreadContext.h"
#include "link/Primitives.h"
#include "programmers/ImageCrc.h"
#include "programmers/ProgramImage.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/Programmers.h"
#include "programmers/kolt/KoltChip.h"
#include "programmers/kolt/KoltSteps.h"

namespace {

constexpr const char* kReportModule = "ProgKolt";
constexpr unsigned kReportCheckBase = 0;

// Tells the restarted chip where its program starts (4 KB units).
constexpr uint32_t kRestartVectorShift = 12;
constexpr uint16_t kRestartCommand = 0x0080;

enum class KoltMode { Internal, External, Pair, TouchedSectors, None };

KoltMode ModeOf(uint16_t targettype) {
    switch (targettype) {
    case 0:
    case 5:
    case 11:
    case 12:
    case 19:
    case 20:
        return KoltMode::Internal;
    case 1:
    case 6:
    case 21:
        return KoltMode::External;
    case 2:
    case 7:
        return KoltMode::Pair;
    case 13:
    case 23:
        return KoltMode::TouchedSectors;
    default:
        return KoltMode::None;
    }
}

uint32_t ProgramMode(KoltMode mode, const ProgramImage& image) {
    switch (mode) {
    case KoltMode::Internal:
        return ProgramKoltInternal(image.Bytes(), image.Start(), image.Size());
    case KoltMode::External:
        return ProgramKoltExternal(image.Bytes(), image.Start(), image.Size());
    case KoltMode::Pair:
        return ProgramKolt2x8(image.Bytes(), image.Start(), image.Size());
    case KoltMode::TouchedSectors:
        return ProgramKoltTouchedSectors(image.Bytes(), image.Start(), image.Size());
    case KoltMode::None:
        break;
    }
    return 1;
}

// Whole-image CRC32: the file's over whole words, the target's from the
// first to the last image byte. A mismatch ends the session with 0.
uint32_t VerifyImage(const ProgramImage& image, bool& matches) {
    const CrcComparison crc = CompareCrc(image.Bytes(), image.EvenSize(), image.Start(),
                                         image.Start() + image.Size() - 1);
    if (crc.mailError != 0) {
        return EndWithMailError(crc.mailError);
    }
    matches = ReportCrc(crc);
    return 0;
}

uint32_t RestartTarget(const ProgramImage& image) {
    const auto vector = static_cast<uint16_t>(image.Start() >> kRestartVectorShift);
    if (const uint32_t code = MonWriteWord(kKoltRestartVector, vector)) {
        return EndWithMailError(code);
    }
    MonWriteMem16NoConfirm(kKoltRestart, 1, &kRestartCommand);
    SendIndication(RESET_TARGET_IND);
    return 0;
}

} // namespace

int ProgKoltSession(const SessionParams& session) {
    ProgramImage image;
    if (!StartMonitorAndImage(session, MonitorTrace::Narrowed, image)) {
        return 1;
    }

    if (const uint32_t code = IdentifyKoltChip()) {
        return static_cast<int>(REPORT_PROGRAMMER_ERROR(code));
    }
    if (!image.Present()) {
        return 1;
    }
    Ctx().programmer.targetType = session.targettype;

    const KoltMode mode = ModeOf(session.targettype);
    if (mode == KoltMode::None) {
        return 1;
    }
    if (const uint32_t code = ProgramMode(mode, image)) {
        return static_cast<int>(EndWithMailError(code));
    }
    if (mode != KoltMode::TouchedSectors) {
        bool matches = false;
        if (const uint32_t code = VerifyImage(image, matches)) {
            return static_cast<int>(code);
        }
        if (!matches) {
            return 0;
        }
    }
    return static_cast<int>(RestartTarget(image));
}
