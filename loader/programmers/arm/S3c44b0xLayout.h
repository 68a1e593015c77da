// Where the S3C44B0X programmer erases, writes and verifies. The board keeps
// the 64 KB window 0x10000..0x1FFFF for itself: the programmer never erases,
// writes or verifies it. These are pure computations over the image's start
// and size and the flash's geometry.
#pragma once

#include <cstdint>
#include <vector>

constexpr uint32_t kS3c44b0xWindowFirst = 0x10000;
constexpr uint32_t kS3c44b0xWindowLast = 0x1FFFF;
// Bytes per programming mail: 1024 words.
constexpr uint32_t kS3c44b0xBlockBytes = 2048;

constexpr bool InS3c44b0xWindow(uint32_t address) {
    return address >= kS3c44b0xWindowFirst && address <= kS3c44b0xWindowLast;
}

struct S3c44b0xErase {
    bool block; // EXT_BLOCK_ERASE_REQ, else EXT_SECTOR_ERASE_REQ
    uint32_t address;
    bool operator==(const S3c44b0xErase&) const = default;
};

// The erase requests for start..start+size-1, in order, those in the window
// left out: from the sector that holds start, whole blocks (block size not 0)
// while a block starts on its boundary and ends below the image's end, and
// sectors for the rest. For an image starting on a block boundary this is
// block erases while A + block size < end, then sector erases while A < end.
// A start inside a block or sector still has the whole image erased.
std::vector<S3c44b0xErase> S3c44b0xErasePlan(uint32_t start, uint32_t size, uint32_t sectorSize,
                                             uint32_t blockSize);

// The image as it is written: widened at the front with 0xFF bytes to the
// 2 KB boundary below its start, so that no programming mail reaches across
// the window's edges. An image starting on such a boundary is written as it is.
struct S3c44b0xWritten {
    uint32_t start;
    uint32_t lead; // 0xFF bytes before the image
    uint32_t size; // lead + image size
};
S3c44b0xWritten S3c44b0xWrittenView(uint32_t start, uint32_t size);

// One verified range: the file CRC32 over count bytes from the written
// view's offset against CALC_CRC32_REQ over first..last.
struct S3c44b0xCrcRange {
    uint32_t offset;
    uint32_t count;
    uint32_t first;
    uint32_t last;
    bool operator==(const S3c44b0xCrcRange&) const = default;
};

// The written parts outside the window, each verified on its own: the part
// below the window and the part above it, either of them missing when the
// written view has none. count covers whole words (rounded up to even); the
// byte it may add past the view's end is the image buffer's spare 0xFF.
// An image at 0 longer than 0x20000 bytes gives 0, 0xFFFF and 0x20000,
// size - 1.
struct S3c44b0xCrcPlan {
    bool hasLow = false;
    S3c44b0xCrcRange low{};
    bool hasHigh = false;
    S3c44b0xCrcRange high{};
};
S3c44b0xCrcPlan S3c44b0xCrcRanges(const S3c44b0xWritten& written);
