#include "memory/arm/ArmMemory.h"

#include "memory/AddressRanges.h"

#include <algorithm>

namespace vtarget {

namespace {

constexpr uint32_t kMl675001FlashBase = 0xC8000000;
constexpr uint32_t kS3c44b0xFlashBase = 0x00000000;
constexpr uint32_t kWindowFirst = 0x10000;
constexpr uint64_t kWindowEnd = 0x20000;
// Byte addresses of the flash words 0x2AAA and 0x5555 above its base.
constexpr uint32_t kCommandOffset2AAA = 0x5554;
constexpr uint32_t kCommandOffset5555 = 0xAAAA;
constexpr uint64_t kAddressSpace = uint64_t{1} << 32;

} // namespace

ArmMemory::ArmMemory(const ArmSetup& setup)
    : flash_(setup.geometry, setup.flashBase, log_), geometry_(setup.geometry),
      protectedWindow_(setup.protectedWindow), corruptByte_(setup.corruptByte) {}

uint32_t ArmMemory::Piece(uint32_t address, uint64_t wanted) const {
    uint64_t limit = kAddressSpace;
    if (flash_.Contains(address)) {
        limit = flash_.End();
    } else if (address < flash_.Start()) {
        limit = flash_.Start();
    }
    return static_cast<uint32_t>(std::min<uint64_t>(wanted, limit - address));
}

void ArmMemory::Read(uint32_t address, std::span<uint8_t> out) const {
    while (!out.empty()) {
        const uint32_t n = Piece(address, out.size());
        if (flash_.Contains(address)) {
            flash_.Read(address, out.first(n));
        } else {
            ram_.Read(address, out.first(n));
        }
        out = out.subspan(n);
        address += n; // wraps at 4 GiB
    }
}

// Plain writes do not reach the flash: it takes commands only.
void ArmMemory::Write(uint32_t address, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const uint32_t n = Piece(address, bytes.size());
        if (!flash_.Contains(address)) {
            ram_.Write(address, bytes.first(n));
        }
        bytes = bytes.subspan(n);
        address += n;
    }
}

bool ArmMemory::Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) {
    CountIfInWindow(address, bytes.size());
    if (!commandsReachFlash_ || !flash_.Contains(address) ||
        !flash_.Program(path, address, bytes)) {
        return false;
    }
    if (corruptByte_ && *corruptByte_ - address < bytes.size()) {
        flash_.FlipBit(*corruptByte_);
    }
    return true;
}

bool ArmMemory::Erase(EraseScope scope, uint32_t address) {
    const auto extent = EraseExtent(scope, address);
    CountIfInWindow(extent ? extent->start : address, extent ? extent->size : 1);
    if (!commandsReachFlash_ || !extent) {
        return false;
    }
    return flash_.Erase(scope, address);
}

std::optional<AddressRange> ArmMemory::EraseExtent(EraseScope scope, uint32_t address) const {
    if (scope == EraseScope::Chip) {
        return AddressRange{flash_.Start(), flash_.Size()};
    }
    const uint32_t unit = scope == EraseScope::Sector ? geometry_.sectorSize : geometry_.blockSize;
    if (unit == 0 || !flash_.Contains(address)) {
        return std::nullopt;
    }
    const uint32_t offset = address - flash_.Start();
    return AddressRange{flash_.Start() + (offset - offset % unit), unit};
}

void ArmMemory::CountIfInWindow(uint64_t start, uint64_t count) {
    if (protectedWindow_ && count != 0 && start < kWindowEnd && start + count > kWindowFirst) {
        ++windowFaults_;
    }
}

void ArmMemory::Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const {
    std::array<uint8_t, kVisitChunk> chunk;
    while (count > 0) {
        const auto n = static_cast<uint32_t>(std::min<uint64_t>(count, kVisitChunk));
        Read(address, std::span(chunk).first(n));
        visit(std::span<const uint8_t>(chunk).first(n));
        count -= n;
        address += n;
    }
}

std::vector<AddressRange> ArmMemory::WrittenRanges() const {
    auto ranges = ram_.WrittenRanges();
    const auto flash = flash_.TouchedRanges();
    ranges.insert(ranges.end(), flash.begin(), flash.end());
    return MergeRanges(std::move(ranges));
}

void ArmMemory::SetCommandAddresses(const std::array<uint32_t, 3>& addresses) {
    const uint32_t base = flash_.Start();
    commandsReachFlash_ = addresses == std::array<uint32_t, 3>{base, base + kCommandOffset2AAA,
                                                               base + kCommandOffset5555};
}

bool IsArmBoardType(int targetType) {
    return targetType == 14 || targetType == 15 || targetType == 18 || targetType == 22;
}

std::unique_ptr<MemoryModel> MakeArmMemory(const BoardOptions& options, uint16_t flashManufacturer,
                                           uint16_t flashDevice) {
    ArmSetup setup;
    const bool s3c44b0x = options.targetType == 18 || options.targetType == 22;
    setup.flashBase = s3c44b0x ? kS3c44b0xFlashBase : kMl675001FlashBase;
    setup.geometry = FlashGeometryOf(flashManufacturer, flashDevice);
    setup.protectedWindow = s3c44b0x;
    setup.corruptByte = options.corruptWord;
    return std::make_unique<ArmMemory>(setup);
}

} // namespace vtarget
