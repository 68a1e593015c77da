#include "memory/merv/MervFlash.h"

namespace vtarget {

namespace {

struct Sector {
    uint32_t start;
    uint32_t size;
};

constexpr std::array<Sector, 4> kSectors = {Sector{0x00000, 0x08000}, Sector{0x08000, 0x18000},
                                            Sector{0x20000, 0x20000}, Sector{0x40000, 0x20000}};

constexpr uint32_t kUnlockAddress1 = 0x5555;
constexpr uint8_t kUnlockByte1 = 0xAA;
constexpr uint32_t kUnlockAddress2 = 0xAAAA;
constexpr uint8_t kUnlockByte2 = 0x55;
constexpr uint8_t kEraseStartByte = 0x55;
constexpr uint8_t kSecondPassBit = 0x40;

constexpr uint32_t kInfoFirst = 0x0002;
constexpr uint32_t kProtectionFirst = 0x0004;
constexpr uint8_t kProtectionSet = 0x00;

size_t SectorOf(uint32_t address) {
    size_t sector = 0;
    while (sector + 1 < kSectors.size() && address >= kSectors[sector + 1].start) {
        ++sector;
    }
    return sector;
}

} // namespace

MervFlash::MervFlash(MervController& controller, KoltLog& log)
    : cells_(kMervFlashSize), controller_(controller), log_(log) {
    infoBytes_.fill(0xFF);
}

void MervFlash::WriteByte(uint32_t address, uint8_t value) {
    if (controller_.Command() == kMervInfoBytes) {
        unlockStep_ = 0;
        WriteInfoByte(address, value);
        return;
    }
    StepUnlock(address, value);
}

void MervFlash::WriteInfoByte(uint32_t address, uint8_t value) {
    const uint32_t index = address - kInfoFirst;
    if (index >= infoBytes_.size()) {
        return;
    }
    uint8_t& cell = infoBytes_[index];
    if ((cell & value) != value) {
        ++log_.flashOverwrites;
    }
    cell &= value;
    log_.infoBlockWrites.push_back({address, value});
    controller_.StepBusy();
}

// The unlock bytes must come in order; anything else starts over.
void MervFlash::StepUnlock(uint32_t address, uint8_t value) {
    if (address == kUnlockAddress1 && value == kUnlockByte1) {
        unlockStep_ = 1;
        controller_.StepBusy();
        return;
    }
    if (unlockStep_ == 1 && address == kUnlockAddress2 && value == kUnlockByte2) {
        unlockStep_ = 2;
        controller_.StepBusy();
        return;
    }
    const size_t sector = SectorOf(address);
    const bool startsErase =
        unlockStep_ == 2 && value == kEraseStartByte && address == kSectors[sector].start;
    unlockStep_ = 0;
    if (startsErase && controller_.ErasesNow()) {
        EraseSector(sector);
    }
}

// Each pass clears the sector; only a first pass followed by a second one
// readies it for programming.
void MervFlash::EraseSector(size_t sector) {
    uint8_t& passes = sectorPasses_[sector];
    passes = (controller_.Command() & kSecondPassBit) ? (passes | kSecondPass) : kFirstPass;
    cells_.Erase(kSectors[sector].start, kSectors[sector].size);
    if (sector == 0) {
        infoBytes_.fill(0xFF);
        readProtected_ = false;
    }
    controller_.EraseBusy();
}

bool MervFlash::SectorsReady(uint32_t address, uint64_t count) const {
    if (count == 0) {
        return true;
    }
    const size_t last = SectorOf(static_cast<uint32_t>(address + count - 1));
    for (size_t sector = SectorOf(address); sector <= last; ++sector) {
        if (sectorPasses_[sector] != kBothPasses) {
            return false;
        }
    }
    return true;
}

bool MervFlash::Program(uint32_t address, std::span<const uint8_t> bytes) {
    if (controller_.Command() != kMervProgram || !cells_.Holds(address, bytes.size()) ||
        !SectorsReady(address, bytes.size())) {
        return false;
    }
    log_.flashOverwrites += cells_.Program(address, bytes);
    controller_.StepBusy();
    return true;
}

void MervFlash::Restarted() {
    const uint32_t index = kProtectionFirst - kInfoFirst;
    readProtected_ = infoBytes_[index] == kProtectionSet && infoBytes_[index + 1] == kProtectionSet;
}

} // namespace vtarget
