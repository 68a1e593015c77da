// Sparse RAM: 4 KiB pages allocated on first write; unwritten bytes read 0xFF.
#pragma once

#include "memory/MemoryModel.h"

#include <array>
#include <map>
#include <memory>

namespace vtarget {

class RamMemory final : public MemoryModel {
  public:
    static constexpr uint32_t kPageSize = 4096;

    void Read(uint32_t address, std::span<uint8_t> out) const override;
    void Write(uint32_t address, std::span<const uint8_t> bytes) override;
    bool Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) override;
    bool Erase(EraseScope scope, uint32_t address) override;
    void Visit(uint32_t address, uint64_t count, const PieceVisitor& visit) const override;
    std::vector<AddressRange> WrittenRanges() const override;

  private:
    using Page = std::array<uint8_t, kPageSize>;
    const Page& PageAt(uint32_t address) const;
    Page& WritablePageAt(uint32_t address);

    std::map<uint32_t, std::unique_ptr<Page>> pages_; // by page number
};

} // namespace vtarget
