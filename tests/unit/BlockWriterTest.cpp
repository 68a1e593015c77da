// The block writer's variants against a board whose monitor keeps what the
// programming requests carry in plain memory.
#include "programmers/BlockWriter.h"
#include "BoardFixture.h"
#include "link/MailPrimitives.h"

#include <gmock/gmock.h>

namespace {

struct ProgMail {
    uint8_t code;
    uint32_t address;
    uint32_t count;
    bool operator==(const ProgMail&) const = default;
};

void PrintTo(const ProgMail& mail, std::ostream* os) {
    *os << "{" << int(mail.code) << ", 0x" << std::hex << mail.address << ", " << std::dec
        << mail.count << "}";
}

uint32_t Le(const std::vector<uint8_t>& bytes, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) {
        value |= uint32_t{bytes[at + i]} << (8 * i);
    }
    return value;
}

} // namespace

class BlockWriterTest : public BoardTest {
  protected:
    // A 16-bit target: its monitor counts words.
    static constexpr int kPlainMemoryType = 0;
    // A MERV target: takes the byte-count form of the programming request.
    static constexpr int kByteProgramType = 3;

    void SetUp() override {
        BoardTest::SetUp();
        StartBoardWith({});
    }

    void StartBoardWith(vtarget::FaultOptions faults, int targetType = kPlainMemoryType) {
        vtarget::BoardOptions options;
        options.monitorRunning = true;
        options.plainMemory = true;
        options.targetType = targetType;
        options.faults = faults;
        StartBoard(options);
        ASSERT_TRUE(OpenLink());
    }

    std::vector<ProgMail> ProgMails() {
        std::vector<ProgMail> mails;
        for (const auto& mail : Board().Mails()) {
            const auto& p = mail.payload;
            if (p[0] == PROG_INT_FLASH_REQ || p[0] == PROG_EXT_FLASH_REQ ||
                p[0] == PROG_EXT_2FLASH8_REQ) {
                mails.push_back({p[0], Le(p, 1, 4), Le(p, 5, 2)});
            }
        }
        return mails;
    }

    static std::vector<uint32_t> Progress() {
        std::vector<uint32_t> values;
        for (const auto& i : Indications()) {
            if (i.code == PROGRAM_PROGRESS_IND) {
                values.push_back(i.long0);
            }
        }
        return values;
    }
};

TEST_F(BlockWriterTest, KoltInternalWritesBlocksAndTailWithClosingProgress) {
    const auto data = testfiles::RandomBytes(2 * 512 + 3, 11);
    const auto image = ImageOf(data);
    ASSERT_EQ(WriteBlocks(kKoltInternalBlocks, image.data(), 0x080000, 1027), 0u);

    EXPECT_THAT(ProgMails(), ::testing::ElementsAre(ProgMail{PROG_INT_FLASH_REQ, 0x080000, 256},
                                                    ProgMail{PROG_INT_FLASH_REQ, 0x080200, 256},
                                                    ProgMail{PROG_INT_FLASH_REQ, 0x080400, 2}));
    // The closing value adds the tail's length in words, not in bytes.
    EXPECT_THAT(Progress(), ::testing::ElementsAre(0x080000u, 0x080200u, 0x080402u));
    auto expected = data;
    expected.push_back(0xFF); // the odd end is padded to a whole word
    EXPECT_EQ(Board().ReadMemory(0x080000, 1028), expected);
}

TEST_F(BlockWriterTest, BlankBlocksSendProgressButNoMail) {
    std::vector<uint8_t> data(3 * 512 + 4, 0xFF);
    data[512 + 7] = 0x12;
    const auto image = ImageOf(data);
    ASSERT_EQ(WriteBlocks(kKoltExternalBlocks, image.data(), 0x1000, 1540), 0u);
    EXPECT_THAT(ProgMails(), ::testing::ElementsAre(ProgMail{PROG_EXT_FLASH_REQ, 0x1200, 256}));
    // The blank tail was not programmed, so the external mode sends no closing value.
    EXPECT_THAT(Progress(), ::testing::ElementsAre(0x1000u, 0x1200u, 0x1400u));

    const auto blank = ImageOf(std::vector<uint8_t>(600, 0xFF));
    const size_t before = Board().MailCount();
    ASSERT_EQ(WriteBlocks(kKoltInternalBlocks, blank.data(), 0x2000, 600), 0u);
    EXPECT_EQ(Board().MailCount(), before);
    // The internal mode closes after a tail whether it was programmed or not.
    EXPECT_THAT(Progress(),
                ::testing::ElementsAre(0x1000u, 0x1200u, 0x1400u, 0x2000u, 0x2200u + 44));
}

TEST_F(BlockWriterTest, PairVariantAndTailProgressOnlyWhenProgrammed) {
    const auto image = ImageOf(testfiles::RandomBytes(10, 3));
    ASSERT_EQ(WriteBlocks(kKolt2x8Blocks, image.data(), 0x080000, 10), 0u);
    EXPECT_THAT(ProgMails(), ::testing::ElementsAre(ProgMail{PROG_EXT_2FLASH8_REQ, 0x080000, 5}));
    EXPECT_THAT(Progress(), ::testing::ElementsAre(0x080005u));
}

TEST_F(BlockWriterTest, MervWritesBytesAndClosesAtTheImageEnd) {
    StartBoardWith({}, kByteProgramType);
    std::vector<uint8_t> data = testfiles::RandomBytes(512, 5);
    data.push_back(0xFF); // a blank one-byte tail
    const auto image = ImageOf(data);
    ASSERT_EQ(WriteBlocks(kMervBlocks, image.data(), 0x4000, 513), 0u);
    EXPECT_THAT(ProgMails(), ::testing::ElementsAre(ProgMail{PROG_INT_FLASH_REQ, 0x4000, 512}));
    EXPECT_THAT(Progress(), ::testing::ElementsAre(0x4000u, 0x4201u));
    EXPECT_EQ(Board().ReadMemory(0x4000, 512), std::vector<uint8_t>(data.begin(), data.end() - 1));
}

TEST_F(BlockWriterTest, AtmegaCountsWordsAndReportsEveryEighthPage) {
    const auto image = ImageOf(testfiles::RandomBytes(0x4000, 9));
    ASSERT_EQ(WriteBlocks(kAtmegaBlocks, image.data(), 0, 0x4000), 0u);
    const auto mails = ProgMails();
    ASSERT_EQ(mails.size(), 64u);
    EXPECT_EQ(mails[1], (ProgMail{PROG_INT_FLASH_REQ, 128, 128}));
    EXPECT_EQ(mails[63], (ProgMail{PROG_INT_FLASH_REQ, 63 * 128, 128}));
    EXPECT_THAT(Progress(), ::testing::ElementsAre(0x0700u, 0x0F00u, 0x1700u, 0x1F00u, 0x2700u,
                                                   0x2F00u, 0x3700u, 0x3F00u, 0x4000u));
}

TEST_F(BlockWriterTest, S3c44b0xSkipsTheProtectedWindow) {
    // Blocks at 0xF000 and 0xF800, 32 inside the window, then 0x20000 and a tail.
    const auto image = ImageOf(testfiles::RandomBytes(0x11000 + 0x900, 4));
    ASSERT_EQ(WriteBlocks(kS3c44b0xBlocks, image.data(), 0xF000, 0x11900), 0u);
    EXPECT_THAT(ProgMails(), ::testing::ElementsAre(ProgMail{PROG_EXT_FLASH_REQ, 0xF000, 1024},
                                                    ProgMail{PROG_EXT_FLASH_REQ, 0xF800, 1024},
                                                    ProgMail{PROG_EXT_FLASH_REQ, 0x20000, 1024},
                                                    ProgMail{PROG_EXT_FLASH_REQ, 0x20800, 128}));
    const auto progress = Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0xF000u + 3 * 0x800) << "the 4th full block";
    EXPECT_EQ(progress.back(), 0xF000u + 0x11900);
    EXPECT_EQ(Board().ReadMemory(0x10000, 4), std::vector<uint8_t>(4, 0xFF));
}

TEST_F(BlockWriterTest, FailingMailStopsTheWalkAtOnce) {
    vtarget::FaultOptions faults;
    faults.nakEvery = 2;
    StartBoardWith(faults);
    const auto image = ImageOf(testfiles::RandomBytes(4 * 512 + 2, 6));
    EXPECT_EQ(WriteBlocks(kKoltInternalBlocks, image.data(), 0x080000, 4 * 512 + 2),
              uint32_t{MAIL_NEGATIVE_CONFIRM});
    EXPECT_EQ(ProgMails().size(), 2u);
    EXPECT_THAT(Progress(), ::testing::ElementsAre(0x080000u, 0x080200u));
}
