#include "SessionBound.h"

#include "CampaignImages.h"

namespace campaign {

namespace {

// A mail waits 900 ms for its answer and is sent again twice, each time
// with 900 ms more: 2700 ms before it fails. The first wait of a chip erase
// is 15900 ms and of a CRC request 20900 ms.
constexpr uint32_t kMailMs = 3 * 900;
constexpr uint32_t kChipEraseMs = 15900 + 2 * 900;
constexpr uint32_t kCrcMs = 20900 + 2 * 900;
// A controller poll gives up at the first answer after 5000 ms (an 8-bit
// erase poll after 6000 ms); that answer may itself take a whole mail.
constexpr uint32_t kControllerWaitMs = 5000 + kMailMs;
constexpr uint32_t kEraseWaitMs = 6000 + kMailMs;

// Chip boot loader download of an image of n bytes: 800 ms for the prompt,
// 500 ms for the header's answer, the pacing wait (0.8 ms a byte), 1000 ms
// for the checksum; without a checksum once more at 0.1 ms a byte. Then
// 80 ms, the baud rate mail, 150 ms and the first read of the monitor.
constexpr uint32_t ChipBootMs(uint32_t n) {
    const uint32_t attempt = 800 + 500 + 1000;
    return attempt + n * 8 / 10 + attempt + n / 10 + 80 + kMailMs + 150 + kMailMs;
}

// The line time of a download at 115200 bit/s, ten bits a byte.
constexpr uint32_t LineMs(uint32_t n) {
    return n * 10 * 1000 / 115200 + 1;
}

// ATmega: the port search and wake mails run until the boot-loader timeout
// (15000 ms by default); then the version and baud rate mails and 150 ms.
constexpr uint32_t kAtmegaStartMs = 15000 + kMailMs + kMailMs + 150;
// ML675001: 1000 ms to see 'y', the 16087 characters of the monitor, 2000
// ms for '>', 100 ms for '.', the baud rate mail and 150 ms.
constexpr uint32_t kMl675001StartMs = 1000 + LineMs(16087) + 2000 + 100 + kMailMs + 150;
// S3C44B0X: 10000 ms for the boot loader's 0x02, 500 ms for the header's
// answer, the 7576 bytes of the monitor, 8000 ms for the checksum, the baud
// rate mail and 150 ms.
constexpr uint32_t kS3cStartMs = 10000 + 500 + LineMs(7576) + 8000 + kMailMs + 150;

constexpr uint32_t kKoltMonitorBytes = 2252;
constexpr uint32_t kMervMonitorBytes = 2848;
constexpr uint32_t kSectorWindow = 0x1000;
constexpr uint32_t kEraseUnit = 0x40000;
constexpr uint32_t kArmBlockErase = 0x10000;

// KOLT steps shared by every mode: six identification reads and the
// confirmed restart write; the external modes set up the bus with four
// mails and name the flash's command addresses with one.
constexpr uint32_t kKoltIdentification = 6;
constexpr uint32_t kKoltRestart = 1;
constexpr uint32_t kKoltExternalSetup = 4 + 1;

SessionBudget KoltInternal(uint32_t blocks, uint32_t units) {
    // VREV, the configuration read and write; per erase unit and pass five
    // writes and four controller waits; the program command before the
    // blocks and a wait and the end command after them; the info block's
    // seven mails and three waits.
    SessionBudget b;
    b.monitorStartMs = ChipBootMs(kKoltMonitorBytes);
    b.mails = kKoltIdentification + 3 + 2 * units * 5 + 2 + blocks + 7 + kKoltRestart;
    b.controllerWaits = 2 * units * 4 + 1 + 3;
    b.crcs = 1;
    return b;
}

SessionBudget KoltExternal(uint32_t blocks) {
    // The flash type; the chip erase.
    SessionBudget b;
    b.monitorStartMs = ChipBootMs(kKoltMonitorBytes);
    b.mails = kKoltIdentification + kKoltExternalSetup + 1 + blocks + kKoltRestart;
    b.chipErases = 1;
    b.crcs = 1;
    return b;
}

SessionBudget Kolt2x8(uint32_t blocks) {
    // Per device eight mails to read its identity and six to start its
    // erase, then an erase poll; 200 ms after both erases.
    SessionBudget b;
    b.monitorStartMs = ChipBootMs(kKoltMonitorBytes);
    b.mails = kKoltIdentification + kKoltExternalSetup + 2 * (8 + 6) + blocks + kKoltRestart;
    b.eraseWaits = 2;
    b.delaysMs = 200;
    b.crcs = 1;
    return b;
}

SessionBudget KoltTouched(uint32_t blocks, uint32_t size) {
    // The flash type; one sector erase per window, one CRC per whole one.
    SessionBudget b;
    const uint32_t windows = (size + kSectorWindow - 1) / kSectorWindow;
    b.monitorStartMs = ChipBootMs(kKoltMonitorBytes);
    b.mails = kKoltIdentification + kKoltExternalSetup + 1 + windows + blocks + kKoltRestart;
    b.crcs = size / kSectorWindow;
    return b;
}

SessionBudget Merv(uint32_t blocks) {
    // Two erase passes, each the command, four sectors of three writes and
    // a wait, and the end command; the program command, the blocks, a wait
    // and the end command; the marker's four writes and two waits.
    SessionBudget b;
    b.monitorStartMs = ChipBootMs(kMervMonitorBytes);
    b.mails = 2 * (1 + 4 * 3 + 1) + 2 + blocks + 4;
    b.controllerWaits = 2 * 4 + 1 + 2;
    b.crcs = 1;
    return b;
}

SessionBudget Atmega(uint32_t blocks) {
    // The version, the chip erase, the pages.
    SessionBudget b;
    b.monitorStartMs = kAtmegaStartMs;
    b.mails = 1 + blocks;
    b.chipErases = 1;
    b.crcs = 1;
    return b;
}

SessionBudget Ml675001(uint32_t blocks) {
    // 200 ms after the start; command addresses and flash type; chip erase.
    SessionBudget b;
    b.monitorStartMs = kMl675001StartMs;
    b.delaysMs = 200;
    b.mails = 2 + blocks;
    b.chipErases = 1;
    b.crcs = 1;
    return b;
}

SessionBudget S3c44b0x(uint32_t blocks, uint32_t size) {
    // 200 ms after the start; command addresses and flash type; at most one
    // erase per 64 KiB block and per 4 KiB sector up to the end; two CRCs.
    SessionBudget b;
    b.monitorStartMs = kS3cStartMs;
    b.delaysMs = 200;
    const uint32_t erases = size / kArmBlockErase + size / kSectorWindow + 2;
    b.mails = 2 + erases + blocks;
    b.crcs = 2;
    return b;
}

} // namespace

SessionBudget BudgetOf(const FamilyInfo& family, uint32_t imageSize) {
    const uint32_t blocks = BlockCount(family, imageSize);
    switch (family.family) {
    case Family::KoltInternal:
        return KoltInternal(blocks, (imageSize + kEraseUnit - 1) / kEraseUnit);
    case Family::KoltExternal:
        return KoltExternal(blocks);
    case Family::Kolt2x8:
        return Kolt2x8(blocks);
    case Family::KoltTouched:
        return KoltTouched(blocks, imageSize);
    case Family::Merv:
        return Merv(blocks);
    case Family::Atmega:
        return Atmega(blocks);
    case Family::Ml675001:
        return Ml675001(blocks);
    case Family::S3c44b0x:
        return S3c44b0x(blocks, imageSize);
    }
    return {};
}

std::chrono::milliseconds WorstCase(const SessionBudget& b) {
    const uint64_t ms =
        uint64_t{b.monitorStartMs} + uint64_t{b.mails} * kMailMs +
        uint64_t{b.controllerWaits} * kControllerWaitMs + uint64_t{b.eraseWaits} * kEraseWaitMs +
        uint64_t{b.chipErases} * kChipEraseMs + uint64_t{b.crcs} * kCrcMs + b.delaysMs;
    return std::chrono::milliseconds(ms);
}

std::chrono::milliseconds SessionBound(const FamilyInfo& family, uint32_t imageSize) {
    // The budget counts the host's own work and the transfers on the
    // pseudo-terminal as free; a quarter more and five seconds cover them
    // and a scheduler on a busy two-core machine.
    const auto worst = WorstCase(BudgetOf(family, imageSize));
    return worst + worst / 4 + std::chrono::seconds(5);
}

} // namespace campaign
