// The ATmega's resident boot loader: mails from the start, and the wake
// mail answered with one raw byte.
#include "BootFixture.h"

namespace {

using vtarget::Stage;

class AtmegaBootTest : public BootTest {};

// The PC's fixed wake bytes: a frame with sequence 0 and payload 5D 00 00 00.
const std::vector<uint8_t> kWakeMail = {0x10, 0x00, 0x07, 0x00, 0x00, 0x00,
                                        0x5D, 0x00, 0x00, 0x00, 0x5D};

TEST_F(AtmegaBootTest, WakeMailIsAnsweredWithOneRawByte) {
    vtarget::BoardOptions options;
    options.version = 0x0107;
    StartBootLoader(17, options);
    EXPECT_EQ(board_->ExpectedBaudRate(), 115200u);
    EXPECT_TRUE(StaysQuiet(300ms)); // no prompt
    ASSERT_TRUE(port_.Write(kWakeMail));
    EXPECT_EQ(port_.ReadUntilQuiet(200ms), std::vector<uint8_t>{0x02});
    ASSERT_TRUE(port_.Write(kWakeMail)); // the PC resends it until it hears
    EXPECT_EQ(port_.ReadUntilQuiet(200ms), std::vector<uint8_t>{0x02});
    const auto version = Exchange(Request(kGetVersion));
    ASSERT_TRUE(version);
    EXPECT_EQ(Le32At(*version, 1), 0x0107u);
    // Only that exact payload wakes it.
    Send(Request(0x5D).U8(1).U16(0));
    EXPECT_TRUE(StaysQuiet(200ms));
    EXPECT_EQ(board_->CurrentStage(), Stage::BootLoader);
}

TEST_F(AtmegaBootTest, BootLoaderMovesToTheWorkingRateAndServesRequests) {
    StartBootLoader(10);
    EXPECT_EQ(Confirm(Request(kSetBaudRate).U32(38400), 34), 1);
    ASSERT_TRUE(port_.SetRate(38400));
    EXPECT_EQ(Confirm(WriteMem8(0x100, {1, 2}), 4), 1);
    EXPECT_EQ(Exchange(ReadMem8(0x100, 2)), (std::vector<uint8_t>{2, 1, 2}));
    EXPECT_EQ(board_->RateHistory(), (std::vector<uint32_t>{115200, 38400}));
}

} // namespace
