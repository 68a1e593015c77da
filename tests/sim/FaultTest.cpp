// Injected faults in their deterministic forms, and the reply hook.
#include "BoardFixture.h"

#include <mutex>

namespace {

class FaultTest : public BoardTest {
  protected:
    void StartWith(const vtarget::FaultOptions& faults, bool echo = false) {
        vtarget::BoardOptions options = RunningMonitor();
        options.faults = faults;
        options.echo = echo;
        StartBoard(options);
    }
};

TEST_F(FaultTest, DroppingEveryByteLeavesTheLineDead) {
    vtarget::FaultOptions faults;
    faults.dropRate = 1.0;
    StartWith(faults, true);
    Send(Request(kGetVersion));
    EXPECT_TRUE(StaysQuiet());
    EXPECT_EQ(board_->BytesReceived(), 8u);
    EXPECT_EQ(board_->MailCount(), 0u);
}

TEST_F(FaultTest, CorruptingEveryByteFlipsOneBitOfEach) {
    vtarget::FaultOptions faults;
    faults.corruptRate = 1.0;
    StartWith(faults, true);
    const auto frame = Frame(1, Request(kGetVersion));
    ASSERT_TRUE(port_.Write(frame));
    // Echoed bytes are flipped once on the way in and once on the way out.
    const auto back = port_.ReadUntilQuiet(250ms);
    ASSERT_EQ(back.size(), frame.size());
    for (size_t i = 0; i < frame.size(); ++i) {
        const int flipped = __builtin_popcount(back[i] ^ frame[i]);
        EXPECT_TRUE(flipped == 0 || flipped == 2) << i;
    }
    EXPECT_EQ(board_->MailCount(), 0u);
}

TEST_F(FaultTest, SameSeedSameFaults) {
    vtarget::FaultOptions faults;
    faults.seed = 42;
    faults.corruptRate = 0.02;
    std::vector<uint8_t> streams[2];
    for (auto& stream : streams) {
        StartWith(faults, true);
        sequence_ = 0;
        for (int i = 0; i < 20; ++i) {
            Send(ReadMem8(0x100 * i, 16));
        }
        stream = port_.ReadUntilQuiet(600ms);
        TearDown();
    }
    EXPECT_EQ(streams[0], streams[1]);
    EXPECT_GT(streams[0].size(), 20u * 8);
}

TEST_F(FaultTest, SilentAfterAnswersOnlyTheFirstMails) {
    vtarget::FaultOptions faults;
    faults.silentAfter = 2;
    StartWith(faults);
    EXPECT_TRUE(Exchange(Request(kGetVersion)));
    EXPECT_EQ(Confirm(WriteMem8(0, {1}), 4), 1);
    Send(WriteMem8(1, {2}));
    EXPECT_TRUE(StaysQuiet());
    // Still received and logged, but not carried out.
    EXPECT_EQ(board_->MailCount(), 3u);
    EXPECT_EQ(board_->ReadMemory(0, 2), (std::vector<uint8_t>{1, 0xFF}));
}

TEST_F(FaultTest, NakEveryRefusesEveryNthConfirm) {
    vtarget::FaultOptions faults;
    faults.nakEvery = 2;
    StartWith(faults);
    EXPECT_EQ(Confirm(WriteMem8(0, {1}), 4), 1);
    EXPECT_TRUE(Exchange(ReadMem8(0, 1))); // no confirm: not counted
    EXPECT_EQ(Confirm(WriteMem8(1, {2}), 4), 0);
    EXPECT_EQ(Confirm(WriteMem8(2, {3}), 4), 1);
    EXPECT_EQ(board_->ReadMemory(0, 3), (std::vector<uint8_t>{1, 0xFF, 3}));
}

TEST_F(FaultTest, NakRateOneRefusesEveryConfirm) {
    vtarget::FaultOptions faults;
    faults.nakRate = 1.0;
    StartWith(faults);
    EXPECT_EQ(Confirm(Request(kChipErase), 20), 0);
    EXPECT_EQ(Confirm(Request(kSetBaudRate).U32(9600), 34), 0);
    EXPECT_EQ(board_->ExpectedBaudRate(), 115200u); // a refused switch is not made
    EXPECT_EQ(Exchange(Request(kFlashType))->size(), 5u);
}

TEST_F(FaultTest, WrongPrimitiveCarriesTheNextAnswerCode) {
    vtarget::FaultOptions faults;
    faults.wrongPrimitiveRate = 1.0;
    StartWith(faults);
    EXPECT_EQ((*Exchange(Request(kGetVersion)))[0], 2); // the last code wraps to the first
    EXPECT_EQ(Confirm(WriteMem8(0, {1}), 6), 1);
    EXPECT_EQ(board_->ReadMemory(0, 1), (std::vector<uint8_t>{1}));
}

TEST_F(FaultTest, ReplyOverrideReplacesTheAnswer) {
    StartBoard(RunningMonitor());
    std::mutex mutex; // the hook runs on the board thread
    std::vector<vtarget::ReceivedMail> seen;
    board_->SetReplyOverride([&](const vtarget::ReceivedMail& mail) {
        std::lock_guard lock(mutex);
        seen.push_back(mail);
        EXPECT_EQ(board_->MailCount(), seen.size()); // the board may be called back
        switch (mail.payload[0]) {
        case kGetVersion:
            return std::optional<std::vector<uint8_t>>({0xDE, 0xAD});
        case kWriteMem8:
            return std::optional<std::vector<uint8_t>>(std::vector<uint8_t>{});
        default:
            return std::optional<std::vector<uint8_t>>();
        }
    });
    Send(Request(kGetVersion));
    EXPECT_EQ(port_.ReadUntilQuiet(250ms), (std::vector<uint8_t>{0xDE, 0xAD}));
    Send(WriteMem8(0x20, {7}));
    EXPECT_TRUE(StaysQuiet());
    EXPECT_EQ(board_->ReadMemory(0x20, 1), (std::vector<uint8_t>{7})); // carried out all the same
    EXPECT_EQ(Exchange(ReadMem8(0x20, 1)), (std::vector<uint8_t>{2, 7}));
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[1].sequence, static_cast<uint8_t>(sequence_ - 1));
        EXPECT_EQ(seen[1].payload, WriteMem8(0x20, {7}));
    }
    board_->SetReplyOverride(nullptr);
    EXPECT_EQ((*Exchange(Request(kGetVersion)))[0], 36);
}

} // namespace
