#include "memory/merv/MervMemory.h"

#include "memory/AddressRanges.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vtarget {

namespace {

// Bytes from address to the next border between flash and RAM (or the top
// of the address space), at most wanted.
uint32_t PieceLength(uint32_t address, uint64_t wanted) {
    const uint64_t border = MervFlash::Contains(address) ? kMervFlashSize : uint64_t{1} << 32;
    return static_cast<uint32_t>(std::min<uint64_t>(wanted, border - address));
}

// Calls piece(address, offset, length, inFlash) for each run of count bytes
// from address that lies wholly in the flash or wholly outside it.
template <typename Piece>
void ForEachPiece(uint32_t address, uint64_t count, Piece&& piece) {
    for (uint64_t offset = 0; offset < count;) {
        const uint32_t n = PieceLength(address, count - offset);
        piece(address, static_cast<size_t>(offset), n, MervFlash::Contains(address));
        offset += n;
        address += n; // wraps at 4 GiB
    }
}

} // namespace

bool IsMervType(int targetType) {
    switch (targetType) {
    case 3:
    case 4:
    case 8:
    case 9:
    case 16:
        return true;
    default:
        return false;
    }
}

MervMemory::MervMemory(const FlashTiming& timing, std::optional<uint32_t> corruptWord)
    : controller_(timing), flash_(controller_, log_), corruptWord_(corruptWord) {}

void MervMemory::Read(uint32_t address, std::span<uint8_t> out) const {
    ForEachPiece(address, out.size(), [&](uint32_t at, size_t offset, uint32_t n, bool inFlash) {
        const auto piece = out.subspan(offset, n);
        if (!inFlash) {
            ram_.Read(at, piece);
            return;
        }
        ReadCode(at, piece);
        ReadRegisters(at, piece);
    });
}

void MervMemory::ReadCode(uint32_t address, std::span<uint8_t> out) const {
    if (!MervFlash::Contains(address)) {
        ram_.Read(address, out);
    } else if (flash_.ReadProtected()) {
        std::ranges::fill(out, uint8_t{0xFF});
    } else {
        flash_.Read(address, out);
    }
}

// The registers inside a piece of the flash's window: the controller shows
// its command and busy bits, the restart register reads 0.
void MervMemory::ReadRegisters(uint32_t address, std::span<uint8_t> out) const {
    if (kMervControlRegister - address < out.size()) {
        out[kMervControlRegister - address] = controller_.Shown();
    }
    if (kMervRestartRegister - address < out.size()) {
        out[kMervRestartRegister - address] = 0x00;
    }
}

void MervMemory::Write(uint32_t address, std::span<const uint8_t> bytes) {
    ForEachPiece(address, bytes.size(), [&](uint32_t at, size_t offset, uint32_t n, bool inFlash) {
        const auto piece = bytes.subspan(offset, n);
        if (!inFlash) {
            ram_.Write(at, piece);
            return;
        }
        for (uint32_t i = 0; i < n; ++i) {
            WriteByte(at + i, piece[i]);
        }
    });
}

void MervMemory::WriteByte(uint32_t address, uint8_t value) {
    if (address == kMervControlRegister) {
        log_.registerWrites.push_back({address, value});
        controller_.Write(value);
    } else if (address == kMervRestartRegister) {
        log_.registerWrites.push_back({address, value});
        WriteRestart(value);
    } else {
        flash_.WriteByte(address, value);
    }
}

void MervMemory::WriteRestart(uint8_t value) {
    if (value != kMervRestartCommand) {
        return;
    }
    flash_.Restarted();
    restart_ = kMervRestartAddress;
}

// The monitor programs the internal flash only.
bool MervMemory::Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) {
    if (path != ProgramPath::InternalFlash || !flash_.Program(address, bytes)) {
        return false;
    }
    if (corruptWord_ && *corruptWord_ - address < bytes.size()) {
        flash_.FlipBit(*corruptWord_);
    }
    return true;
}

void MervMemory::Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const {
    std::array<uint8_t, kVisitChunk> chunk;
    ForEachPiece(address, count, [&](uint32_t at, size_t, uint32_t n, bool) {
        for (uint32_t done = 0; done < n;) {
            const uint32_t size = std::min(n - done, kVisitChunk);
            const auto piece = std::span(chunk).first(size);
            ReadCode(at + done, piece);
            visit(piece);
            done += size;
        }
    });
}

void MervMemory::Peek(uint32_t address, std::span<uint8_t> out) const {
    ForEachPiece(address, out.size(), [&](uint32_t at, size_t offset, uint32_t n, bool inFlash) {
        const auto piece = out.subspan(offset, n);
        if (inFlash) {
            flash_.Read(at, piece);
        } else {
            ram_.Read(at, piece);
        }
    });
}

std::vector<AddressRange> MervMemory::WrittenRanges() const {
    auto ranges = ram_.WrittenRanges();
    const auto flash = flash_.TouchedRanges();
    ranges.insert(ranges.end(), flash.begin(), flash.end());
    return MergeRanges(std::move(ranges));
}

std::optional<uint32_t> MervMemory::TakeRestart() {
    return std::exchange(restart_, std::nullopt);
}

} // namespace vtarget
