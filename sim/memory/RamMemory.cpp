#include "memory/RamMemory.h"

#include <algorithm>
#include <cstring>

namespace vtarget {

namespace {

constexpr uint32_t kPageShift = 12;
static_assert(RamMemory::kPageSize == 1u << kPageShift);

// Bytes from address to the end of its page, at most `wanted`.
uint32_t PieceSize(uint32_t address, uint64_t wanted) {
    const uint32_t left = RamMemory::kPageSize - (address & (RamMemory::kPageSize - 1));
    return static_cast<uint32_t>(std::min<uint64_t>(left, wanted));
}

} // namespace

const RamMemory::Page& RamMemory::PageAt(uint32_t address) const {
    static const Page erased = [] {
        Page page;
        page.fill(0xFF);
        return page;
    }();
    const auto it = pages_.find(address >> kPageShift);
    return it == pages_.end() ? erased : *it->second;
}

RamMemory::Page& RamMemory::WritablePageAt(uint32_t address) {
    auto& page = pages_[address >> kPageShift];
    if (!page) {
        page = std::make_unique<Page>();
        page->fill(0xFF);
    }
    return *page;
}

void RamMemory::Read(uint32_t address, std::span<uint8_t> out) const {
    Visit(address, out.size(), [&out](std::span<const uint8_t> piece) {
        std::memcpy(out.data(), piece.data(), piece.size());
        out = out.subspan(piece.size());
    });
}

void RamMemory::Write(uint32_t address, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const uint32_t n = PieceSize(address, bytes.size());
        std::memcpy(WritablePageAt(address).data() + (address & (kPageSize - 1)), bytes.data(), n);
        bytes = bytes.subspan(n);
        address += n; // wraps at 4 GiB
    }
}

// RAM takes programming data like any write and has nothing to erase.
bool RamMemory::Program(ProgramPath, uint32_t address, std::span<const uint8_t> bytes) {
    Write(address, bytes);
    return true;
}

bool RamMemory::Erase(EraseScope, uint32_t) {
    return true;
}

void RamMemory::Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const {
    while (count > 0) {
        const uint32_t n = PieceSize(address, count);
        visit(std::span<const uint8_t>(PageAt(address).data() + (address & (kPageSize - 1)), n));
        count -= n;
        address += n;
    }
}

std::vector<AddressRange> RamMemory::WrittenRanges() const {
    std::vector<AddressRange> ranges;
    for (const auto& [number, page] : pages_) {
        ranges.push_back({number << kPageShift, kPageSize});
    }
    return ranges;
}

} // namespace vtarget
