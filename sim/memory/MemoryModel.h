// The board's 32-bit byte address space as the monitor sees it. Plain RAM
// is one model; flash devices with erase and programming rules plug in
// behind the same interface.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace vtarget {

// Which programming request reached the memory.
enum class ProgramPath { InternalFlash, ExternalFlash, ExternalPair };

enum class EraseScope { Sector, Block, Chip };

struct AddressRange {
    uint32_t start = 0;
    uint32_t size = 0;
};

class MemoryModel {
  public:
    virtual ~MemoryModel() = default;

    // Addresses wrap at 4 GiB in all of these.
    virtual void Read(uint32_t address, std::span<uint8_t> out) const = 0;
    virtual void Write(uint32_t address, std::span<const uint8_t> bytes) = 0;
    // False when the device refuses; the monitor answers status 0 then.
    virtual bool Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) = 0;
    virtual bool Erase(EraseScope scope, uint32_t address) = 0;

    // Hands start..start+count-1 to visit in contiguous pieces without
    // copying, for checksums over large ranges.
    using PieceVisitor = std::function<void(std::span<const uint8_t>)>;
    // Models that compute their bytes hand them to the visitor this many at
    // a time.
    static constexpr uint32_t kVisitChunk = 4096;
    virtual void Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const = 0;

    // What the memory holds, as tests and the dump see it: flash cells
    // beneath registers that share their addresses and beneath a read
    // protection. The same as Read unless a model has those.
    virtual void Peek(uint32_t address, std::span<uint8_t> out) const { Read(address, out); }

    // Every range ever written, ascending and disjoint: what a dump covers.
    virtual std::vector<AddressRange> WrittenRanges() const = 0;

    // The three addresses of SET_FLASH_PROG_CMD_ADDRESS_REQ: the external
    // flash's base and its two command addresses.
    virtual void SetCommandAddresses(const std::array<uint32_t, 3>& /*addresses*/) {}
    // Flash bytes programmed over bits that were not erased; 0 without flash.
    virtual uint64_t FlashOverwrites() const { return 0; }
    // The start address of a restart the PC ordered since the last call.
    virtual std::optional<uint32_t> TakeRestart() { return std::nullopt; }
};

} // namespace vtarget
