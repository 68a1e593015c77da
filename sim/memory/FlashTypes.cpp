#include "memory/FlashTypes.h"

#include <array>

namespace vtarget {

namespace {

constexpr std::array<FlashGeometry, 7> kKnownDevices = {{
    {"SST SST39xF200A", 0x00BF, 0x2789, 0x1000, 0, 0x40000},
    {"SST SST39xF400A", 0x00BF, 0x2780, 0x1000, 0, 0x80000},
    {"SST SST39xF800A", 0x00BF, 0x2781, 0x1000, 0, 0x100000},
    {"SST SST39VF1601", 0x00BF, 0x234B, 0x1000, 0x10000, 0x200000},
    {"MACRONIC MX29LV160(A)T", 0x00C2, 0x22C4, 0x10000, 0, 0x200000},
    {"MACRONIC MX29LV160(A)B", 0x00C2, 0x2249, 0x10000, 0, 0x200000},
    {"SST SST39VF160", 0x00BF, 0x2782, 0x1000, 0x10000, 0x200000},
}};

} // namespace

FlashGeometry FlashGeometryOf(uint16_t manufacturer, uint16_t device) {
    for (const FlashGeometry& known : kKnownDevices) {
        if (known.manufacturer == manufacturer && known.device == device) {
            return known;
        }
    }
    return {"unknown", manufacturer, device, 0x1000, 0x10000, 0x200000};
}

} // namespace vtarget
