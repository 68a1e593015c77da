#include "image/Crc32.h"

#include <array>
#include <cstdio>

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320; // IEEE 802.3, reflected
constexpr size_t kFileChunk = 64 * 1024;

// Entry i is the reflected CRC of the byte i; built by the compiler.
constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ kPolynomial : crc >> 1;
        }
        table[i] = crc;
    }
    return table;
}
constexpr std::array<uint32_t, 256> kTable = MakeTable();

// One step per byte on the running (not yet inverted) register.
inline uint32_t Update(uint32_t crc, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        crc = kTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    }
    return crc;
}

} // namespace

uint32_t CalcCrc32(const uint8_t* bytes, uint32_t count) {
    return Update(0xFFFFFFFF, bytes, count) ^ 0xFFFFFFFF;
}

uint32_t CalcFileCrc32(const char* name) {
    FILE* file = fopen(name, "rb");
    if (file == nullptr) {
        return 0;
    }
    uint8_t chunk[kFileChunk];
    uint32_t crc = 0xFFFFFFFF;
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) != 0) {
        crc = Update(crc, chunk, n);
    }
    fclose(file);
    return crc ^ 0xFFFFFFFF;
}

void PrintAddressInPlace(uint32_t value) {
    // The backspaces move the cursor back over the eight digits, so the next
    // address overwrites this one.
    printf("%08lX%c%c%c%c%c%c%c%c", static_cast<unsigned long>(value), 8, 8, 8, 8, 8, 8, 8, 8);
}
