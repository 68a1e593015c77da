// The rate steps the PC relies on after a chip download: some monitors move
// to 9600 baud before the PC asks for the working rate.
#include "BootFixture.h"

namespace {

using vtarget::Stage;

class RateStepTest : public BootTest {};

std::vector<uint8_t> WriteMem16(uint32_t address, uint16_t word) {
    return Request(kWriteMem16).U32(address).U16(1).U16(word);
}

// Types 5 to 7 boot at 8600; a word 0x0008 in their serial clock register
// makes it 9600 once the confirm has left.
TEST_F(RateStepTest, ClockRegisterWriteMovesTheChipTo9600) {
    StartBootLoader(7);
    ASSERT_EQ(Download(MonitorImage(0, 120)), Stage::Monitor);
    EXPECT_EQ(Confirm(WriteMem16(0xFFE324, 0x0008), 8), 1);
    EXPECT_EQ(Confirm(WriteMem16(0xFFE326, 0x0009), 8), 1);
    EXPECT_EQ(board_->ExpectedBaudRate(), 8600u);
    EXPECT_EQ(Confirm(WriteMem16(0xFFE326, 0x0008), 8), 1); // still at 8600
    EXPECT_EQ(board_->ExpectedBaudRate(), 9600u);
    ASSERT_TRUE(port_.SetRate(9600));
    EXPECT_EQ(Confirm(Request(kSetBaudRate).U32(57600), 34), 1);
    ASSERT_TRUE(port_.SetRate(57600));
    EXPECT_TRUE(Exchange(ReadMem8(0, 1)));
    EXPECT_EQ(board_->RateHistory(), (std::vector<uint32_t>{8600, 9600, 57600}));
}

// Types 20, 21 and 23 boot at 11520 and move to 9600 at SET_CONFIG.
TEST_F(RateStepTest, SetConfigMovesTheChipTo9600) {
    StartBootLoader(21);
    ASSERT_EQ(Download(MonitorImage(5, 90)), Stage::Monitor);
    EXPECT_TRUE(Exchange(Request(kGetVersion)));
    Send(Request(kSetConfig).U32(1));
    ASSERT_TRUE(WaitFor([this] { return board_->ExpectedBaudRate() == 9600; }));
    EXPECT_TRUE(StaysQuiet(100ms)); // SET_CONFIG is never answered
    ASSERT_TRUE(port_.SetRate(9600));
    EXPECT_TRUE(Exchange(ReadMem8(0, 1)));
    EXPECT_EQ(board_->RateHistory(), (std::vector<uint32_t>{11520, 9600}));
}

} // namespace
