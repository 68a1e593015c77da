#include "memory/FlashPair8.h"

#include "memory/AddressRanges.h"

#include <utility>

namespace vtarget {

FlashPair8::FlashPair8(uint8_t manufacturer, uint8_t device, const FlashTiming& timing,
                       KoltLog& log)
    : devices_{ByteFlash(kFlashPairDeviceSize, manufacturer, device, timing, log),
               ByteFlash(kFlashPairDeviceSize, manufacturer, device, timing, log)} {}

void FlashPair8::Read(uint32_t address, std::span<uint8_t> out) const {
    for (size_t i = 0; i < out.size(); ++i) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        out[i] = DeviceAt(at).ReadByte(OffsetOf(at));
    }
}

void FlashPair8::Write(uint32_t address, std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        DeviceAt(at).WriteByte(OffsetOf(at), bytes[i]);
    }
}

bool FlashPair8::Program(ProgramPath path, uint32_t address, std::span<const uint8_t> bytes) {
    if (path != ProgramPath::ExternalPair || address - Start() + bytes.size() > Size() ||
        devices_[0].Erasing() || devices_[1].Erasing()) {
        return false;
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint32_t at = address + static_cast<uint32_t>(i);
        DeviceAt(at).Program(OffsetOf(at), bytes[i]);
    }
    return true;
}

void FlashPair8::FlipBit(uint32_t address) {
    DeviceAt(address).FlipBit(OffsetOf(address));
}

// A device range k..k+n covers the bus bytes 2k..2k+2n of both lanes.
std::vector<AddressRange> FlashPair8::TouchedRanges() const {
    std::vector<AddressRange> ranges;
    for (const ByteFlash& device : devices_) {
        for (const AddressRange& local : device.TouchedRanges()) {
            ranges.push_back({Start() + 2 * local.start, 2 * local.size});
        }
    }
    return MergeRanges(std::move(ranges));
}

} // namespace vtarget
