#include "TestModeTargets.h"

#include "ulvex.h"

namespace {

// KOLT-family chips: the identity byte whose letter tells the revision, and
// the registers the set-up writes.
constexpr uint32_t kRevisionByte = 0xFFFFFE;
constexpr uint32_t kClockControl = 0xFFE124;
constexpr uint32_t kBusControl = 0xFFE110;
constexpr uint32_t kChipSelectLow = 0xFFE116;
constexpr uint32_t kChipSelectHigh = 0xFFE118;

// Revisions C to F run the clock divider at a setting of 8.
bool NeedsClockSetting(uint8_t revision) {
    const uint8_t upper = revision & ~0x20u;
    return upper >= 'C' && upper <= 'F';
}

// Internal-flash boards. A revision byte that cannot be read counts as no
// match: a register is never written on a guess.
void SetUpInternalFlashChip() {
    uint8_t revision = 0;
    if (TM_Rd8(kRevisionByte, &revision) != MAIL_NO_ERROR || !NeedsClockSetting(revision)) {
        return;
    }
    uint16_t clock = 0;
    if (TM_Rd16(kClockControl, &clock) != MAIL_NO_ERROR) {
        return;
    }
    TM_Wr16(kClockControl, (clock & 0xFFF0u) | 0x0008u);
}

// External-flash boards: open the bus to the flash's chip selects. The bus
// register is only written back when its value could be read.
void SetUpExternalFlashBus() {
    uint16_t bus = 0;
    if (TM_Rd16(kBusControl, &bus) == MAIL_NO_ERROR) {
        TM_Wr16(kBusControl, bus & 0xFE3Fu);
    }
    TM_Wr16(kChipSelectLow, 0x0080);
    TM_Wr16(kChipSelectHigh, 0x0200);
}

} // namespace

bool MonitorAnswers() {
    uint16_t word = 0;
    return TM_Rd16(0, &word) == MAIL_NO_ERROR;
}

// The registers a board's firmware would set up, after a monitor start.
void SetUpTarget(uint32_t targetType) {
    switch (targetType) {
    case 0:
    case 5:
    case 11:
    case 12:
    case 19:
    case 20:
    case 21:
        SetUpInternalFlashChip();
        break;
    case 1:
    case 2:
    case 6:
    case 7:
    case 13:
    case 23:
        SetUpExternalFlashBus();
        break;
    default:
        break;
    }
}

VerifySupport VerifySupportFor(uint32_t targetType) {
    switch (targetType) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 5:
    case 6:
    case 7:
    case 11:
    case 12:
    case 13:
    case 16:
    case 19:
    case 20:
    case 21:
    case 23:
        return VerifySupport::Crc;
    case 4:
        return VerifySupport::NotSupported;
    default:
        return VerifySupport::Unknown;
    }
}
