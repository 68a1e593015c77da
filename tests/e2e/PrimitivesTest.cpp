// Every monitor request against the virtual board's memory, and the read
// limits of one mail.
#include "link/Primitives.h"
#include "BoardFixture.h"
#include "image/Crc32.h"
#include "link/BusAccess.h"
#include "link/MailPrimitives.h"
#include "serial/Sio.h"

#include <gmock/gmock.h>

class PrimitivesTest : public BoardTest {};

TEST_F(PrimitivesTest, MemoryReadsAndWritesRoundTrip) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    const auto bytes = testfiles::RandomBytes(4346, 7);
    ASSERT_EQ(MonWriteMem8(0x1000, 4338, bytes.data()), MAIL_NO_ERROR);
    ASSERT_EQ(MonWriteMem8(0x1000 + 4338, 8, bytes.data() + 4338), MAIL_NO_ERROR);
    std::vector<uint8_t> back(4346);
    EXPECT_EQ(MonReadMem8(0x1000, 4346, back.data()), MAIL_NO_ERROR);
    EXPECT_EQ(back, bytes);

    std::vector<uint16_t> words(2173);
    EXPECT_EQ(MonReadMem16(0x1000, 2173, words.data()), MAIL_NO_ERROR);
    EXPECT_EQ(words[0], bytes[0] | bytes[1] << 8);
    EXPECT_EQ(words[2172], bytes[4344] | bytes[4345] << 8);

    const size_t mails = Board().MailCount();
    EXPECT_EQ(MonReadMem8(0x1000, 4347, back.data()), MAIL_DATA_REQ_LENGTH_TOO_LONG);
    EXPECT_EQ(MonReadMem16(0x1000, 2174, words.data()), MAIL_DATA_REQ_LENGTH_TOO_LONG);
    EXPECT_EQ(Board().MailCount(), mails) << "refused before sending";

    const uint16_t pattern[3] = {0x1122, 0x3344, 0x5566};
    EXPECT_EQ(MonWriteMem16(0x2000, 3, pattern), MAIL_NO_ERROR);
    EXPECT_EQ(MonWriteMem16NoConfirm(0x2006, 1, pattern), MAIL_NO_ERROR);
    EXPECT_EQ(MonWriteWord(0x2008, 0xBEEF), MAIL_NO_ERROR);
    EXPECT_EQ(MonWriteByte(0x200A, 0x5A), MAIL_NO_ERROR);
    uint16_t word = 0;
    uint8_t byte = 0;
    EXPECT_EQ(MonReadWord(0x2008, &word), MAIL_NO_ERROR);
    EXPECT_EQ(MonReadByte(0x200A, &byte), MAIL_NO_ERROR);
    EXPECT_EQ(word, 0xBEEF);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(Board().ReadMemory(0x2000, 8),
              (std::vector<uint8_t>{0x22, 0x11, 0x44, 0x33, 0x66, 0x55, 0x22, 0x11}));
}

TEST_F(PrimitivesTest, FlashRequestsCarryWordsOrBytes) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    const uint16_t words[2] = {0x0201, 0x0403};
    EXPECT_EQ(MonProgIntFlash16(0x100, 2, words), MAIL_NO_ERROR);
    EXPECT_EQ(MonProgExtFlash16(0x200, 2, words), MAIL_NO_ERROR);
    EXPECT_EQ(MonProgExt2Flash8(0x300, 2, words), MAIL_NO_ERROR);
    for (uint32_t at : {0x100u, 0x200u, 0x300u}) {
        EXPECT_EQ(Board().ReadMemory(at, 4), (std::vector<uint8_t>{1, 2, 3, 4})) << at;
    }
    EXPECT_EQ(MonSectorErase(0x10000), MAIL_NO_ERROR);
    EXPECT_EQ(MonBlockErase(0x20000), MAIL_NO_ERROR);
    EXPECT_EQ(MonChipErase(), MAIL_NO_ERROR);
    EXPECT_EQ(MonSetFlashCmdAddresses(0x1000000, 0x1005554, 0x100AAAA), MAIL_NO_ERROR);
    EXPECT_EQ(MonGoFromAddress(0x8000), MAIL_NO_ERROR);
    uint16_t manufacturer = 0;
    uint16_t device = 0;
    EXPECT_EQ(MonFlashType(&manufacturer, &device), MAIL_NO_ERROR);
    EXPECT_EQ(manufacturer, 0x0001);
    EXPECT_EQ(device, 0x2249);

    // MERV boards program bytes.
    options.targetType = 3;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    const uint8_t bytes[3] = {9, 8, 7};
    EXPECT_EQ(MonProgIntFlash8(0x40, 3, bytes), MAIL_NO_ERROR);
    EXPECT_EQ(MonProgExtFlash8(0x50, 3, bytes), MAIL_NO_ERROR);
    EXPECT_EQ(Board().ReadMemory(0x40, 3), (std::vector<uint8_t>{9, 8, 7}));
    EXPECT_EQ(Board().ReadMemory(0x50, 3), (std::vector<uint8_t>{9, 8, 7}));
}

TEST_F(PrimitivesTest, ChecksumAndCrcCoverTheInclusiveRange) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    const auto bytes = testfiles::RandomBytes(3000, 3);
    Board().WriteMemory(0x4000, bytes);
    uint32_t crc = 0;
    uint32_t sum = 0;
    EXPECT_EQ(MonCrc32(0x4000, 0x4000 + 2999, &crc), MAIL_NO_ERROR);
    EXPECT_EQ(crc, CalcCrc32(bytes.data(), 3000));
    EXPECT_EQ(MonChecksum(0x4000, 0x4000 + 2999, &sum), MAIL_NO_ERROR);
    uint32_t expected = 0;
    for (uint8_t b : bytes) {
        expected += b;
    }
    EXPECT_EQ(sum, expected);
}

TEST_F(PrimitivesTest, BaudRateChangeMovesTheBoardNotThePc) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    EXPECT_EQ(MonSetBaudrate(230400), MAIL_NO_ERROR);
    EXPECT_EQ(Board().ExpectedBaudRate(), 230400u);
    uint32_t version = 0;
    EXPECT_NE(MonGetVersion(&version), MAIL_NO_ERROR) << "the PC still talks at the old rate";
    EXPECT_GT(Board().GarbledBytes(), 0u);
    EXPECT_EQ(ChangeComportBaud(230400), 1u);
    EXPECT_EQ(MonGetVersion(&version), MAIL_NO_ERROR);
}
