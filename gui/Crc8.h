// The CRC-8 of the block protocol, the one published as CRC-8/MAXIM
// (Dallas): reflected polynomial 31h (8Ch), initial value 0, no final XOR.
// Bytes followed by their CRC give 0.
#pragma once

#include <cstdint>

namespace ombrel {

constexpr uint8_t Crc8Update(uint8_t crc, uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        const bool carry = (crc & 1) != 0;
        crc = static_cast<uint8_t>(crc >> 1);
        if (carry) {
            crc ^= 0x8C;
        }
    }
    return crc;
}

} // namespace ombrel
