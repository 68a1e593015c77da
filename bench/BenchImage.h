// Intel HEX images for the session benchmarks: random data at a flash base,
// written as extended linear address records and 16-byte data records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

// One Intel HEX record line, with its checksum and a line feed.
std::string HexRecord(uint8_t type, uint16_t offset, const uint8_t* data, size_t count);

// dataShare: the share of 4 KiB stretches that hold random data; the rest
// are 0xFF, written as records all the same, so that a sparse image reads
// like a dense one and differs only in what goes to the board. Returns the
// share of the image that holds data.
double WriteHexImage(const std::string& path, uint32_t base, size_t size, double dataShare = 1.0);

} // namespace bench
