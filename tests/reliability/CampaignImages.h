// The images the campaign programs: two random pieces with a blank gap
// between them, written as Intel HEX by srec_cat, and the address ranges a
// family's CRC_OK_IND vouches for.
#pragma once

#include "CampaignPlan.h"

#include <cstdint>
#include <string>
#include <vector>

namespace campaign {

struct Image {
    uint32_t base = 0;
    std::vector<uint8_t> bytes; // lowest to highest address, gaps 0xFF
    std::string hexPath;
};

// Builds the image of a family and seed and writes its HEX file into dir.
Image MakeImage(const FamilyInfo& family, uint32_t seed, const std::string& dir);

// A stretch of the image, as offsets from its base.
struct ImageRange {
    uint32_t offset = 0;
    uint32_t length = 0;
};

// The ranges a CRC_OK_IND of the family can stand for, each with the CRC32
// the PC computes over it (a word-counting family pads an odd range with
// 0xFF, as the PC does).
struct VouchedRange {
    ImageRange range;
    uint32_t fileCrc = 0;
};
std::vector<VouchedRange> VouchedRanges(const FamilyInfo& family, const Image& image);

// Every whole block of the family's block writer, the tail counted as one.
uint32_t BlockCount(const FamilyInfo& family, uint32_t imageSize);

} // namespace campaign
