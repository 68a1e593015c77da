// Images and indication sequences of whole-session tests: image pieces
// written as Intel HEX by srec_cat, and codes with the progress runs
// collapsed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestFiles.h"

// Bytes at an address of the image.
struct Piece {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

// One code per run of progress indications: their number depends on the image.
std::vector<uint16_t> Collapsed(const std::vector<uint16_t>& codes);

// dir/name.hex holding the pieces in 16-byte records; extra: more srec_cat
// output options.
std::string WriteHexImage(const testfiles::TempDir& dir, const std::string& name,
                          const std::vector<Piece>& pieces, const std::string& extra = "");
