// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320), computed the same
// way as the monitor on the target does, so that the two can be compared.
#pragma once

#include <cstdint>

uint32_t CalcCrc32(const uint8_t* bytes, uint32_t count);

// CRC32 of every byte of a file; 0 when the file cannot be opened.
uint32_t CalcFileCrc32(const char* name);

// Prints "%08lX" and eight backspaces, so that the next print overwrites it.
void PrintAddressInPlace(uint32_t value);
