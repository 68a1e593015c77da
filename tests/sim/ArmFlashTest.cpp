// The ARM boards over their pseudo-terminal, driven as the PC's ARM
// programmer drives them: the ML675001's flash at 0xC8000000 and the
// S3C44B0X's at 0 with the window the board keeps for itself, and the
// ML675001 boot ROM loading a user's program into memory.
#include "BootFixture.h"
#include "KoltFixture.h"

namespace {

constexpr uint32_t kMlFlash = 0xC8000000;
constexpr uint32_t kWindow = 0x10000;

class ArmFlashTest : public KoltTest {
  protected:
    void StartArm(int type, vtarget::BoardOptions options = RunningMonitor()) {
        options.targetType = type;
        StartBoard(options);
    }

    int SetCommandAddresses(uint32_t base, uint32_t second, uint32_t first) {
        return Confirm(Request(kSetProgCmdAddress).U32(base).U32(second).U32(first), 30);
    }

    int Erase(uint8_t code, uint32_t address) {
        return Confirm(Request(code).U32(address), static_cast<uint8_t>(code + 1));
    }

    static std::vector<uint16_t> Words(size_t count, uint16_t first) {
        std::vector<uint16_t> words(count);
        for (size_t i = 0; i < count; ++i) {
            words[i] = static_cast<uint16_t>(first + i);
        }
        return words;
    }
};

TEST_F(ArmFlashTest, Ml675001FlashObeysOnlyItsOwnCommandAddresses) {
    StartArm(14);
    EXPECT_EQ(Exchange(Request(kFlashType)), (std::vector<uint8_t>{22, 0xBF, 0x00, 0x4B, 0x23}))
        << "an SST39VF1601 when the flash id is left at the default";
    EXPECT_EQ(ProgramWords(kProgExtFlash, kMlFlash, {0x1234}), 0) << "no command addresses yet";
    ASSERT_EQ(SetCommandAddresses(kMlFlash, 0x085554, 0x08AAAA), 1);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kMlFlash, {0x1234}), 0) << "a KOLT board's addresses";
    EXPECT_EQ(Confirm(Request(kChipErase), 20), 0);

    ASSERT_EQ(SetCommandAddresses(kMlFlash, kMlFlash + 0x5554, kMlFlash + 0xAAAA), 1);
    ASSERT_EQ(Confirm(Request(kChipErase), 20), 1);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kMlFlash + 0x800, Words(1024, 0x4000)), 1);
    EXPECT_EQ(Read16(kMlFlash + 0x800), 0x4000);
    EXPECT_EQ(Read16(kMlFlash + 0xFFE), 0x43FF);
    EXPECT_EQ(Read16(kMlFlash + 0x1000), 0xFFFF);
    EXPECT_EQ(board_->FlashOverwrites(), 0u);

    // The AND rule; bytes that needed an erase are counted.
    EXPECT_EQ(ProgramWords(kProgExtFlash, kMlFlash + 0x2000, {0x0F0F}), 1);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kMlFlash + 0x2000, {0xF0FF}), 1);
    EXPECT_EQ(Read16(kMlFlash + 0x2000), 0x000F);
    EXPECT_EQ(board_->FlashOverwrites(), 2u);
    EXPECT_EQ(Confirm(Request(kChipErase), 20), 1);
    EXPECT_EQ(Read16(kMlFlash + 0x2000), 0xFFFF);

    // Plain writes do not reach the flash; RAM lies around it.
    EXPECT_EQ(Write16(kMlFlash + 0x2000, 0x1111), 1);
    EXPECT_EQ(Read16(kMlFlash + 0x2000), 0xFFFF);
    EXPECT_EQ(Write16(0x10000000, 0x2222), 1);
    EXPECT_EQ(Read16(0x10000000), 0x2222);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kMlFlash + 0x200000, {1}), 0) << "past the flash";
    EXPECT_EQ(ProgramWords(kProgIntFlash, kMlFlash, {1}), 0);
    EXPECT_EQ(board_->ProtectedWindowFaults(), 0u) << "the ML675001 keeps no window";
}

TEST_F(ArmFlashTest, S3c44b0xCountsEveryRequestThatTouchesItsWindow) {
    StartArm(18);
    EXPECT_EQ(Exchange(Request(kFlashType)), (std::vector<uint8_t>{22, 0xBF, 0x00, 0x4B, 0x23}));
    ASSERT_EQ(SetCommandAddresses(0, 0x5554, 0xAAAA), 1);
    // Around the window: no fault.
    EXPECT_EQ(Erase(kBlockErase, 0), 1);
    EXPECT_EQ(ProgramWords(kProgExtFlash, kWindow - 0x800, Words(1024, 0)), 1);
    EXPECT_EQ(Erase(kSectorErase, 0x20000), 1);
    EXPECT_EQ(ProgramWords(kProgExtFlash, 0x20000, {0xABCD}), 1);
    EXPECT_EQ(board_->ProtectedWindowFaults(), 0u);
    EXPECT_EQ(Read16(kWindow - 2), 1023);
    EXPECT_EQ(Read16(0x20000), 0xABCD);

    // Each of these reaches into it, and is carried out all the same.
    EXPECT_EQ(ProgramWords(kProgExtFlash, kWindow - 2, {0x1111, 0x2222}), 1);
    EXPECT_EQ(board_->ProtectedWindowFaults(), 1u);
    EXPECT_EQ(Read16(kWindow), 0x2222);
    EXPECT_EQ(Erase(kSectorErase, 0x1FFFE), 1);
    EXPECT_EQ(board_->ProtectedWindowFaults(), 2u);
    EXPECT_EQ(Erase(kBlockErase, kWindow + 0x10), 1);
    EXPECT_EQ(board_->ProtectedWindowFaults(), 3u);
    EXPECT_EQ(Read16(kWindow), 0xFFFF);
    EXPECT_EQ(Confirm(Request(kChipErase), 20), 1);
    EXPECT_EQ(board_->ProtectedWindowFaults(), 4u);
    EXPECT_EQ(Read16(0x20000), 0xFFFF);
}

TEST_F(ArmFlashTest, S3c44b0xGeometryFollowsTheFlashId) {
    auto options = RunningMonitor();
    options.flashManufacturer = 0x00C2;
    options.flashDevice = 0x2249; // MX29LV160 bottom: 64 KB sectors, no blocks
    StartArm(22, options);
    EXPECT_EQ(Exchange(Request(kFlashType)), (std::vector<uint8_t>{22, 0xC2, 0x00, 0x49, 0x22}));
    ASSERT_EQ(SetCommandAddresses(0, 0x5554, 0xAAAA), 1);
    ASSERT_EQ(ProgramWords(kProgExtFlash, 0x2FFFE, {0x0000, 0x0000}), 1);
    EXPECT_EQ(Erase(kBlockErase, 0x20000), 0) << "no blocks";
    EXPECT_EQ(Erase(kSectorErase, 0x21000), 1);
    EXPECT_EQ(Read8(0x2FFFE, 4), (std::vector<uint8_t>{0xFF, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(Erase(kSectorErase, 0x12345), 1);
    EXPECT_EQ(board_->ProtectedWindowFaults(), 1u);
}

// The boot ROM of types 14 and 15: a user's program goes into memory, the
// monitor does not.
class ArmRomTest : public BootTest {
  protected:
    std::vector<uint8_t> Load(const std::string& text) {
        EXPECT_TRUE(port_.SetXonXoff(true));
        std::vector<uint8_t> seen;
        for (int i = 0; i < 50 && seen.empty(); ++i) {
            EXPECT_TRUE(port_.Write({0x00}));
            seen = port_.Read(1, 20ms);
        }
        EXPECT_EQ(seen, std::vector<uint8_t>{'y'});
        EXPECT_TRUE(port_.Write({0x00}));
        EXPECT_TRUE(port_.Write(BytesOf(text)));
        return port_.ReadUntilQuiet(300ms);
    }

    std::vector<uint8_t> Start() {
        EXPECT_TRUE(port_.Write({'1'}));
        return port_.Read(1, 300ms);
    }
};

TEST_F(ArmRomTest, UserProgramIsLoadedIntoMemory) {
    StartBootLoader(15);
    std::vector<uint8_t> program(600);
    for (size_t i = 0; i < program.size(); ++i) {
        program[i] = static_cast<uint8_t>(i * 7);
    }
    const std::string text = HexText(program, 0x10000100);
    ASSERT_EQ(Load(text), std::vector<uint8_t>{'>'});
    EXPECT_EQ(Start(), std::vector<uint8_t>{'.'});
    EXPECT_EQ(board_->ReceivedImage(), BytesOf(text));
    EXPECT_EQ(board_->ReadMemory(0x10000100, 600), program);
    EXPECT_EQ(board_->CurrentStage(), vtarget::Stage::BootLoader);
}

TEST_F(ArmRomTest, MonitorDoesNotGoIntoMemory) {
    StartBootLoader(14);
    ASSERT_EQ(Load(HexText(MonitorImage(7, 300), 0)), std::vector<uint8_t>{'>'});
    EXPECT_EQ(Start(), std::vector<uint8_t>{'.'});
    EXPECT_EQ(board_->CurrentStage(), vtarget::Stage::Monitor);
    EXPECT_EQ(board_->ReadMemory(0, 300), std::vector<uint8_t>(300, 0xFF));
}

} // namespace
