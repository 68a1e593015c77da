// Hostile Intel HEX files, written at run time: too large to keep in the
// source tree, or taken from a real tool's output and then damaged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reliability {

// One record as text, checksum included, without a line end.
std::string HexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data);

constexpr const char* kEndRecord = ":00000001FF";

// A file of `count` 16-byte data records that run through the first `span`
// bytes of memory again and again (span a multiple of 16; type 04 records
// above 64 KiB), each record separated from the next by `separator`, then
// the end record. Each pass writes other bytes, so only the last one
// survives; the result is that image.
std::vector<uint8_t> WriteCyclingRecords(const std::string& path, size_t count, uint32_t span,
                                         char separator);

// Intel HEX of the bytes at address as srec_cat writes it (type 04 records).
void WriteSrecCatHex(const std::string& dir, const std::string& name, uint32_t address,
                     const std::vector<uint8_t>& bytes);

// srec_cat's file of two 16-byte pieces, one at 0 and one at `high`.
void WriteTwoPieces(const std::string& dir, const std::string& name, uint32_t high);

} // namespace reliability
