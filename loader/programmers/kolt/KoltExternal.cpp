// The KOLT-family external flashes: the bus set up for them, a 16-bit
// device erased as a whole, two 8-bit devices side by side, and a 16-bit
// device of which only the sectors the image uses are erased.
#include "frame/Indication.h"
#include "image/Crc32.h"
#include "link/Primitives.h"
#include "programmers/BlockWriter.h"
#include "programmers/ImageCrc.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/Targets.h"
#include "programmers/kolt/KoltLayout.h"
#include "programmers/kolt/KoltSteps.h"
#include "serial/Sio.h"

#include <vector>

namespace {

constexpr const char* kReportModule = "ProgKolt";
constexpr unsigned kReportCheckBase = 3000;

constexpr uint16_t kBusConfigExternalMask = 0xFE3F; // clears bits 6 to 8
constexpr uint16_t kBusTiming1External = 0x0080;
constexpr uint16_t kBusTiming2External = 0x0280;

// Longest the chip erase of one 8-bit device may take.
constexpr uint32_t kByteFlashEraseMs = 6000;
// Settling time after both 8-bit devices are erased.
constexpr uint32_t kAfterByteEraseMs = 200;

constexpr uint32_t kMaxBlockWords = 256;

// Bus addresses of one 8-bit device of the pair: its command address k lies
// at 2k for the even device and 2k + 1 for the odd one.
struct ByteFlash {
    uint32_t command1; // device address 0x5555
    uint32_t command2; // device address 0x2AAA
    uint32_t first;    // device address 0
};

ByteFlash EvenFlash(uint32_t base) {
    return {base + 0xAAAA, base + 0x5554, base};
}

ByteFlash OddFlash(uint32_t base) {
    return {base + 0xAAAB, base + 0x5555, base + 1};
}

// Helpers of the 2x8 step: each reports at that step's level.

uint32_t WriteUnlocked(const ByteFlash& flash, uint8_t command) {
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(flash.command1, 0xAA));
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(flash.command2, 0x55));
    RETURN_REPORTED_ON_FAILURE(MonWriteByte(flash.command1, command));
    return 0;
}

uint32_t ShowByteFlashIdentity(const ByteFlash& flash) {
    uint8_t manufacturer = 0;
    uint8_t device = 0;
    RETURN_ON_FAILURE(WriteUnlocked(flash, 0x90));
    RETURN_REPORTED_ON_FAILURE(MonReadByte(flash.first, &manufacturer));
    RETURN_REPORTED_ON_FAILURE(MonReadByte(flash.first + 2, &device));
    RETURN_ON_FAILURE(WriteUnlocked(flash, 0xF0));
    SendIndicationTwoWords(FLASHTYPE_IND, manufacturer, device);
    return 0;
}

uint32_t StartByteFlashErase(const ByteFlash& flash) {
    RETURN_ON_FAILURE(WriteUnlocked(flash, 0x80));
    return WriteUnlocked(flash, 0x10);
}

// Reads the device's first byte until it is erased: 0; 1 once the time is
// up (without a report of its own); or a read's code.
uint32_t PollByteFlashErased(const ByteFlash& flash) {
    const uint32_t deadline = TickDeadline(kByteFlashEraseMs);
    for (;;) {
        uint8_t value = 0;
        RETURN_REPORTED_ON_FAILURE(MonReadByte(flash.first, &value));
        if (TickReached(deadline)) {
            return 1;
        }
        if (value == 0xFF) {
            return 0;
        }
    }
}

uint32_t EraseBytePair(uint32_t base) {
    RETURN_ON_FAILURE(StartByteFlashErase(EvenFlash(base)));
    SendIndication(CHIP_ERASE_START_IND);
    RETURN_REPORTED_ON_FAILURE(PollByteFlashErased(EvenFlash(base)));
    RETURN_ON_FAILURE(StartByteFlashErase(OddFlash(base)));
    RETURN_REPORTED_ON_FAILURE(PollByteFlashErased(OddFlash(base)));
    SendIndication(CHIP_ERASE_FINISHED_IND);
    DelayMs(kAfterByteEraseMs);
    return 0;
}

uint32_t ShowFlashType(uint16_t& manufacturer, uint16_t& device) {
    RETURN_REPORTED_ON_FAILURE(MonFlashType(&manufacturer, &device));
    SendIndicationTwoWords(FLASHTYPE_IND, manufacturer, device);
    return 0;
}

// The touched-sectors walk: blocks that never cross the end of a sector
// window, each window erased before its first data and verified when full.
class SectorWalk {
  public:
    SectorWalk(const uint8_t* image, uint32_t base, uint32_t size, uint32_t sectorSize)
        : image_(image), base_(base), size_(size), sectorSize_(sectorSize), address_(base) {}

    uint32_t Run() {
        while (consumed_ < size_) {
            CollectBlock();
            const bool blank = Blank();
            RETURN_ON_FAILURE(ProgramBlock(blank));
            RETURN_ON_FAILURE(CloseWindowIfFull(blank));
            address_ += 2 * static_cast<uint32_t>(words_.size());
        }
        return 0;
    }

  private:
    void CollectBlock() {
        words_.clear();
        while (consumed_ < size_ && inWindow_ < sectorSize_ && words_.size() < kMaxBlockWords) {
            words_.push_back(ImageWord(image_, consumed_));
            consumed_ += 2;
            inWindow_ += 2;
        }
    }

    bool Blank() const {
        for (uint16_t word : words_) {
            if (word != 0xFFFF) {
                return false;
            }
        }
        return true;
    }

    uint32_t ProgramBlock(bool blank) {
        if (blank) {
            return 0;
        }
        if (!windowErased_) {
            SendIndicationLong(ERASE_SECTOR_IND, address_);
            RETURN_REPORTED_ON_FAILURE(MonSectorErase(address_));
            windowErased_ = true;
        }
        SendIndicationLong(PROGRAM_PROGRESS_IND, address_);
        const auto count = static_cast<uint32_t>(words_.size());
        RETURN_REPORTED_ON_FAILURE(MonProgExtFlash16(address_, count, words_.data()));
        return 0;
    }

    // A full window whose last block was written is verified; a CRC
    // mismatch fails with 1.
    uint32_t CloseWindowIfFull(bool lastBlockBlank) {
        if (inWindow_ < sectorSize_) {
            return 0;
        }
        inWindow_ = 0;
        windowErased_ = false;
        if (lastBlockBlank) {
            return 0;
        }
        const uint32_t windowOffset = consumed_ - sectorSize_;
        const CrcComparison crc = CompareCrc(image_ + windowOffset, sectorSize_,
                                             base_ + windowOffset, base_ + consumed_ - 2);
        RETURN_REPORTED_ON_FAILURE(crc.mailError);
        return ReportCrc(crc) ? 0 : 1;
    }

    const uint8_t* image_;
    uint32_t base_;
    uint32_t size_;
    uint32_t sectorSize_;
    uint32_t address_;
    uint32_t consumed_ = 0;
    uint32_t inWindow_ = 0;
    bool windowErased_ = false;
    std::vector<uint16_t> words_;
};

} // namespace

uint32_t SetupKoltExternalBus() {
    uint16_t busConfig = 0;
    RETURN_REPORTED_ON_FAILURE(MonReadWord(kKoltBusConfig, &busConfig));
    RETURN_REPORTED_ON_FAILURE(
        MonWriteWord(kKoltBusConfig, static_cast<uint16_t>(busConfig & kBusConfigExternalMask)));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltBusTiming1, kBusTiming1External));
    RETURN_REPORTED_ON_FAILURE(MonWriteWord(kKoltBusTiming2, kBusTiming2External));
    return 0;
}

uint32_t ProgramKoltExternal(const uint8_t* image, uint32_t start, uint32_t size) {
    RETURN_REPORTED_ON_FAILURE(SetupKoltExternalBus());
    RETURN_REPORTED_ON_FAILURE(
        MonSetFlashCmdAddresses(kKoltFlashBase, kKoltCommandAddress1, kKoltCommandAddress2));
    uint16_t manufacturer = 0;
    uint16_t device = 0;
    RETURN_ON_FAILURE(ShowFlashType(manufacturer, device));
    SendIndication(CHIP_ERASE_START_IND);
    RETURN_REPORTED_ON_FAILURE(MonChipErase());
    SendIndication(CHIP_ERASE_FINISHED_IND);
    RETURN_REPORTED_ON_FAILURE(WriteBlocks(kKoltExternalBlocks, image, start, size));
    SendIndication(PROGRAMMING_SUCCESS_IND);
    return 0;
}

uint32_t ProgramKolt2x8(const uint8_t* image, uint32_t start, uint32_t size) {
    RETURN_REPORTED_ON_FAILURE(SetupKoltExternalBus());
    RETURN_REPORTED_ON_FAILURE(
        MonSetFlashCmdAddresses(kKoltFlashBase, kKoltCommandAddress1, kKoltCommandAddress2));
    RETURN_ON_FAILURE(ShowByteFlashIdentity(EvenFlash(start)));
    RETURN_ON_FAILURE(ShowByteFlashIdentity(OddFlash(start)));
    RETURN_ON_FAILURE(EraseBytePair(start));
    RETURN_REPORTED_ON_FAILURE(WriteBlocks(kKolt2x8Blocks, image, start, size));
    SendIndication(PROGRAMMING_SUCCESS_IND);
    return 0;
}

uint32_t ProgramKoltTouchedSectors(const uint8_t* image, uint32_t start, uint32_t size) {
    RETURN_REPORTED_ON_FAILURE(SetupKoltExternalBus());
    RETURN_REPORTED_ON_FAILURE(MonSetFlashCmdAddresses(start, start + 0x5554, start + 0xAAAA));
    uint16_t manufacturer = 0;
    uint16_t device = 0;
    RETURN_ON_FAILURE(ShowFlashType(manufacturer, device));
    const int16_t flashType = FindFlashType(manufacturer, device);
    if (flashType < 0) {
        SendTextInfo("### UNKNOWN FLASHTYPE ###");
        return 1;
    }
    const FlashTypeEntry& entry = FlashTypeTable[flashType];
    SendTextInfo("%s", entry.name);
    RETURN_ON_FAILURE(SectorWalk(image, start, size, entry.sectorSize).Run());
    SendIndication(PROGRAMMING_SUCCESS_IND);
    return 0;
}
