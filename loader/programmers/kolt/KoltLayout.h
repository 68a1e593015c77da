// Arithmetic of the KOLT-family internal flash: how many segments an image
// occupies and which erase units it reaches.
#pragma once

#include <cstdint>
#include <vector>

// Internal flash base; the first erase unit starts here.
constexpr uint32_t kKoltFlashBase = 0x080000;
constexpr uint32_t kKoltEraseUnitSize = 0x40000;
// KOLT-A boards have four erase units, NILA-A, ORSK-A and PELD-A boards two.
constexpr uint32_t kKoltAEraseUnits = 4;
constexpr uint32_t kKoltSmallEraseUnits = 2;

// 0 for an empty image, else 1 plus the 128 KB limits (0x20000 to 0xE0000)
// the size reaches: 1 to 8.
uint32_t KoltSegmentCount(uint32_t size);

// Erase units, ascending, for an image of size bytes at start on a board
// with unitCount units. The extent (end - base) is taken modulo 2^32, so an
// image ending below the flash base reaches every unit.
std::vector<uint32_t> KoltEraseUnits(uint32_t start, uint32_t size, uint32_t unitCount);
