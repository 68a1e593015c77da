// Frames a real monitor drops: the board never answers them, counts them,
// and still answers the good frame that follows.
#include "BoardFixture.h"

#include <thread>

namespace {

class FramingTest : public BoardTest {
  protected:
    void SetUp() override { StartBoard(RunningMonitor()); }

    // Sends the raw bytes, then a good request that must be answered.
    void ExpectDroppedThenAnswered(const std::vector<uint8_t>& bad, uint64_t drops) {
        const size_t mails = board_->MailCount();
        ASSERT_TRUE(port_.Write(bad));
        const auto version = Exchange(Request(kGetVersion));
        ASSERT_TRUE(version) << "good frame after the bad one not answered";
        EXPECT_EQ((*version)[0], 36);
        EXPECT_EQ(board_->DroppedFrames(), drops);
        EXPECT_EQ(board_->MailCount(), mails + 1); // the bad frame is no mail
    }
};

TEST_F(FramingTest, NoiseBeforeTheStartByteIsSkipped) {
    ExpectDroppedThenAnswered({0x00, 0xFF, 0x55, 0x0F, 0x11}, 0);
}

TEST_F(FramingTest, BadChecksumIsDropped) {
    auto frame = Frame(1, ReadMem8(0x100, 4));
    frame.back() ^= 0x01;
    ExpectDroppedThenAnswered(frame, 1);
}

TEST_F(FramingTest, LengthsOutsideTheRequestLimitsAreDropped) {
    ExpectDroppedThenAnswered({0x10, 0x11, 0x00}, 1);
    // Length 4349 makes a 4353-byte frame, one more than the PC ever sends.
    // Its second byte starts a frame too, whose length (0xFD10) is dropped.
    ExpectDroppedThenAnswered({0x10, 0x10, 0xFD}, 3);
    // Length 3 leaves no room for a primitive code.
    ExpectDroppedThenAnswered({0x10, 0x00, 0x03, 0x01, 0x00, 0x00, 0x01}, 4);
}

TEST_F(FramingTest, LargestRequestFrameIsTaken) {
    const std::vector<uint8_t> data(4338, 0x5A); // payload 4345 bytes, frame 4352
    const auto request = WriteMem8(0x8000, data);
    ASSERT_EQ(Frame(0, request).size(), 4352u);
    EXPECT_EQ(Confirm(request, 4), 1);
    EXPECT_EQ(board_->ReadMemory(0x8000, 4338), data);
}

TEST_F(FramingTest, RequestsTheMonitorDoesNotKnowAreDropped) {
    ExpectDroppedThenAnswered(Frame(1, {36}), 1);                 // an answer code
    ExpectDroppedThenAnswered(Frame(2, {37, 0, 0}), 2);           // unknown code
    ExpectDroppedThenAnswered(Frame(3, {0}), 3);                  // code 0
    ExpectDroppedThenAnswered(Frame(4, {kReadMem8, 0, 0, 0}), 4); // parameters cut short
    // A write whose count claims more data than the frame carries.
    ExpectDroppedThenAnswered(Frame(5, Request(kWriteMem8).U32(0).U16(3).Bytes({1, 2})), 5);
    EXPECT_EQ(board_->ReadMemory(0, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
}

TEST_F(FramingTest, ReadsAndRangesBeyondTheLimitsAreDropped) {
    // 4348 bytes would need a length of 0x1100.
    ExpectDroppedThenAnswered(Frame(1, ReadMem8(0, 4348)), 1);
    ExpectDroppedThenAnswered(Frame(2, Request(kReadMem16).U32(0).U16(2174)), 2);
    // 256 MiB and one byte: refused rather than keeping the board busy.
    ExpectDroppedThenAnswered(Frame(3, Request(kCrc32).U32(0).U32(0x10000000)), 3);
}

// A frame start inside a dropped frame is found again: the hunt goes on
// from the byte after the bad frame's start.
TEST_F(FramingTest, FrameInsideABadFrameIsFound) {
    std::vector<uint8_t> bytes{0x10, 0x00, 0x20}; // claims 36 bytes in all
    const auto good = Frame(0x77, Request(kGetVersion));
    bytes.insert(bytes.end(), good.begin(), good.end());
    bytes.resize(36, 0x00); // filler; the claimed checksum (0) is wrong
    ASSERT_TRUE(port_.Write(bytes));
    const auto answer = ReadAnswer(port_, 2000ms);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->sequence, 0x77);
    EXPECT_EQ(answer->payload[0], 36);
    EXPECT_EQ(board_->DroppedFrames(), 1u);
}

// A frame that stops arriving is given up well before the PC retransmits,
// so the retry is answered instead of being swallowed as the frame's rest.
TEST_F(FramingTest, StalledFrameIsGivenUpForTheRetry) {
    ASSERT_TRUE(port_.Write({0x10, 0x01, 0x00, 0x05})); // claims 260 bytes
    std::this_thread::sleep_for(450ms);
    const auto version = Exchange(Request(kGetVersion));
    ASSERT_TRUE(version);
    EXPECT_EQ((*version)[0], 36);
    EXPECT_EQ(board_->DroppedFrames(), 1u);
}

TEST_F(FramingTest, ReservedBytesAreIgnoredAndEveryByteIsCounted) {
    auto frame = Frame(9, Request(kGetVersion));
    frame[4] = 0x12;
    frame[5] = 0x34;
    frame.back() = static_cast<uint8_t>(frame.back() + 0x12 + 0x34);
    ASSERT_TRUE(port_.Write(frame));
    const auto answer = ReadAnswer(port_, 2000ms);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->sequence, 9);
    EXPECT_EQ(board_->BytesReceived(), frame.size());
}

} // namespace
