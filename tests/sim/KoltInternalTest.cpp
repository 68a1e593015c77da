// KOLT boards with internal flash (types 0, 5, 11, 12, 19, 20): identity
// bytes, control registers, the flash controller, erase passes, programming,
// the info block and the restart, over the board's real pseudo-terminal.
#include "KoltFixture.h"

#include <zlib.h>

namespace {

struct IdentityCase {
    int targetType;
    std::string chip;
    uint8_t vrev;
    std::string expected; // VDEV VCONF VREV VMODE
};

TEST_F(KoltTest, IdentityBytesFollowTheTypeOrTheChosenChip) {
    const std::vector<IdentityCase> cases = {
        {0, "", 'C', "K1ACC5"},         {20, "", 'C', "K1ACC5"},   {11, "", 'C', "N1ACC5"},
        {12, "", 'C', "O1ACC5"},        {19, "", 'C', "P1ACC5"},   {5, "kolt-b", 'B', "K1BCB5"},
        {19, "peld-b", 0x21, "P1BC!5"}, {0, "XYZ", 'd', "XYZCd5"},
    };
    for (const auto& c : cases) {
        auto options = Kolt(c.targetType);
        options.chip = c.chip;
        options.vrev = c.vrev;
        StartBoard(options);
        const auto bytes = Read8(0xFFFFFA, 6);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.expected) << c.targetType << c.chip;
        // Identity bytes are read only.
        EXPECT_EQ(Confirm(WriteMem8(0xFFFFFD, {'Q'}), 4), 1);
        EXPECT_EQ(Read8(0xFFFFFD, 1), std::vector<uint8_t>{'C'});
        port_.Close();
        board_->Stop();
    }
}

TEST_F(KoltTest, RegistersRememberWritesAndRecordThem) {
    StartBoard(Kolt(0));
    EXPECT_EQ(Read16(0xFFE110), 0x01C0);
    EXPECT_FALSE(board_->WasWritten(0xFFE124));
    EXPECT_EQ(Write16(0xFFE110, 0x01C0 & 0xFE3F), 1);
    EXPECT_EQ(Write16(0xFFE124, 0x0003), 1);
    EXPECT_EQ(Read16(0xFFE110), 0x0000);
    EXPECT_EQ(Read16(0xFFE124), 0x0003);
    EXPECT_TRUE(board_->WasWritten(0xFFE124));
    EXPECT_EQ(board_->RegisterWrites(),
              (std::vector<vtarget::WordWrite>{{0xFFE110, 0x0000}, {0xFFE124, 0x0003}}));
}

TEST_F(KoltTest, ControllerShowsBusyBitsForAWhileAfterEachCommand) {
    auto options = Kolt(0);
    options.flashStepTime = 300ms;
    StartBoard(options);
    EXPECT_EQ(Read16(kController), 0x0000);
    ASSERT_EQ(Write16(kController, 0x000D), 1);
    EXPECT_EQ(Read16(kController), 0x000D | kBusyBits);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitNotBusy(kBusyBits));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_EQ(Read16(kController), 0x000D);
}

TEST_F(KoltTest, ErasedUnitTakesProgramsUnderTheProgramCommandWithTheAndRule) {
    StartBoard(Kolt(0));
    board_->WriteMemory(0x080000, {0x00, 0x00}); // flash ignores plain writes
    EXPECT_EQ(Read16(0x080000), 0xFFFF);
    // Not erased yet: refused even under the program command.
    ASSERT_EQ(Write16(kController, 0x000D), 1);
    EXPECT_EQ(ProgramWords(kProgIntFlash, 0x080000, {0x1234}), 0);
    ASSERT_EQ(Write16(kController, 0x0000), 1);

    EraseUnit(0x080000, 0x000B);
    ASSERT_EQ(Write16(kController, 0x000D), 1);
    EXPECT_EQ(ProgramWords(kProgIntFlash, 0x080000, {0x1234}), 0) << "first pass only";
    ASSERT_EQ(Write16(kController, 0x0000), 1);
    EraseUnit(0x080000, 0x008B);
    EXPECT_EQ(ProgramWords(kProgIntFlash, 0x080000, {0x1234}), 0) << "no program command";

    ASSERT_EQ(Write16(kController, 0x000D), 1);
    EXPECT_EQ(ProgramWords(kProgIntFlash, 0x080000, {0x2211, 0x4433, 0x00FF}), 1);
    EXPECT_EQ(Read8(0x080000, 4), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(board_->FlashOverwrites(), 0u);
    // Programming only clears bits.
    EXPECT_EQ(ProgramWords(kProgIntFlash, 0x080004, {0xFF0F}), 1);
    EXPECT_EQ(Read16(0x080004), 0x000F);
    EXPECT_EQ(board_->FlashOverwrites(), 1u);
    // Across into the unit at 0x0C0000, which was never erased.
    EXPECT_EQ(ProgramWords(kProgIntFlash, 0x0BFFFE, {0x0001, 0x0002}), 0);
    EXPECT_EQ(Read16(0x0BFFFE), 0xFFFF);
}

TEST_F(KoltTest, EraseNeedsTheUnlockWordsInOrderAndTheCommandOfItsUnit) {
    StartBoard(Kolt(0));
    EraseUnitFully(0x080000);
    ASSERT_EQ(Write16(kController, 0x000D), 1);
    ASSERT_EQ(ProgramWords(kProgIntFlash, 0x080000, {0x0000}), 1);
    ASSERT_EQ(Write16(kController, 0x0000), 1);
    // The command of another unit does not erase the first.
    EraseUnit(0x080000, 0x0007);
    EXPECT_EQ(Read16(0x080000), 0x0000);
    // Unlock words out of order do not erase.
    ASSERT_EQ(Write16(kController, 0x000B), 1);
    ASSERT_EQ(Write16(0x08AAAA, 0x5555), 1);
    ASSERT_EQ(Write16(0x085554, 0xAAAA), 1);
    ASSERT_EQ(Write16(0x080000, 0xFFFF), 1);
    EXPECT_EQ(Read16(0x080000), 0x0000);
    ASSERT_EQ(Write16(kController, 0x0000), 1);
    EraseUnit(0x080000, 0x000B);
    EXPECT_EQ(Read16(0x080000), 0xFFFF);
}

TEST_F(KoltTest, KoltBoardsHaveFourUnitsTheOthersTwo) {
    for (const auto& [type, chip, units] : std::vector<std::tuple<int, std::string, int>>{
             {0, "", 4}, {5, "kolt-b", 4}, {11, "", 2}, {12, "", 2}, {19, "peld-b", 2}}) {
        auto options = Kolt(type);
        options.chip = chip;
        StartBoard(options);
        for (uint32_t unit = 0x0C0000; unit < 0x180000; unit += 0x40000) {
            EraseUnitFully(unit);
            ASSERT_EQ(Write16(kController, 0x000D), 1);
            const bool present = unit < 0x080000 + units * 0x40000u;
            EXPECT_EQ(ProgramWords(kProgIntFlash, unit, {0x5AA5}), present ? 1 : 0)
                << type << " unit " << std::hex << unit;
            ASSERT_EQ(Write16(kController, 0x0000), 1);
        }
        port_.Close();
        board_->Stop();
    }
}

TEST_F(KoltTest, InfoBlockWordsStoreOnlyUnderTheInfoCommand) {
    StartBoard(Kolt(0));
    EraseUnitFully(0x080000);
    ASSERT_EQ(Write16(0x080008, 0x5A7A), 1);
    EXPECT_EQ(Read16(0x080008), 0xFFFF);
    ASSERT_EQ(Write16(kController, 0x0089), 1);
    ASSERT_EQ(Write16(0x080002, 0x5070), 1);
    ASSERT_EQ(Write16(0x080008, 0x5A7A), 1);
    ASSERT_EQ(Write16(0x08000A, 0x0002), 1);
    ASSERT_TRUE(WaitNotBusy(0x0010));
    ASSERT_EQ(Write16(kController, 0x0000), 1);
    EXPECT_EQ(Read16(0x080002), 0xFFFF) << "the info block is an array of its own";
    EXPECT_EQ(board_->InfoBlockWrites(),
              (std::vector<vtarget::WordWrite>{
                  {0x080002, 0x5070}, {0x080008, 0x5A7A}, {0x08000A, 0x0002}}));
}

TEST_F(KoltTest, RestartRunsFromTheBootAddressRegister) {
    auto options = Kolt(20);
    std::vector<uint32_t> restarts;
    options.onRestart = [&restarts](uint32_t address) { restarts.push_back(address); };
    StartBoard(options);
    EXPECT_FALSE(board_->RestartAddress());
    ASSERT_EQ(Write16(0xFFE20A, 0x0090), 1);
    ASSERT_EQ(Write16(0xFFE108, 0x0040), 1); // not the restart word
    EXPECT_FALSE(board_->RestartAddress());
    Send(Request(kWriteMem16).U32(0xFFE108).U16(1).U16(0x0080));
    ASSERT_TRUE(WaitFor([&] { return board_->RestartAddress().has_value(); }));
    EXPECT_EQ(*board_->RestartAddress(), 0x090000u);
    board_->Stop(); // the hook runs on the board thread, possibly still now
    EXPECT_EQ(restarts, std::vector<uint32_t>{0x090000});
}

TEST_F(KoltTest, CorruptWordFlipsABitSoTheCrcDiffers) {
    auto options = Kolt(0);
    options.corruptWord = 0x080006;
    StartBoard(options);
    EraseUnitFully(0x080000);
    ASSERT_EQ(Write16(kController, 0x000D), 1);
    const std::vector<uint16_t> words{0x1111, 0x2222, 0x3333, 0x4444};
    ASSERT_EQ(ProgramWords(kProgIntFlash, 0x080000, words), 1);
    EXPECT_EQ(Read16(0x080004), 0x3333);
    EXPECT_EQ(Read16(0x080006), 0x4445);

    const std::vector<uint8_t> image{0x11, 0x11, 0x22, 0x22, 0x33, 0x33, 0x44, 0x44};
    const auto answer = Exchange(Request(kCrc32).U32(0x080000).U32(0x080007));
    ASSERT_TRUE(answer && answer->size() == 5);
    EXPECT_NE(Le32At(*answer, 1), crc32(0, image.data(), static_cast<uInt>(image.size())));
}

} // namespace
