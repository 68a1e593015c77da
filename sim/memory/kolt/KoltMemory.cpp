#include "memory/kolt/KoltMemory.h"

#include "memory/AddressRanges.h"
#include "memory/ExternalFlash16.h"
#include "memory/FlashPair8.h"
#include "memory/kolt/InternalFlash.h"

#include <algorithm>
#include <array>

namespace vtarget {

namespace {

// Reset values; the bus configuration has bits 6..8 set so that the PC's
// clearing of them shows.
constexpr uint16_t kBusConfigReset = 0x01C0;

constexpr uint32_t kExternalFlashBase = 0x080000;

} // namespace

KoltMemory::KoltMemory(const KoltSetup& setup) : corruptWord_(setup.corruptWord) {
    parts_.push_back(std::make_unique<IdentityBytes>(setup.identity));
    AddRegister(kBusConfigRegister, kBusConfigReset);
    AddRegister(kBusTiming1Register, 0x0000);
    AddRegister(kBusTiming2Register, 0x0000);
    AddRegister(kFlashConfigRegister, 0x0000);
    const WordRegister& bootAddress = AddRegister(kBootAddressRegister, 0x0000);
    auto restart = std::make_unique<RestartRegister>(bootAddress, log_);
    restart_ = restart.get();
    parts_.push_back(std::move(restart));
    auto controller = std::make_unique<FlashController>(setup.timing, log_);
    controller_ = controller.get();
    parts_.push_back(std::move(controller));
    AddFlash(setup);
}

WordRegister& KoltMemory::AddRegister(uint32_t address, uint16_t resetValue) {
    auto part = std::make_unique<WordRegister>(address, resetValue, log_);
    WordRegister& added = *part;
    parts_.push_back(std::move(part));
    return added;
}

void KoltMemory::AddFlash(const KoltSetup& setup) {
    std::unique_ptr<MappedPart> flash;
    switch (setup.mode) {
    case KoltFlashMode::Internal:
        flash = std::make_unique<InternalFlash>(setup.internalUnits, *controller_, log_);
        break;
    case KoltFlashMode::External16:
        flash = std::make_unique<ExternalFlash16>(
            FlashGeometryOf(setup.flashManufacturer, setup.flashDevice), kExternalFlashBase, log_);
        break;
    case KoltFlashMode::Pair8:
        flash = std::make_unique<FlashPair8>(setup.pairManufacturer, setup.pairDevice, setup.timing,
                                             log_);
        break;
    }
    flash_ = flash.get();
    parts_.push_back(std::move(flash));
}

MappedPart* KoltMemory::PartAt(uint32_t address) const {
    for (const auto& part : parts_) {
        if (part->Contains(address)) {
            return part.get();
        }
    }
    return nullptr;
}

uint32_t KoltMemory::RamPiece(uint32_t address, uint64_t wanted) const {
    uint64_t piece = std::min<uint64_t>(wanted, (uint64_t{1} << 32) - address);
    for (const auto& part : parts_) {
        if (part->Start() > address) {
            piece = std::min<uint64_t>(piece, part->Start() - address);
        }
    }
    return static_cast<uint32_t>(piece);
}

uint32_t KoltMemory::PartPiece(const MappedPart& part, uint32_t address, uint64_t wanted) {
    return static_cast<uint32_t>(std::min<uint64_t>(wanted, part.End() - address));
}

void KoltMemory::Read(uint32_t address, std::span<uint8_t> out) const {
    while (!out.empty()) {
        const MappedPart* part = PartAt(address);
        const uint32_t n =
            part ? PartPiece(*part, address, out.size()) : RamPiece(address, out.size());
        if (part) {
            part->Read(address, out.first(n));
        } else {
            ram_.Read(address, out.first(n));
        }
        out = out.subspan(n);
        address += n; // wraps at 4 GiB
    }
}

void KoltMemory::Write(uint32_t address, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        MappedPart* part = PartAt(address);
        const uint32_t n =
            part ? PartPiece(*part, address, bytes.size()) : RamPiece(address, bytes.size());
        if (part) {
            part->Write(address, bytes.first(n));
        } else {
            ram_.Write(address, bytes.first(n));
        }
        bytes = bytes.subspan(n);
        address += n;
    }
}

// The monitor programs flash only: an address outside the flash is refused.
bool KoltMemory::Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) {
    if (!flash_->Contains(address) || !flash_->Program(path, address, bytes)) {
        return false;
    }
    CorruptIfProgrammed(*flash_, address, bytes.size());
    return true;
}

void KoltMemory::CorruptIfProgrammed(MappedPart& part, uint32_t address, size_t count) {
    if (corruptWord_ && *corruptWord_ - address < count) {
        part.FlipBit(*corruptWord_);
    }
}

bool KoltMemory::Erase(EraseScope scope, uint32_t address) {
    if (scope != EraseScope::Chip && !flash_->Contains(address)) {
        return false;
    }
    return flash_->Erase(scope, address);
}

void KoltMemory::Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const {
    std::array<uint8_t, kVisitChunk> chunk;
    while (count > 0) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, kVisitChunk));
        Read(address, std::span(chunk).first(n));
        visit(std::span<const uint8_t>(chunk).first(n));
        count -= n;
        address += n;
    }
}

std::vector<AddressRange> KoltMemory::WrittenRanges() const {
    auto ranges = ram_.WrittenRanges();
    const auto flash = flash_->TouchedRanges();
    ranges.insert(ranges.end(), flash.begin(), flash.end());
    return MergeRanges(std::move(ranges));
}

void KoltMemory::SetCommandAddresses(const std::array<uint32_t, 3>& addresses) {
    flash_->MoveTo(addresses[0]);
}

std::optional<uint32_t> KoltMemory::TakeRestart() {
    return restart_->TakeRestart();
}

} // namespace vtarget
