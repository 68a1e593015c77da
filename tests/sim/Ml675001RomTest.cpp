// The ML675001 boot ROM: synchronisation, Intel HEX text under XON/XOFF
// flow control, and what runs once the PC says '1'.
#include "BootFixture.h"

#include <algorithm>
#include <thread>

namespace {

using vtarget::Stage;

constexpr uint8_t kXoff = 0x13;
constexpr uint8_t kXon = 0x11;

class Ml675001RomTest : public BootTest {
  protected:
    // 0x00 bytes until the 'y', one more after it, as the PC sends them.
    void Synchronise() {
        std::vector<uint8_t> seen;
        for (int i = 0; i < 50 && seen.empty(); ++i) {
            ASSERT_TRUE(port_.Write({0x00}));
            seen = port_.Read(1, 20ms);
        }
        ASSERT_EQ(seen, std::vector<uint8_t>{'y'});
        ASSERT_TRUE(port_.Write({0x00, 0x00}));
    }

    // Synchronises and sends the text; the bytes the PC then reads.
    std::vector<uint8_t> Load(const std::string& text, bool xonXoff) {
        EXPECT_TRUE(port_.SetXonXoff(xonXoff));
        Synchronise();
        EXPECT_TRUE(port_.Write(BytesOf(text)));
        return port_.ReadUntilQuiet(300ms);
    }

    std::vector<uint8_t> Start() {
        EXPECT_TRUE(port_.Write({'1'}));
        return port_.Read(1, 300ms);
    }
};

TEST_F(Ml675001RomTest, MonitorAsHexTextRunsAfterTheStartCommand) {
    StartBootLoader(14);
    const std::string text = HexText(MonitorImage(7, 300), 0);
    // With IXON on, the line discipline takes the XOFF and XON after each
    // record; the PC reads only the '>'.
    EXPECT_EQ(Load(text, true), std::vector<uint8_t>{'>'});
    // A PC whose writes take their line time (16087 characters: 1.4 s)
    // looks for the '>' only then; the ROM still takes its '1'.
    std::this_thread::sleep_for(1100ms);
    EXPECT_EQ(Start(), std::vector<uint8_t>{'.'});
    EXPECT_EQ(board_->CurrentStage(), Stage::Monitor);
    EXPECT_EQ(board_->ReceivedImage(), BytesOf(text));
    ASSERT_TRUE(port_.SetXonXoff(false));
    EXPECT_EQ(Confirm(Request(kSetBaudRate).U32(460800), 34), 1);
    ASSERT_TRUE(port_.SetRate(460800));
    EXPECT_TRUE(Exchange(ReadMem8(0, 1)));
}

// Without flow control the PC's text overruns the ROM: the PC reads the
// XOFF and XON of every record, and the ROM never says it has loaded.
TEST_F(Ml675001RomTest, TextWithoutFlowControlIsAnOverrun) {
    StartBootLoader(14);
    const std::string text = HexText(MonitorImage(7, 300), 0);
    const auto seen = Load(text, false);
    const auto records = std::count(text.begin(), text.end(), '\n');
    EXPECT_EQ(std::count(seen.begin(), seen.end(), kXoff), records);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), kXon), records);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), '>'), 0);
    EXPECT_EQ(board_->ReceivedImage(), BytesOf(text));
    EXPECT_EQ(board_->CurrentStage(), Stage::BootLoader);
}

TEST_F(Ml675001RomTest, RecordWithAWrongChecksumSpoilsTheDownload) {
    StartBootLoader(14);
    EXPECT_TRUE(Load(HexText(MonitorImage(7, 300), 0, 3), true).empty());
    // The ROM waits for the next synchronisation; this one goes through.
    EXPECT_EQ(Load(HexText(MonitorImage(7, 300), 0), true), std::vector<uint8_t>{'>'});
}

// Type 15 gets user files through the same ROM: data without a monitor
// header leave it in charge. A monitor header of the wrong size hangs it.
TEST_F(Ml675001RomTest, WhatRunsDependsOnTheLoadedData) {
    StartBootLoader(15);
    ASSERT_EQ(Load(HexText(std::vector<uint8_t>(100, 0xA5), 0x10000), true),
              std::vector<uint8_t>{'>'});
    EXPECT_EQ(Start(), std::vector<uint8_t>{'.'});
    EXPECT_EQ(board_->CurrentStage(), Stage::BootLoader);
    ASSERT_EQ(Load(HexText(MonitorImage(7, 300, 5708), 0), true), std::vector<uint8_t>{'>'});
    EXPECT_EQ(Start(), std::vector<uint8_t>{'.'});
    EXPECT_EQ(board_->CurrentStage(), Stage::Hung);
}

TEST_F(Ml675001RomTest, SynchronisationIsAnsweredOnce) {
    StartBootLoader(14);
    ASSERT_TRUE(port_.Write({0x00, 0x00, 0x00}));
    EXPECT_EQ(port_.ReadUntilQuiet(200ms), std::vector<uint8_t>{'y'});
}

} // namespace
