// One line of Intel HEX text as a boot ROM reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vtarget {

enum HexRecordType : uint8_t {
    kHexData = 0x00,
    kHexEnd = 0x01,
    kHexSegmentAddress = 0x02,
    kHexSegmentStart = 0x03,
    kHexLinearAddress = 0x04,
    kHexLinearStart = 0x05,
};

struct HexRecord {
    uint8_t type = kHexData;
    uint16_t offset = 0;
    std::vector<uint8_t> data;
};

// A record without its line end: ':' then pairs of hex digits for count,
// offset (2 bytes), type, data and checksum. Nothing when it is malformed
// or the bytes do not sum to 0.
std::optional<HexRecord> ParseHexRecord(std::string_view line);

} // namespace vtarget
