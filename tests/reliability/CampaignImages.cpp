#include "CampaignImages.h"

#include "TestFiles.h"

#include <stdexcept>
#include <zlib.h>

namespace campaign {

namespace {

constexpr uint32_t kFirstPiece = 0x1800;
constexpr uint32_t kSecondPiece = 0x1001;  // odd: the image ends in half a word
constexpr uint32_t kSectorWindow = 0x1000; // sector of the KOLT board's default flash
constexpr uint32_t kS3cHighRange = 0x20000;

uint32_t Crc32(const uint8_t* data, size_t size) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), data, static_cast<uInt>(size)));
}

// The PC's CRC over a range: word-counting families add the 0xFF that
// follows an odd range.
uint32_t FileCrc(const Image& image, ImageRange range, bool roundUpToEven) {
    std::vector<uint8_t> bytes(image.bytes.begin() + range.offset,
                               image.bytes.begin() + range.offset + range.length);
    if (roundUpToEven && bytes.size() % 2 != 0) {
        bytes.push_back(0xFF);
    }
    return Crc32(bytes.data(), bytes.size());
}

std::string WriteHex(const std::string& dir, const std::string& name, uint32_t base,
                     const std::vector<std::vector<uint8_t>>& pieces,
                     const std::vector<uint32_t>& offsets) {
    std::string command = ULVEX_SREC_CAT;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::string bin = dir + "/" + name + "-" + std::to_string(i) + ".bin";
        testfiles::WriteBytes(bin, pieces[i]);
        command += " " + bin + " -binary -offset " + std::to_string(base + offsets[i]);
    }
    const std::string hex = dir + "/" + name + ".hex";
    const auto result =
        testfiles::RunCommand(command + " -o " + hex + " -intel -output_block_size=16");
    if (result.exitCode != 0) {
        throw std::runtime_error("srec_cat failed: " + result.output);
    }
    return hex;
}

} // namespace

Image MakeImage(const FamilyInfo& family, uint32_t seed, const std::string& dir) {
    const uint32_t salt = seed * 131u + static_cast<uint32_t>(family.targetType);
    const std::vector<std::vector<uint8_t>> pieces = {testfiles::RandomBytes(kFirstPiece, salt),
                                                      testfiles::RandomBytes(kSecondPiece, ~salt)};
    const std::vector<uint32_t> offsets = {0, family.secondPieceOffset};
    Image image;
    image.base = family.imageBase;
    image.bytes.assign(family.secondPieceOffset + kSecondPiece, 0xFF);
    for (size_t i = 0; i < pieces.size(); ++i) {
        std::copy(pieces[i].begin(), pieces[i].end(), image.bytes.begin() + offsets[i]);
    }
    const std::string name =
        "type" + std::to_string(family.targetType) + "-seed" + std::to_string(seed);
    image.hexPath = WriteHex(dir, name, image.base, pieces, offsets);
    return image;
}

std::vector<VouchedRange> VouchedRanges(const FamilyInfo& family, const Image& image) {
    const auto size = static_cast<uint32_t>(image.bytes.size());
    std::vector<ImageRange> ranges;
    bool roundUp = true;
    switch (family.verification) {
    case Verification::WholeImage:
        ranges.push_back({0, size});
        break;
    case Verification::WholeImageOdd:
        ranges.push_back({0, size});
        roundUp = false;
        break;
    case Verification::SectorWindows:
        for (uint32_t at = 0; at + kSectorWindow <= size; at += kSectorWindow) {
            ranges.push_back({at, kSectorWindow});
        }
        break;
    case Verification::AboveTheWindow:
        ranges.push_back({kS3cHighRange, size - kS3cHighRange});
        break;
    }
    std::vector<VouchedRange> vouched;
    for (const ImageRange& r : ranges) {
        vouched.push_back({r, FileCrc(image, r, roundUp)});
    }
    return vouched;
}

uint32_t BlockCount(const FamilyInfo& family, uint32_t imageSize) {
    uint32_t blockBytes = 512; // 256 words (KOLT) or 512 bytes (MERV)
    if (family.family == Family::Atmega) {
        blockBytes = 256;
    } else if (family.family == Family::Ml675001 || family.family == Family::S3c44b0x) {
        blockBytes = 2048;
    }
    return (imageSize + blockBytes - 1) / blockBytes;
}

} // namespace campaign
