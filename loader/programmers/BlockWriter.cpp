#include "programmers/BlockWriter.h"

#include "frame/Indication.h"
#include "link/Primitives.h"

#include <vector>

const BlockWriterVariant kKoltInternalBlocks = {BlockUnit::Word, 256, BlockPrimitive::IntFlashWords,
                                                1, ClosingProgress::TailWords};
const BlockWriterVariant kKoltExternalBlocks = {BlockUnit::Word, 256, BlockPrimitive::ExtFlashWords,
                                                1, ClosingProgress::ProgrammedTailWords};
const BlockWriterVariant kKolt2x8Blocks = {BlockUnit::Word, 256, BlockPrimitive::Ext2Flash8Words, 1,
                                           ClosingProgress::ProgrammedTailWords};
const BlockWriterVariant kMervBlocks = {BlockUnit::Byte, 512, BlockPrimitive::IntFlashBytes, 1,
                                        ClosingProgress::TailEnd};
const BlockWriterVariant kAtmegaBlocks = {
    BlockUnit::Word, 128, BlockPrimitive::IntFlashWords, 8, ClosingProgress::ImageEnd, true};
const BlockWriterVariant kMl675001Blocks = {BlockUnit::Word, 1024, BlockPrimitive::ExtFlashWords, 4,
                                            ClosingProgress::ImageEnd};
const BlockWriterVariant kS3c44b0xBlocks = {
    BlockUnit::Word, 1024,   BlockPrimitive::ExtFlashWords, 4, ClosingProgress::ImageEnd, false,
    0x10000,         0x1FFFF};

namespace {

// One walk over the image: the block being filled and where it goes.
class BlockWalk {
  public:
    BlockWalk(const BlockWriterVariant& variant, uint32_t start)
        : variant_(variant), address_(start) {
        words_.reserve(variant.blockUnits);
        bytes_.reserve(variant.blockUnits);
    }

    // Appends the unit at image offset; returns the image bytes it took.
    uint32_t Append(const uint8_t* image, uint32_t offset) {
        if (variant_.unit == BlockUnit::Byte) {
            bytes_.push_back(image[offset]);
            blank_ = blank_ && image[offset] == 0xFF;
            return 1;
        }
        const uint16_t word = ImageWord(image, offset);
        words_.push_back(word);
        blank_ = blank_ && word == 0xFFFF;
        return 2;
    }

    uint32_t Units() const {
        return static_cast<uint32_t>(variant_.unit == BlockUnit::Byte ? bytes_.size()
                                                                      : words_.size());
    }
    bool Full() const { return Units() == variant_.blockUnits; }
    uint32_t Address() const { return address_; }

    // Sends the block unless it is blank or in the skip window; the result
    // tells whether it was sent.
    uint32_t Program(bool& sent) {
        sent = !blank_ && !Skipped();
        return sent ? Send() : 0;
    }

    void Advance() {
        const uint32_t units = Units();
        address_ += variant_.wordAddressing || variant_.unit == BlockUnit::Byte ? units : 2 * units;
        words_.clear();
        bytes_.clear();
        blank_ = true;
    }

    uint32_t ProgressValue() const { return variant_.wordAddressing ? 2 * address_ : address_; }

  private:
    bool Skipped() const {
        return variant_.skipLast != 0 && address_ >= variant_.skipFirst &&
               address_ <= variant_.skipLast;
    }

    uint32_t Send() const {
        const uint32_t units = Units();
        switch (variant_.primitive) {
        case BlockPrimitive::IntFlashWords:
            return MonProgIntFlash16(address_, units, words_.data());
        case BlockPrimitive::IntFlashBytes:
            return MonProgIntFlash8(address_, units, bytes_.data());
        case BlockPrimitive::ExtFlashWords:
            return MonProgExtFlash16(address_, units, words_.data());
        case BlockPrimitive::Ext2Flash8Words:
            return MonProgExt2Flash8(address_, units, words_.data());
        }
        return 0;
    }

    const BlockWriterVariant& variant_;
    uint32_t address_;
    std::vector<uint16_t> words_;
    std::vector<uint8_t> bytes_;
    bool blank_ = true;
};

void SendProgress(uint32_t value) {
    SendIndicationLong(PROGRAM_PROGRESS_IND, value);
}

// The closing progress for a tail of tailUnits at tailAddress (0 units: no tail).
void SendClosingProgress(const BlockWriterVariant& variant, uint32_t start, uint32_t size,
                         uint32_t tailAddress, uint32_t tailUnits, bool tailSent) {
    switch (variant.closing) {
    case ClosingProgress::None:
        return;
    case ClosingProgress::TailWords:
    case ClosingProgress::TailEnd:
        if (tailUnits != 0) {
            SendProgress(tailAddress + tailUnits);
        }
        return;
    case ClosingProgress::ProgrammedTailWords:
        if (tailSent) {
            SendProgress(tailAddress + tailUnits);
        }
        return;
    case ClosingProgress::ImageEnd:
        SendProgress(start + size);
        return;
    }
}

} // namespace

uint32_t WriteBlocks(const BlockWriterVariant& variant, const uint8_t* image, uint32_t start,
                     uint32_t size) {
    BlockWalk walk(variant, start);
    uint32_t fullBlocks = 0;
    bool sent = false;
    for (uint32_t consumed = 0; consumed < size;) {
        consumed += walk.Append(image, consumed);
        if (!walk.Full()) {
            continue;
        }
        ++fullBlocks;
        if (fullBlocks % variant.progressEvery == 0) {
            SendProgress(walk.ProgressValue());
        }
        if (const uint32_t code = walk.Program(sent)) {
            return code;
        }
        walk.Advance();
    }

    const uint32_t tailUnits = walk.Units();
    sent = false;
    if (tailUnits != 0) {
        if (const uint32_t code = walk.Program(sent)) {
            return code;
        }
    }
    SendClosingProgress(variant, start, size, walk.Address(), tailUnits, sent);
    return 0;
}
