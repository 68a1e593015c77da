// Layout of the monitor images this project generates in place of target
// firmware. Every image starts with a 16-byte header by which the virtual
// board knows which monitor it received; the rest is deterministic filler.
// The header is plain data so that both the library and vtarget read it.
//
//   offset 0   4 bytes  magic "UVXM"
//   offset 4   1 byte   kind: 0..6 binary images, 7 the ML675001 monitor
//   offset 5   1 byte   layout version, 1
//   offset 6   2 bytes  0
//   offset 8   4 bytes  image size in bytes, little endian (for kind 7 the
//                       5708 data bytes the HEX text carries)
//   offset 12  4 bytes  build tag, little endian: free for the maker of an
//                       image, so that tests can tell two images apart
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace monitors {

constexpr std::array<uint8_t, 4> kMagic = {'U', 'V', 'X', 'M'};
constexpr size_t kHeaderSize = 16;
constexpr uint8_t kLayoutVersion = 1;

// The binary kinds 0..6 and the HEX monitor of the ML675001.
constexpr uint8_t kMl675001Kind = 7;
constexpr size_t kKindCount = 8;

// Sizes the boot loaders take: bytes of the binary kinds, data bytes of the
// HEX monitor.
constexpr std::array<uint32_t, kKindCount> kImageSizes = {2252, 2848, 2264, 7576,
                                                          2256, 2324, 4648, 5708};
// The ML675001 monitor as text: records and characters, CR LF line ends.
constexpr uint32_t kMl675001DataRecords = 357;
constexpr uint32_t kMl675001TextSize = 16087;

struct MonitorHeader {
    uint8_t kind = 0;
    uint32_t size = 0;
    uint32_t buildTag = 0;
};

constexpr uint32_t ReadLe32(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// The header of an image, if it carries one of a known kind and layout.
constexpr std::optional<MonitorHeader> ParseMonitorHeader(std::span<const uint8_t> image) {
    if (image.size() < kHeaderSize) {
        return std::nullopt;
    }
    for (size_t i = 0; i < kMagic.size(); ++i) {
        if (image[i] != kMagic[i]) {
            return std::nullopt;
        }
    }
    if (image[4] >= kKindCount || image[5] != kLayoutVersion || image[6] != 0 || image[7] != 0) {
        return std::nullopt;
    }
    return MonitorHeader{image[4], ReadLe32(image, 8), ReadLe32(image, 12)};
}

} // namespace monitors
