// The external flash devices the flash programmers know, found by the
// identity (manufacturer code, device id) the target reports for its flash.
#pragma once

#include <cstdint>

struct FlashTypeEntry {
    const char* name; // at most 25 characters
    uint16_t manufacturer;
    uint16_t device;
    uint32_t sectorSize;
    uint32_t blockSize; // 0: the device erases by sectors only
    uint32_t totalSize;
};

constexpr int kFlashTypeCount = 7;
extern const FlashTypeEntry FlashTypeTable[kFlashTypeCount];

// Row of the device in FlashTypeTable, or -1 when it is not there.
int16_t FindFlashType(uint16_t manufacturer, uint16_t device);
