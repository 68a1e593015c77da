// Two 8-bit flash devices side by side on the 16-bit bus at 0x080000: the
// device on the even bytes and the one on the odd bytes. A device's own
// offset k lies at bus address 0x080000 + 2k (+1 for the odd device).
#pragma once

#include "memory/ByteFlash.h"
#include "memory/MappedPart.h"

#include <array>

namespace vtarget {

constexpr uint32_t kFlashPairBase = 0x080000;
constexpr uint32_t kFlashPairDeviceSize = 0x80000; // each device

class FlashPair8 final : public MappedPart {
  public:
    FlashPair8(uint8_t manufacturer, uint8_t device, const FlashTiming& timing, KoltLog& log);

    uint32_t Start() const override { return kFlashPairBase; }
    uint32_t Size() const override { return 2 * kFlashPairDeviceSize; }
    void Read(uint32_t address, std::span<uint8_t> out) const override;
    void Write(uint32_t address, std::span<const uint8_t> bytes) override;
    // PROG_EXT_2FLASH8: the low byte of each word to the even device, the
    // high byte to the odd one. Refused while either device erases.
    bool Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) override;
    void FlipBit(uint32_t address) override;
    std::vector<AddressRange> TouchedRanges() const override;

  private:
    ByteFlash& DeviceAt(uint32_t address) { return devices_[(address - Start()) & 1]; }
    const ByteFlash& DeviceAt(uint32_t address) const { return devices_[(address - Start()) & 1]; }
    uint32_t OffsetOf(uint32_t address) const { return (address - Start()) >> 1; }

    std::array<ByteFlash, 2> devices_; // even, odd
};

} // namespace vtarget
