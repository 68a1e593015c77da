// The bytes of the window loader's block protocol as its device sees them:
// the reset sequence, block frames (7Eh, block number high and low, count,
// data, CRC-8) and acknowledgements (7Eh, block number, CRC-8).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace vtarget {

constexpr std::array<uint8_t, 11> kOmbrelResetSequence = {0x10, 0x00, 0x07, 0x00, 0x00, 0x00,
                                                          0x5D, 0x00, 0x00, 0x00, 0x5D};
constexpr uint8_t kOmbrelFrameStart = 0x7E;
constexpr uint16_t kOmbrelLastBlock = 0xFF00;
constexpr size_t kOmbrelHeaderSize = 4; // start, block number, count
constexpr size_t kOmbrelMaxData = 128;

// CRC-8/MAXIM: reflected polynomial 31h (8Ch), initial value 0, no final
// XOR. A frame followed by its CRC gives 0.
constexpr uint8_t OmbrelCrc8Update(uint8_t crc, uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        crc = (crc & 1) != 0 ? static_cast<uint8_t>((crc >> 1) ^ 0x8C)
                             : static_cast<uint8_t>(crc >> 1);
    }
    return crc;
}

constexpr uint8_t OmbrelCrc8(std::span<const uint8_t> bytes) {
    uint8_t crc = 0;
    for (const uint8_t byte : bytes) {
        crc = OmbrelCrc8Update(crc, byte);
    }
    return crc;
}

inline std::vector<uint8_t> OmbrelAcknowledgement(uint16_t block) {
    std::vector<uint8_t> ack = {kOmbrelFrameStart, static_cast<uint8_t>(block >> 8),
                                static_cast<uint8_t>(block & 0xFF)};
    ack.push_back(OmbrelCrc8(ack));
    return ack;
}

} // namespace vtarget
