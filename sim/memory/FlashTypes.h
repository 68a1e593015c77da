// Geometry of the external 16-bit flash devices a board can carry, by the
// identity the device reports.
#pragma once

#include <cstdint>
#include <string_view>

namespace vtarget {

struct FlashGeometry {
    std::string_view name;
    uint16_t manufacturer;
    uint16_t device;
    uint32_t sectorSize;
    uint32_t blockSize; // 0: erased by sectors only
    uint32_t totalSize;
};

// The device with this identity; an identity not known here gets a
// 0x200000-byte device with 0x1000-byte sectors and 0x10000-byte blocks.
FlashGeometry FlashGeometryOf(uint16_t manufacturer, uint16_t device);

} // namespace vtarget
