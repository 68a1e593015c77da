// Every primitive of the monitor, over the board's real pseudo-terminal:
// the answer the PC gets and what the request did to the memory.
#include "BoardFixture.h"

#include <numeric>

namespace {

std::vector<uint8_t> Pattern(size_t count, uint8_t seed) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return bytes;
}

std::vector<uint8_t> Range(uint8_t primitive, uint32_t start, uint32_t end) {
    return Request(primitive).U32(start).U32(end);
}

class PrimitiveTest : public BoardTest {
  protected:
    // A MERV board (type 3, a monitor that counts bytes) with plain RAM
    // behind every address.
    void SetUp() override {
        auto options = RunningMonitor();
        options.targetType = 3;
        options.plainMemory = true;
        StartBoard(options);
    }

    uint32_t Value32(const std::vector<uint8_t>& request, uint8_t answerCode) {
        const auto answer = Exchange(request);
        if (!answer || answer->size() != 5) {
            ADD_FAILURE() << "no 32-bit answer";
            return 0;
        }
        EXPECT_EQ((*answer)[0], answerCode);
        return Le32At(*answer, 1);
    }
};

TEST_F(PrimitiveTest, ByteWritesAndReadsMeetInMemory) {
    const auto data = Pattern(300, 1);
    EXPECT_EQ(Confirm(WriteMem8(0x20000FF0, data), 4), 1); // crosses a page
    EXPECT_EQ(board_->ReadMemory(0x20000FF0, 300), data);

    const auto answer = Exchange(ReadMem8(0x20000FEE, 304));
    ASSERT_TRUE(answer);
    std::vector<uint8_t> expected{2, 0xFF, 0xFF}; // unwritten bytes read erased
    expected.insert(expected.end(), data.begin(), data.end());
    expected.insert(expected.end(), {0xFF, 0xFF});
    EXPECT_EQ(*answer, expected);

    board_->WriteMemory(0x100, {0xAB});
    EXPECT_EQ(Exchange(ReadMem8(0x100, 1)), (std::vector<uint8_t>{2, 0xAB}));
    EXPECT_EQ(Exchange(ReadMem8(0x100, 0)), (std::vector<uint8_t>{2}));
}

TEST_F(PrimitiveTest, WordsAreLittleEndianAtByteAddresses) {
    const auto write = Request(kWriteMem16).U32(0x1001).U16(2).U16(0x1234).U16(0xABCD);
    EXPECT_EQ(Confirm(write, 8), 1);
    EXPECT_EQ(board_->ReadMemory(0x1001, 4), (std::vector<uint8_t>{0x34, 0x12, 0xCD, 0xAB}));

    const auto answer = Exchange(Request(kReadMem16).U32(0x1000).U16(3));
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->size(), 7u);
    EXPECT_EQ((*answer)[0], 6);
    EXPECT_EQ(Le16At(*answer, 1), 0x34FF);
    EXPECT_EQ(Le16At(*answer, 3), 0xCD12);
    EXPECT_EQ(Le16At(*answer, 5), 0xFFAB);
}

TEST_F(PrimitiveTest, AddressesWrapAtTheTopOfTheSpace) {
    EXPECT_EQ(Confirm(WriteMem8(0xFFFFFFFE, {1, 2, 3, 4}), 4), 1);
    EXPECT_EQ(board_->ReadMemory(0xFFFFFFFE, 2), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(board_->ReadMemory(0, 2), (std::vector<uint8_t>{3, 4}));
    EXPECT_EQ(Exchange(ReadMem8(0xFFFFFFFF, 2)), (std::vector<uint8_t>{2, 2, 3}));
}

TEST_F(PrimitiveTest, ProgrammingStoresWordsAndErasingChangesNoRam) {
    TearDown();
    vtarget::BoardOptions options = RunningMonitor();
    options.targetType = 0; // a 16-bit target: programming counts words
    options.plainMemory = true;
    StartBoard(options);
    const auto prog = [](uint8_t code, uint32_t address) {
        return Request(code).U32(address).U16(2).U16(0x2211).U16(0x4433);
    };
    EXPECT_EQ(Confirm(prog(kProgIntFlash, 0x000), 10), 1);
    EXPECT_EQ(Confirm(prog(kProgExtFlash, 0x100), 12), 1);
    EXPECT_EQ(Confirm(prog(kProgExt2Flash8, 0x200), 14), 1);
    const std::vector<uint8_t> words{0x11, 0x22, 0x33, 0x44};
    for (uint32_t address : {0x000u, 0x100u, 0x200u}) {
        EXPECT_EQ(board_->ReadMemory(address, 4), words) << address;
    }

    EXPECT_EQ(Confirm(Request(kSectorErase).U32(0x000), 16), 1);
    EXPECT_EQ(Confirm(Request(kBlockErase).U32(0x100), 18), 1);
    EXPECT_EQ(Confirm(Request(kChipErase), 20), 1);
    EXPECT_EQ(board_->ReadMemory(0x000, 4), words);
    EXPECT_EQ(board_->ReadMemory(0x200, 4), words);
}

TEST_F(PrimitiveTest, IdentityVersionAndSettingsAnswerAsConfigured) {
    EXPECT_EQ(Exchange(Request(kFlashType)), (std::vector<uint8_t>{22, 0x01, 0x00, 0x49, 0x22}));
    EXPECT_EQ(Value32(Request(kGetVersion), 36), 0x00010000u);
    EXPECT_EQ(Confirm(Request(kSetProgCmdAddress).U32(0x555).U32(0x2AA).U32(0x555), 30), 1);
    EXPECT_EQ(Confirm(Request(kGoFromAddress).U32(0x8000), 32), 1);
}

TEST_F(PrimitiveTest, SetConfigIsStoredWithoutAnAnswer) {
    Send(Request(kSetConfig).U32(0xCAFE0001));
    EXPECT_TRUE(StaysQuiet());
    // The next request is answered as usual: nothing of the config is left on the line.
    EXPECT_EQ(Value32(Request(kGetVersion), 36), 0x00010000u);
    const auto mails = board_->Mails();
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].payload, (std::vector<uint8_t>(Request(kSetConfig).U32(0xCAFE0001))));
    EXPECT_EQ(mails[0].sequence, static_cast<uint8_t>(sequence_ - 1));
}

TEST_F(PrimitiveTest, ChecksumsCoverTheInclusiveRange) {
    const std::vector<uint8_t> check{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    board_->WriteMemory(0x4000, check);
    // The standard CRC-32 check value of "123456789".
    EXPECT_EQ(Value32(Range(kCrc32, 0x4000, 0x4008), 26), 0xCBF43926u);
    EXPECT_EQ(Value32(Range(kChecksum, 0x4000, 0x4008), 24),
              std::accumulate(check.begin(), check.end(), 0u));
    // Erased bytes count as 0xFF; a range may cross pages.
    EXPECT_EQ(Value32(Range(kChecksum, 0x3FFE, 0x4009), 24),
              std::accumulate(check.begin(), check.end(), 3u * 0xFF));
    // An end below the start is an empty range.
    EXPECT_EQ(Value32(Range(kChecksum, 0x4001, 0x4000), 24), 0u);
    EXPECT_EQ(Value32(Range(kCrc32, 0x4001, 0x4000), 26), 0u);
    // The whole top megabyte, erased: 1 MiB of 0xFF.
    EXPECT_EQ(Value32(Range(kChecksum, 0xFFF00000, 0xFFFFFFFF), 24), 0xFFu << 20);
}

TEST_F(PrimitiveTest, EightBitTargetsProgramBytes) {
    TearDown();
    vtarget::BoardOptions options = RunningMonitor();
    options.targetType = 3; // MERV
    options.plainMemory = true;
    StartBoard(options);
    EXPECT_EQ(Confirm(Request(kProgIntFlash).U32(0x10).U16(3).Bytes({7, 8, 9}), 10), 1);
    EXPECT_EQ(Confirm(Request(kProgExtFlash).U32(0x20).U16(1).Bytes({5}), 12), 1);
    // The paired 8-bit flash still takes words.
    EXPECT_EQ(Confirm(Request(kProgExt2Flash8).U32(0x30).U16(1).U16(0x0201), 14), 1);
    EXPECT_EQ(board_->ReadMemory(0x10, 4), (std::vector<uint8_t>{7, 8, 9, 0xFF}));
    EXPECT_EQ(board_->ReadMemory(0x20, 2), (std::vector<uint8_t>{5, 0xFF}));
    EXPECT_EQ(board_->ReadMemory(0x30, 2), (std::vector<uint8_t>{1, 2}));
}

TEST_F(PrimitiveTest, LargestReadsFillTheLargestAnswer) {
    const auto bytes = Exchange(ReadMem8(0, 4347));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->size(), 4348u);
    const auto words = Exchange(Request(kReadMem16).U32(0).U16(2173));
    ASSERT_TRUE(words);
    EXPECT_EQ(words->size(), 4347u);
}

} // namespace
