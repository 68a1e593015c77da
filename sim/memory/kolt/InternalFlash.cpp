#include "memory/kolt/InternalFlash.h"

#include <algorithm>

namespace vtarget {

namespace {

constexpr uint32_t kUnlockAddress1 = 0x085554;
constexpr uint16_t kUnlockWord1 = 0xAAAA;
constexpr uint32_t kUnlockAddress2 = 0x08AAAA;
constexpr uint16_t kUnlockWord2 = 0x5555;
constexpr uint16_t kEraseStartWord = 0xFFFF;
constexpr uint16_t kSecondPassBit = 0x0080;

constexpr std::array<uint32_t, 3> kInfoBlockAddresses = {0x080002, 0x080008, 0x08000A};

bool IsEraseCommand(uint16_t command) {
    switch (command) {
    case kEraseFirstUnit0:
    case kEraseFirstOther:
    case kEraseSecondUnit0:
    case kEraseSecondOther:
        return true;
    default:
        return false;
    }
}

} // namespace

InternalFlash::InternalFlash(int units, FlashController& controller, KoltLog& log)
    : cells_(static_cast<uint32_t>(units) * kInternalUnitSize), controller_(controller), log_(log),
      passes_(static_cast<size_t>(units), 0) {}

void InternalFlash::Read(uint32_t address, std::span<uint8_t> out) const {
    cells_.Read(address - Start(), out);
}

void InternalFlash::Write(uint32_t address, std::span<const uint8_t> bytes) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        WriteWord(address + static_cast<uint32_t>(i),
                  static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8));
    }
}

void InternalFlash::WriteWord(uint32_t address, uint16_t value) {
    if (WriteInfoWord(address, value)) {
        return;
    }
    if (IsEraseCommand(controller_.Command())) {
        StepEraseSequence(address, value);
    }
}

bool InternalFlash::WriteInfoWord(uint32_t address, uint16_t value) {
    if (controller_.Command() != kFlashInfoBlock ||
        std::ranges::find(kInfoBlockAddresses, address) == kInfoBlockAddresses.end()) {
        return false;
    }
    // The info block is an array of its own beside the main array: its
    // addresses alias the image's first words but leave them alone.
    log_.infoBlockWrites.push_back({address, value});
    controller_.StepBusy();
    return true;
}

// The unlock words must come in order; anything else starts over.
void InternalFlash::StepEraseSequence(uint32_t address, uint16_t value) {
    if (address == kUnlockAddress1 && value == kUnlockWord1) {
        unlockStep_ = 1;
        controller_.StepBusy();
        return;
    }
    if (unlockStep_ == 1 && address == kUnlockAddress2 && value == kUnlockWord2) {
        unlockStep_ = 2;
        controller_.StepBusy();
        return;
    }
    const bool startsErase = unlockStep_ == 2 && value == kEraseStartWord &&
                             (address - Start()) % kInternalUnitSize == 0;
    unlockStep_ = 0;
    if (startsErase && CommandFitsUnit(controller_.Command(), address)) {
        EraseUnit(address, controller_.Command());
    }
}

// Commands 0x000B and 0x008B name the unit at 0x080000, the others any other.
bool InternalFlash::CommandFitsUnit(uint16_t command, uint32_t unitAddress) const {
    const bool firstUnit = unitAddress == Start();
    const bool commandForFirst = command == kEraseFirstUnit0 || command == kEraseSecondUnit0;
    return firstUnit == commandForFirst;
}

void InternalFlash::EraseUnit(uint32_t unitAddress, uint16_t command) {
    const uint32_t offset = unitAddress - Start();
    uint8_t& passes = passes_[offset / kInternalUnitSize];
    passes = (command & kSecondPassBit) ? (passes | kSecondPass) : kFirstPass;
    cells_.Erase(offset, kInternalUnitSize);
    controller_.EraseBusy();
}

bool InternalFlash::UnitsReady(uint32_t offset, uint64_t count) const {
    if (count == 0) {
        return true;
    }
    const uint64_t last = (offset + count - 1) / kInternalUnitSize;
    for (uint64_t unit = offset / kInternalUnitSize; unit <= last; ++unit) {
        if (passes_[unit] != kBothPasses) {
            return false;
        }
    }
    return true;
}

bool InternalFlash::Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) {
    const uint32_t offset = address - Start();
    if (path != ProgramPath::InternalFlash || controller_.Command() != kFlashProgram ||
        !cells_.Holds(offset, bytes.size()) || !UnitsReady(offset, bytes.size())) {
        return false;
    }
    log_.flashOverwrites += cells_.Program(offset, bytes);
    controller_.StepBusy();
    return true;
}

std::vector<AddressRange> InternalFlash::TouchedRanges() const {
    auto ranges = cells_.TouchedRanges();
    for (AddressRange& range : ranges) {
        range.start += Start();
    }
    return ranges;
}

} // namespace vtarget
