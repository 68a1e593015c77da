// KOLT boards with external flash: one 16-bit device (types 1, 6, 13, 21,
// 23) or two 8-bit devices on the even and odd bytes (types 2, 7), and the
// faults the PC's failure handling is tested with.
#include "KoltFixture.h"

namespace {

constexpr uint32_t kBase = 0x080000;

TEST_F(KoltTest, ExternalFlashReportsItsIdentityAndErasesBySectorBlockAndChip) {
    StartBoard(Kolt(1));
    EXPECT_EQ(Exchange(Request(kFlashType)), (std::vector<uint8_t>{22, 0xBF, 0x00, 0x82, 0x27}));
    EXPECT_EQ(Confirm(Request(kSetProgCmdAddress).U32(kBase).U32(0x085554).U32(0x08AAAA), 30), 1);
    ASSERT_EQ(Confirm(Request(kChipErase), 20), 1);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kBase + 0x0FFE, {0x0102, 0x0304}), 1);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kBase + 0x10000, {0x0506}), 1);
    EXPECT_EQ(Read8(kBase + 0x0FFE, 4), (std::vector<uint8_t>{0x02, 0x01, 0x04, 0x03}));
    EXPECT_EQ(board_->FlashOverwrites(), 0u);
    // AND rule, and the bytes that needed an erase are counted.
    EXPECT_EQ(ProgramWords(kProgExtFlash, kBase + 0x0FFE, {0xFFF0}), 1);
    EXPECT_EQ(Read16(kBase + 0x0FFE), 0x0100);
    EXPECT_EQ(board_->FlashOverwrites(), 2u);

    // The 0x1000-byte sector holding the address, nothing next to it.
    EXPECT_EQ(Confirm(Request(kSectorErase).U32(kBase + 0x1002), 16), 1);
    EXPECT_EQ(Read8(kBase + 0x0FFE, 4), (std::vector<uint8_t>{0x00, 0x01, 0xFF, 0xFF}));
    EXPECT_EQ(Confirm(Request(kBlockErase).U32(kBase + 0x0800), 18), 1);
    EXPECT_EQ(Read16(kBase + 0x0FFE), 0xFFFF);
    EXPECT_EQ(Read16(kBase + 0x10000), 0x0506);
    EXPECT_EQ(Confirm(Request(kChipErase), 20), 1);
    EXPECT_EQ(Read16(kBase + 0x10000), 0xFFFF);
    // Outside the device, and a block erase on a device without blocks.
    EXPECT_EQ(ProgramWords(kProgExtFlash, kBase + 0x1FFFFE, {1, 2}), 0);
    EXPECT_EQ(Confirm(Request(kSectorErase).U32(0x040000), 16), 0);
    EXPECT_EQ(ProgramWords(kProgIntFlash, kBase, {0x1234}), 0);
}

TEST_F(KoltTest, ExternalFlashGeometryFollowsTheFlashId) {
    auto options = Kolt(6);
    options.flashManufacturer = 0x00C2;
    options.flashDevice = 0x22C4; // 0x10000-byte sectors, no blocks
    StartBoard(options);
    EXPECT_EQ(Exchange(Request(kFlashType)), (std::vector<uint8_t>{22, 0xC2, 0x00, 0xC4, 0x22}));
    ASSERT_EQ(ProgramWords(kProgExtFlash, kBase + 0xFFFE, {0x0000, 0x0000}), 1);
    EXPECT_EQ(Confirm(Request(kBlockErase).U32(kBase), 18), 0);
    EXPECT_EQ(Confirm(Request(kSectorErase).U32(kBase + 0x1000), 16), 1);
    EXPECT_EQ(Read8(kBase + 0xFFFE, 4), (std::vector<uint8_t>{0xFF, 0xFF, 0x00, 0x00}));
}

TEST_F(KoltTest, TouchedSectorBoardsMoveTheFlashToTheGivenBase) {
    StartBoard(Kolt(13));
    constexpr uint32_t kMoved = 0x100000;
    ASSERT_EQ(
        Confirm(Request(kSetProgCmdAddress).U32(kMoved).U32(kMoved + 0x5554).U32(kMoved + 0xAAAA),
                30),
        1);
    EXPECT_EQ(Confirm(Request(kSectorErase).U32(kMoved + 0x2000), 16), 1);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kMoved + 0x2000, {0xBEEF}), 1);
    EXPECT_EQ(Read16(kMoved + 0x2000), 0xBEEF);
    EXPECT_EQ(board_->FlashOverwrites(), 0u);
}

// The PC's even and odd device command addresses, and its reads.
class Pair8Test : public KoltTest {
  protected:
    void Sequence(int lane, const std::vector<uint8_t>& values) {
        static constexpr uint32_t kAt[] = {0xAAAA, 0x5554};
        for (size_t i = 0; i < values.size(); ++i) {
            const uint32_t at = kBase + (values[i] == 0x55 ? kAt[1] : kAt[0]) + lane;
            ASSERT_EQ(Confirm(WriteMem8(at, {values[i]}), 4), 1);
        }
    }
    uint8_t ReadByte(uint32_t address) {
        const auto bytes = Read8(address, 1);
        return bytes.empty() ? 0 : bytes[0];
    }
};

TEST_F(Pair8Test, AutoselectShowsEachDevicesIdentityUntilReset) {
    auto options = Kolt(2);
    options.flash8Manufacturer = 0x1F;
    options.flash8Device = 0x13;
    StartBoard(options);
    ASSERT_EQ(ProgramWords(kProgExt2Flash8, kBase, {0x2211, 0x4433}), 1);
    for (int lane : {0, 1}) {
        Sequence(lane, {0xAA, 0x55, 0x90});
        EXPECT_EQ(ReadByte(kBase + lane), 0x1F) << lane;
        EXPECT_EQ(ReadByte(kBase + 2 + lane), 0x13) << lane;
        // The other device still reads its data.
        EXPECT_EQ(ReadByte(kBase + (1 - lane)), lane == 0 ? 0x22 : 0x11);
        Sequence(lane, {0xAA, 0x55, 0xF0});
    }
    EXPECT_EQ(Read8(kBase, 4), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
}

TEST_F(Pair8Test, ChipEraseReadsBusyThenErasedOnlyOnItsLane) {
    StartBoard(Kolt(7));
    ASSERT_EQ(ProgramWords(kProgExt2Flash8, kBase, {0x2211, 0x4433}), 1);
    EXPECT_EQ(board_->FlashOverwrites(), 0u);
    Sequence(0, {0xAA, 0x55, 0x80, 0xAA, 0x55, 0x10});
    EXPECT_NE(ReadByte(kBase), 0xFF);
    EXPECT_EQ(ProgramWords(kProgExt2Flash8, kBase + 4, {0x0000}), 0) << "while erasing";
    const auto start = std::chrono::steady_clock::now();
    while (ReadByte(kBase) != 0xFF) {
        ASSERT_LT(std::chrono::steady_clock::now() - start, 6000ms);
    }
    EXPECT_EQ(Read8(kBase, 4), (std::vector<uint8_t>{0xFF, 0x22, 0xFF, 0x44}));
    // The odd bytes were never erased: programming them counts.
    ASSERT_EQ(ProgramWords(kProgExt2Flash8, kBase, {0x5A5A}), 1);
    EXPECT_EQ(Read8(kBase, 2), (std::vector<uint8_t>{0x5A, 0x02}));
    EXPECT_EQ(board_->FlashOverwrites(), 1u);
}

TEST_F(KoltTest, StuckBusyKeepsTheControllerAndTheByteErasesBusy) {
    auto options = Kolt(0);
    options.stuckBusy = true;
    StartBoard(options);
    ASSERT_EQ(Write16(kController, 0x000B), 1);
    EXPECT_FALSE(WaitNotBusy(kBusyBits, 300ms));
    port_.Close();

    options.targetType = 2;
    StartBoard(options);
    // The even device's chip erase.
    const std::vector<std::pair<uint32_t, uint8_t>> erase = {{0xAAAA, 0xAA}, {0x5554, 0x55},
                                                             {0xAAAA, 0x80}, {0xAAAA, 0xAA},
                                                             {0x5554, 0x55}, {0xAAAA, 0x10}};
    for (const auto& [at, value] : erase) {
        ASSERT_EQ(Confirm(WriteMem8(kBase + at, {value}), 4), 1);
    }
    EXPECT_FALSE(WaitFor(
        [&] {
            const auto bytes = Read8(kBase, 1);
            return !bytes.empty() && bytes[0] == 0xFF;
        },
        300ms));
}

TEST_F(KoltTest, SilentAfterStopsProgrammingMidway) {
    auto options = Kolt(1);
    options.faults.silentAfter = 2;
    StartBoard(options);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kBase, {0x1111}), 1);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kBase + 2, {0x2222}), 1);
    Send(Request(kProgExtFlash).U32(kBase + 4).U16(1).U16(0x3333));
    EXPECT_TRUE(StaysQuiet());
    EXPECT_EQ(board_->ReadMemory(kBase, 6),
              (std::vector<uint8_t>{0x11, 0x11, 0x22, 0x22, 0xFF, 0xFF}));
}

} // namespace
