// The ATmega's program flash behind its resident boot loader, driven over
// the pseudo-terminal as the PC's programmer drives it: chip erase, pages
// at word addresses, programming that only clears bits, and the CRC over a
// range of words that ends one word past the last.
#include "BootFixture.h"
#include "TestFiles.h"

#include <zlib.h>

namespace {

constexpr uint32_t kVersionAtmega64 = 0x00000045;
constexpr uint32_t kVersionAtmega128 = 0x00010123;
constexpr uint8_t kProgConfirm = 10;
constexpr uint8_t kEraseConfirm = 20;
constexpr uint8_t kCrcAnswer = 26;

uint32_t ZlibCrc(const std::vector<uint8_t>& bytes) {
    return static_cast<uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

// PROG_INT_FLASH_REQ of the bytes as words (low byte first) at a word address.
std::vector<uint8_t> ProgramPage(uint32_t wordAddress, const std::vector<uint8_t>& bytes) {
    return Request(kProgIntFlash)
        .U32(wordAddress)
        .U16(static_cast<uint16_t>(bytes.size() / 2))
        .Bytes(bytes);
}

class AtmegaFlashTest : public BootTest {
  protected:
    // A fresh board each time, in its boot loader.
    void StartAtmega(uint32_t version, vtarget::BoardOptions options = {}) {
        TearDown();
        options.version = version;
        StartBootLoader(10, options);
    }

    int Program(uint32_t wordAddress, const std::vector<uint8_t>& bytes) {
        return Confirm(ProgramPage(wordAddress, bytes), kProgConfirm);
    }

    int EraseChip() { return Confirm(Request(kChipErase), kEraseConfirm); }

    std::optional<uint32_t> Crc(uint32_t first, uint32_t last) {
        const auto answer = Exchange(Request(kCrc32).U32(first).U32(last));
        if (!answer || answer->size() != 5 || (*answer)[0] != kCrcAnswer) {
            return std::nullopt;
        }
        return Le32At(*answer, 1);
    }
};

TEST_F(AtmegaFlashTest, PagesLandAtTwiceTheirWordAddress) {
    StartAtmega(kVersionAtmega128);
    ASSERT_EQ(EraseChip(), 1);
    const auto page = testfiles::RandomBytes(256, 1);
    EXPECT_EQ(Program(128, page), 1); // page 1
    EXPECT_EQ(board_->ReadMemory(0x100, 256), page);
    EXPECT_EQ(board_->ReadMemory(0x0FF, 1), std::vector<uint8_t>{0xFF});
    EXPECT_EQ(board_->ReadMemory(0x200, 1), std::vector<uint8_t>{0xFF});
    // One word: its low byte first.
    EXPECT_EQ(Program(0x400, {0x34, 0x12}), 1);
    EXPECT_EQ(board_->ReadMemory(0x800, 2), (std::vector<uint8_t>{0x34, 0x12}));
    EXPECT_EQ(board_->FlashOverwrites(), 0u);
}

// The chip code in the version word's high half sets the flash size; the
// boot loader refuses pages that do not fit wholly.
TEST_F(AtmegaFlashTest, ProgrammingStopsAtTheEndOfTheChipsFlash) {
    struct Chip {
        uint32_t version;
        uint32_t flashBytes;
    };
    for (const Chip chip : {Chip{kVersionAtmega64, 0x10000}, Chip{kVersionAtmega128, 0x20000},
                            Chip{0x00020001, 0x20000}}) {
        StartAtmega(chip.version);
        const uint32_t lastPage = chip.flashBytes / 2 - 128;
        const auto page = testfiles::RandomBytes(256, chip.version);
        EXPECT_EQ(Program(lastPage, page), 1) << std::hex << chip.version;
        EXPECT_EQ(board_->ReadMemory(chip.flashBytes - 256, 256), page);
        EXPECT_EQ(Program(lastPage + 1, page), 0) << "runs one word past the end";
        EXPECT_EQ(Program(chip.flashBytes / 2, {1, 2}), 0);
        EXPECT_EQ(Program(0x80000000, {1, 2}), 0) << "twice the address would wrap to 0";
        EXPECT_EQ(board_->ReadMemory(0, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
        // No external flash and no sectors on this chip.
        EXPECT_EQ(Confirm(Request(kProgExtFlash).U32(0).U16(1).U16(0), 12), 0);
        EXPECT_EQ(Confirm(Request(kSectorErase).U32(0), 16), 0);
    }
}

TEST_F(AtmegaFlashTest, ProgrammingOnlyClearsBitsUntilTheChipIsErased) {
    StartAtmega(kVersionAtmega64);
    ASSERT_EQ(EraseChip(), 1);
    EXPECT_EQ(Program(0, {0xF0, 0x0F, 0xAA, 0xFF}), 1);
    EXPECT_EQ(Program(0, {0x3C, 0xFF, 0x55, 0xFF}), 1);
    EXPECT_EQ(board_->ReadMemory(0, 4), (std::vector<uint8_t>{0x30, 0x0F, 0x00, 0xFF}));
    EXPECT_EQ(board_->FlashOverwrites(), 3u) << "bytes that needed a 0 bit set to 1";

    ASSERT_EQ(EraseChip(), 1);
    EXPECT_EQ(board_->ReadMemory(0, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(board_->ReadMemory(0xFFFC, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(Program(0, {0x3C, 0xFF, 0x55, 0xFF}), 1);
    EXPECT_EQ(board_->ReadMemory(0, 4), (std::vector<uint8_t>{0x3C, 0xFF, 0x55, 0xFF}));
    EXPECT_EQ(board_->FlashOverwrites(), 3u);
}

// The PC asks for words first..last with last = ((size - 1) >> 1) + 1 and
// compares with its CRC over the image rounded up to whole words: the range
// covers bytes 2 * first to 2 * last - 1.
TEST_F(AtmegaFlashTest, CrcCoversTheWordsUpToTheOneBeforeLast) {
    StartAtmega(kVersionAtmega128);
    ASSERT_EQ(EraseChip(), 1);
    auto image = testfiles::RandomBytes(0x101, 2);
    image.push_back(0xFF); // the odd image's last word, as the PC sends it
    EXPECT_EQ(Program(0, {image.begin(), image.begin() + 0x100}), 1);
    EXPECT_EQ(Program(0x80, {image.begin() + 0x100, image.end()}), 1);
    EXPECT_EQ(Crc(0, 0x81), ZlibCrc(image));

    ASSERT_EQ(EraseChip(), 1);
    const auto large = testfiles::RandomBytes(0x4000, 3);
    for (uint32_t page = 0; page < 0x40; ++page) {
        const auto at = large.begin() + page * 0x100;
        ASSERT_EQ(Program(page * 128, {at, at + 0x100}), 1);
    }
    EXPECT_EQ(Crc(0, 0x2000), ZlibCrc(large));
    EXPECT_EQ(Crc(0x80, 0x81), ZlibCrc({large.begin() + 0x100, large.begin() + 0x102}));
    EXPECT_EQ(Crc(0x81, 0x81), 0u) << "an empty range";
    EXPECT_EQ(Crc(0x82, 0x81), 0u);
}

// Memory reads and writes reach the data space, not the program flash; the
// dump shows the flash below its end.
TEST_F(AtmegaFlashTest, DataSpaceAndFlashAreApart) {
    StartAtmega(kVersionAtmega64);
    EXPECT_EQ(Confirm(WriteMem8(0x100, {1, 2}), 4), 1);
    EXPECT_EQ(Exchange(ReadMem8(0x100, 2)), (std::vector<uint8_t>{2, 1, 2}));
    EXPECT_EQ(board_->ReadMemory(0x100, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(Program(0x80, {7, 8}), 1);
    EXPECT_EQ(board_->ReadMemory(0x100, 2), (std::vector<uint8_t>{7, 8}));
    EXPECT_EQ(Exchange(ReadMem8(0x100, 2)), (std::vector<uint8_t>{2, 1, 2}));
    EXPECT_EQ(Confirm(WriteMem8(0x10000, {9}), 4), 1);
    EXPECT_EQ(board_->ReadMemory(0x10000, 1), std::vector<uint8_t>{9}) << "above the flash";
}

TEST_F(AtmegaFlashTest, CorruptByteFlipsOnceProgrammed) {
    vtarget::BoardOptions options;
    options.corruptWord = 0x103;
    StartAtmega(kVersionAtmega128, options);
    EXPECT_EQ(Program(0, std::vector<uint8_t>(256, 0x00)), 1);
    EXPECT_EQ(board_->ReadMemory(0x103, 1), std::vector<uint8_t>{0xFF}) << "not covered yet";
    EXPECT_EQ(Program(0x80, std::vector<uint8_t>(256, 0x00)), 1);
    EXPECT_EQ(board_->ReadMemory(0x102, 2), (std::vector<uint8_t>{0x00, 0x01}));
}

} // namespace
