// The MERV-family programmer (MERV-A, internal flash): start the monitor,
// erase and program the flash through the chip's flash controller, verify
// by CRC32 over exactly the image's bytes, set the read protection where
// the target type asks for it, and restart the target.
#include "boot/BootLoader.h"
#include "frame/Indication.h"
#include "frame/ThreadContext.h"
#include "link/Primitives.h"
#include "programmers/ImageCrc.h"
#include "programmers/ProgramImage.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/Programmers.h"
#include "programmers/merv/MervSteps.h"

namespace {

constexpr const char* kReportModule = "ProgMerv";
constexpr unsigned kReportCheckBase = 0;

constexpr uint16_t kMervType = 3;
constexpr uint16_t kMervProtectedType = 16;

// The read-protection flag of the programmer state; false for a type this
// programmer does not handle.
bool ChooseReadProtection(uint16_t targettype) {
    Ctx().programmer.readProtection = 0;
    if (targettype == kMervType) {
        return true;
    }
    if (targettype == kMervProtectedType) {
        Ctx().programmer.readProtection = 1;
        return true;
    }
    return false;
}

// The file's CRC32 over size bytes (no padding: the monitor counts bytes)
// against the target's from the first to the last image byte.
uint32_t VerifyImage(const ProgramImage& image, bool& matches) {
    const CrcComparison crc =
        CompareCrc(image.Bytes(), image.Size(), image.Start(), image.Start() + image.Size() - 1);
    if (crc.mailError != 0) {
        return EndWithMailError(crc.mailError);
    }
    matches = ReportCrc(crc);
    return 0;
}

// The restart request goes out without confirmation: the chip restarts
// before it could answer. A request that could not even be sent is a
// failure, not a restart.
uint32_t ProtectAndRestart() {
    if (Ctx().programmer.readProtection != 0) {
        RETURN_REPORTED_ON_FAILURE(SetMervReadProtection());
    }
    RETURN_REPORTED_ON_FAILURE(MonWriteMem8NoConfirm(kMervRestart, 1, &kMervRestartCommand));
    SendIndication(RESET_TARGET_IND);
    return 0;
}

} // namespace

int ProgMervSession(const SessionParams& session) {
    ProgramImage image;
    if (!StartMonitorAndImage(session, MonitorTrace::Narrowed, image)) {
        return 1;
    }
    if (!image.Present() || !ChooseReadProtection(session.targettype)) {
        return 1;
    }
    if (const uint32_t code = ProgramMervInternal(image.Bytes(), image.Start(), image.Size())) {
        return static_cast<int>(EndWithMailError(code));
    }
    bool matches = false;
    if (const uint32_t code = VerifyImage(image, matches)) {
        return static_cast<int>(code);
    }
    if (!matches) {
        return 0;
    }
    return static_cast<int>(ProtectAndRestart());
}
