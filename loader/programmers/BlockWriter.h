// The loop all programmers write an image with: the image is cut into
// blocks of a fixed number of units, each block that is not blank (all
// erased value) goes to the target in one programming mail, and progress
// indications mark the way. The variants differ in unit, block length,
// primitive and progress.
#pragma once

#include <cstdint>

enum class BlockUnit : uint8_t {
    Word, // two image bytes, low byte first; erased value 0xFFFF
    Byte, // one image byte; erased value 0xFF
};

enum class BlockPrimitive : uint8_t {
    IntFlashWords,   // PROG_INT_FLASH_REQ with a word count
    IntFlashBytes,   // PROG_INT_FLASH_REQ with a byte count
    ExtFlashWords,   // PROG_EXT_FLASH_REQ
    Ext2Flash8Words, // PROG_EXT_2FLASH8_REQ
};

// The progress indication after the walk.
enum class ClosingProgress : uint8_t {
    None,
    TailWords,           // when there is a tail: its address plus its length in 16-bit words
    ProgrammedTailWords, // the same, only when the tail was programmed
    TailEnd,             // when there is a tail: its address plus its length in bytes
    ImageEnd,            // always: image start plus size
};

struct BlockWriterVariant {
    BlockUnit unit;
    uint32_t blockUnits;
    BlockPrimitive primitive;
    // Progress before every Nth full block (the Nth, 2Nth, ...), blank or not.
    uint32_t progressEvery;
    ClosingProgress closing;
    // The block address counts words instead of bytes; progress then reports
    // twice the block address, its byte address.
    bool wordAddressing = false;
    // Blocks whose address lies in skipFirst..skipLast are never sent;
    // skipLast 0 means no such window.
    uint32_t skipFirst = 0;
    uint32_t skipLast = 0;
};

extern const BlockWriterVariant kKoltInternalBlocks;
extern const BlockWriterVariant kKoltExternalBlocks;
extern const BlockWriterVariant kKolt2x8Blocks;
extern const BlockWriterVariant kMervBlocks;
extern const BlockWriterVariant kAtmegaBlocks;
extern const BlockWriterVariant kMl675001Blocks;
extern const BlockWriterVariant kS3c44b0xBlocks;

// Writes size bytes of image (which must hold a spare 0xFF byte after an odd
// end) from address start. Returns 0, or the code of the first failing
// programming mail, at which point the walk has stopped; the caller reports.
uint32_t WriteBlocks(const BlockWriterVariant& variant, const uint8_t* image, uint32_t start,
                     uint32_t size);

// The 16-bit word at image offset, low byte first.
inline uint16_t ImageWord(const uint8_t* image, uint32_t offset) {
    return static_cast<uint16_t>(image[offset] | image[offset + 1] << 8);
}
