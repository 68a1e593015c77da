// Monitor images as our image generator lays them out, built here by hand:
// the 16-byte header ("UVXM", kind, layout 1, two zero bytes, size and a
// build tag, little endian) and filler; and the Intel HEX text of one, as
// the PC sends it to the ML675001 boot ROM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An image of the given size whose header declares the kind and
// declaredSize (by default its own size).
std::vector<uint8_t> MonitorImage(uint8_t kind, uint32_t size, int64_t declaredSize = -1);

uint8_t XorOf(const std::vector<uint8_t>& bytes);

// One extended linear address record for base, data records of up to 16
// bytes and the end record, each ending in CR LF. corruptRecord >= 0 gets
// a wrong checksum.
std::string HexText(const std::vector<uint8_t>& data, uint32_t base, int corruptRecord = -1);

std::vector<uint8_t> BytesOf(const std::string& text);
