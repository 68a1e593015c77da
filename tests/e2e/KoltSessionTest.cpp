// Whole sessions on KOLT-family boards: every type, chip identities,
// failures while programming, images at high addresses.
#include "KoltSessionFixture.h"

class KoltTypeTest : public KoltSessionTest, public ::testing::WithParamInterface<int> {};

TEST_P(KoltTypeTest, ImageLandsInFlashAndTheBoardRestarts) {
    const int type = GetParam();
    vtarget::BoardOptions options;
    options.targetType = type;
    StartBoard(options);
    const auto pieces = GappedImage(static_cast<uint32_t>(type));
    const auto codes = RunSession(static_cast<uint32_t>(type), HexImage("image", pieces), 1);
    const auto image = Flatten(pieces, kFlashBase);
    ExpectFlashHolds(image, kFlashBase);
    EXPECT_EQ(AwaitRestart(), std::optional<uint32_t>(kFlashBase));
    EXPECT_EQ(Ctx().serial.port, kNoPort);

    const bool peld = type == 19;
    const std::initializer_list<uint16_t> chip = {kText, kText, kText, kText};
    const std::initializer_list<uint16_t> peldChip = {kText, kText, kText};
    const std::initializer_list<uint16_t> tail = {PROGRAM_PROGRESS_IND, PROGRAMMING_SUCCESS_IND,
                                                  CRC_OK_IND, RESET_TARGET_IND};
    std::vector<uint16_t> expected;
    switch (type) {
    case 1:
    case 6:
    case 21:
        expected = Expected(chip, {FLASHTYPE_IND, CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND,
                                   PROGRAM_PROGRESS_IND, PROGRAMMING_SUCCESS_IND, CRC_OK_IND,
                                   RESET_TARGET_IND});
        break;
    case 2:
    case 7:
        expected = Expected(chip, {FLASHTYPE_IND, FLASHTYPE_IND, CHIP_ERASE_START_IND,
                                   CHIP_ERASE_FINISHED_IND, PROGRAM_PROGRESS_IND,
                                   PROGRAMMING_SUCCESS_IND, CRC_OK_IND, RESET_TARGET_IND});
        break;
    case 13:
    case 23:
        // Windows of 0x1000 bytes: the first and third are verified; the
        // second ends blank and the fourth is not complete.
        expected =
            Expected(chip, {FLASHTYPE_IND, kText, ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND,
                            CRC_OK_IND, ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND, ERASE_SECTOR_IND,
                            PROGRAM_PROGRESS_IND, CRC_OK_IND, ERASE_SECTOR_IND,
                            PROGRAM_PROGRESS_IND, PROGRAMMING_SUCCESS_IND, RESET_TARGET_IND});
        break;
    default:
        expected =
            Expected(peld ? peldChip : chip, {CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND});
        expected.insert(expected.end() - 1, tail);
        break;
    }
    EXPECT_THAT(Collapsed(codes), ElementsAreArray(expected));
}

INSTANTIATE_TEST_SUITE_P(Kolt, KoltTypeTest,
                         ::testing::Values(0, 1, 2, 5, 6, 7, 11, 12, 13, 19, 20, 21, 23),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Type" + std::to_string(info.param);
                         });

TEST_F(KoltSessionTest, LargeImageSpansTwoEraseUnits) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    StartBoard(options);
    const std::vector<Piece> pieces = {{kFlashBase, testfiles::RandomBytes(0x40001, 5)}};
    const auto codes = RunSession(0, HexImage("large", pieces), 2);
    ExpectFlashHolds(pieces[0].bytes, kFlashBase);
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
    EXPECT_EQ(Board().ReadMemory(kFlashBase + 0x40001, 1), std::vector<uint8_t>{0xFF});
}

TEST_F(KoltSessionTest, CorruptedWordGivesCrcErrorAndNoRestart) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    options.corruptWord = kFlashBase + 0x100;
    StartBoard(options);
    const auto codes = RunSession(0, HexImage("image", GappedImage(7)), 3);
    EXPECT_THAT(codes, Contains(CRC_ERROR_IND));
    EXPECT_THAT(codes, Not(Contains(CRC_OK_IND)));
    EXPECT_THAT(codes, Not(Contains(RESET_TARGET_IND)));
    EXPECT_FALSE(Board().RestartAddress().has_value());
}

TEST_F(KoltSessionTest, MailFailureWhileProgrammingStopsAtOnce) {
    vtarget::BoardOptions options;
    options.targetType = 1;
    options.faults.silentAfter = 12; // a few blocks into the image
    StartBoard(options);
    const auto codes = RunSession(1, HexImage("image", GappedImage(8)), 4);
    EXPECT_THAT(codes, Contains(MAIL_ERROR_IND));
    EXPECT_THAT(codes, Not(Contains(PROGRAMMING_SUCCESS_IND)));
    EXPECT_THAT(codes, Not(Contains(CRC_OK_IND)));
    EXPECT_THAT(codes, Not(Contains(CRC_ERROR_IND)));
    EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
    EXPECT_FALSE(Board().RestartAddress().has_value());
}

TEST_F(KoltSessionTest, UnreadableImageIsReportedBeforeAnySize) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    StartBoard(options);
    const std::string hex = dir_->file("broken.hex");
    testfiles::WriteFile(hex, ":10000000ZZ\n");
    const auto codes = RunSession(0, hex, 5);
    EXPECT_THAT(codes, Contains(HEX_FILE_ERROR_IND));
    EXPECT_THAT(codes, Not(Contains(PROGRAM_SIZE_IND)));
}

TEST_F(KoltSessionTest, TouchedSectorsRefuseAnUnknownFlash) {
    vtarget::BoardOptions options;
    options.targetType = 13;
    options.flashManufacturer = 0x0001;
    options.flashDevice = 0x1234;
    StartBoard(options);
    RunSession(13, HexImage("image", GappedImage(9)), 6);
    std::vector<std::string> texts;
    for (const auto& i : IndicationsOf(6)) {
        if (i.code == TEXT_INFO_IND) {
            texts.push_back(i.text);
        }
    }
    EXPECT_THAT(texts, Contains("### UNKNOWN FLASHTYPE ###"));
    EXPECT_THAT(CodesOf(6), Not(Contains(ERASE_SECTOR_IND)));
}

TEST_F(KoltSessionTest, TwoBoardsAtOnce) {
    vtarget::BoardOptions options;
    options.targetType = 1;
    StartBoard(options);
    vtarget::BoardOptions second = options;
    second.targetType = 0;
    second.linkPath = dir_->file("second-board");
    vtarget::Board other(second);
    std::string error;
    ASSERT_TRUE(other.Start(error)) << error;
    ComPortMapping mapping(kPort + 1, second.linkPath);

    SetDebug(DEBUG_INDICATIONS);
    const auto a = GappedImage(21);
    const auto b = GappedImage(22);
    const std::string hexA = HexImage("a", a);
    const std::string hexB = HexImage("b", b);
    ASSERT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, 1, hexA.c_str(), 11), FLASHLOADER_STARTED);
    ASSERT_EQ(FlashLoader(kPort + 1, kDuplex, kWorkRate, 0, hexB.c_str(), 12), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(11, std::chrono::seconds(120)));
    ASSERT_TRUE(WaitForStop(12, std::chrono::seconds(120)));
    ExpectFlashHolds(Flatten(a, kFlashBase), kFlashBase);
    EXPECT_EQ(other.ReadMemory(kFlashBase, 0x3001), Flatten(b, kFlashBase));
    EXPECT_THAT(CodesOf(11), Contains(CRC_OK_IND));
    EXPECT_THAT(CodesOf(12), Contains(CRC_OK_IND));
    EXPECT_TRUE(testfiles::FileExists(dir_->file("Session_11.log")));
    EXPECT_TRUE(testfiles::FileExists(dir_->file("Session_12.log")));
    other.Stop();
}

TEST_F(KoltSessionTest, BlankImageReportsProgressButSendsNoProgrammingMail) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    StartBoard(options);
    const std::vector<Piece> pieces = {{kFlashBase, std::vector<uint8_t>(0x1000, 0xFF)}};
    const auto codes = RunSession(0, HexImage("blank", pieces), 7);
    EXPECT_THAT(codes, Contains(PROGRAM_PROGRESS_IND));
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
    EXPECT_THAT(ReceivedCodes(), Not(Contains(PROG_INT_FLASH_REQ)));
}

TEST_F(KoltSessionTest, ControllerStuckBusyFailsAfterFiveSeconds) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    options.stuckBusy = true;
    StartBoard(options);
    const auto start = std::chrono::steady_clock::now();
    const auto codes = RunSession(0, HexImage("image", GappedImage(10)), 8);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_THAT(codes, Contains(MAIL_ERROR_IND));
    EXPECT_THAT(codes, Not(Contains(CHIP_ERASE_FINISHED_IND)));
    EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
}

// Images above the first erase unit, one of them at an odd address: the
// flash holds them where the file puts them and the board restarts from the
// 4 KB page that holds their start.
struct HighImage {
    int type;
    uint32_t start;
    std::vector<uint16_t> eraseCommands; // internal flash only
};

class KoltHighImageTest : public KoltSessionTest,
                          public ::testing::WithParamInterface<HighImage> {};

TEST_P(KoltHighImageTest, LandsWhereTheFilePutsItAndRestartsFromItsPage) {
    const HighImage& param = GetParam();
    vtarget::BoardOptions options;
    options.targetType = param.type;
    StartBoard(options);
    const std::vector<Piece> pieces = {{param.start, testfiles::RandomBytes(0x1800, 31)},
                                       {param.start + 0x2000, testfiles::RandomBytes(0x1001, 32)}};
    const auto codes = RunSession(static_cast<uint32_t>(param.type), HexImage("high", pieces), 20);
    ExpectFlashHolds(Flatten(pieces, param.start), param.start);
    EXPECT_EQ(Board().ReadMemory(param.start - 1, 1), std::vector<uint8_t>{0xFF});
    EXPECT_EQ(Board().FlashOverwrites(), 0u);
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
    EXPECT_EQ(AwaitRestart(), std::optional<uint32_t>(param.start >> 12 << 12));
    if (param.type == 0) {
        EXPECT_THAT(EraseCommands(), ElementsAreArray(param.eraseCommands));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kolt, KoltHighImageTest,
    ::testing::Values(HighImage{0, 0x0C0000, {0x000B, 0x0007, 0x008B, 0x0087}},
                      HighImage{0, 0x123457, {0x000B, 0x0007, 0x0007, 0x008B, 0x0087, 0x0087}},
                      HighImage{1, 0x0C0000, {}}, HighImage{1, 0x123457, {}}),
    [](const ::testing::TestParamInfo<HighImage>& info) {
        char name[32];
        std::snprintf(name, sizeof name, "Type%dAt%06X", info.param.type, info.param.start);
        return std::string(name);
    });

// A programming mail that stays unanswered a few blocks into the image: the
// step that sent it reports the timeout with its text, the session adds a
// last MAIL_ERROR_IND without text, and nothing after programming runs.
struct ProgrammingFailure {
    int type;
    uint8_t primitive;
    char reportBase; // first digit of the reporting file's check numbers
};

class KoltProgrammingFailureTest : public KoltSessionTest,
                                   public ::testing::WithParamInterface<ProgrammingFailure> {};

TEST_P(KoltProgrammingFailureTest, ReportsOncePerLevelThenStops) {
    const ProgrammingFailure& param = GetParam();
    constexpr int kBlocksAnswered = 3;
    vtarget::BoardOptions options;
    options.targetType = param.type;
    if (param.type == 1) {
        // Monitor start, identification, bus setup, flash command
        // addresses, flash type and chip erase: 16 mails before the first
        // block.
        options.faults.silentAfter = 16 + kBlocksAnswered;
    }
    StartBoard(options);
    if (param.type != 1) {
        // The controller polls before the first block vary in number, so
        // the board falls silent by programming mails instead.
        auto answered = std::make_shared<std::atomic<int>>(0);
        Board().SetReplyOverride(
            [answered, primitive = param.primitive](
                const vtarget::ReceivedMail& mail) -> std::optional<std::vector<uint8_t>> {
                if (mail.payload[0] == primitive && ++*answered > kBlocksAnswered) {
                    return std::vector<uint8_t>{};
                }
                return std::nullopt;
            });
    }
    const auto pieces = GappedImage(40);
    const auto codes = RunSession(static_cast<uint32_t>(param.type), HexImage("image", pieces), 21);

    // Three blocks answered, the fourth sent three times and never answered.
    size_t programmingMails = 0;
    for (uint8_t code : ReceivedCodes()) {
        programmingMails += code == param.primitive;
    }
    EXPECT_EQ(programmingMails, kBlocksAnswered + 3);
    const auto image = Flatten(pieces, kFlashBase);
    ExpectFlashHolds({image.begin(), image.begin() + 3 * 0x200}, kFlashBase);
    EXPECT_EQ(Board().ReadMemory(kFlashBase + 4 * 0x200, 0x200), std::vector<uint8_t>(0x200, 0xFF));

    const std::initializer_list<uint16_t> chip = {kText, kText, kText, kText};
    std::vector<uint16_t> expected =
        param.type == 0
            ? Expected(chip, {CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND})
            : Expected(chip, {FLASHTYPE_IND, CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND});
    expected.insert(expected.end() - 1,
                    {PROGRAM_PROGRESS_IND, MAIL_ERROR_IND, kText, MAIL_ERROR_IND});
    EXPECT_THAT(Collapsed(codes), ElementsAreArray(expected));

    const auto indications = IndicationsOf(21);
    ASSERT_GE(indications.size(), 4u);
    const auto tail = std::vector<RecordedIndication>(indications.end() - 4, indications.end());
    EXPECT_EQ(tail[0].long0 & 0xFFFF, uint32_t{MAIL_TIMEOUT});
    EXPECT_THAT(tail[1].text,
                IsErrorLogLine(param.reportBase + std::string("[0-9]{3}"), "ProgKolt"));
    EXPECT_EQ(tail[2].long0 & 0xFFFF, uint32_t{MAIL_TIMEOUT});
    EXPECT_EQ(tail[2].text, "");
    EXPECT_FALSE(Board().RestartAddress().has_value());
    EXPECT_TRUE(OpenLink()) << "the session left the port open";
}

INSTANTIATE_TEST_SUITE_P(Kolt, KoltProgrammingFailureTest,
                         ::testing::Values(ProgrammingFailure{0, PROG_INT_FLASH_REQ, '2'},
                                           ProgrammingFailure{1, PROG_EXT_FLASH_REQ, '3'}),
                         [](const ::testing::TestParamInfo<ProgrammingFailure>& info) {
                             return "Type" + std::to_string(info.param.type);
                         });

TEST_F(KoltSessionTest, KoltASecondRevisionKeepsItsFlashConfiguration) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    options.vrev = 'B';
    StartBoard(options);
    const auto pieces = GappedImage(41);
    const auto codes = RunSession(0, HexImage("image", pieces), 22);
    EXPECT_THAT(TextsOf(22), Contains("VREV  : B = second revision "));
    EXPECT_FALSE(Board().WasWritten(kFlashConfig));
    EXPECT_THAT(Board().InfoBlockWrites(), ElementsAre(vtarget::WordWrite{0x080002, 0x5070}));
    ExpectFlashHolds(Flatten(pieces, kFlashBase), kFlashBase);
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
    EXPECT_EQ(AwaitRestart(), std::optional<uint32_t>(kFlashBase));
}

TEST_F(KoltSessionTest, PeldShowsRevisionAndMetalWithoutModeLine) {
    vtarget::BoardOptions options;
    options.targetType = 19;
    options.vrev = 0x21;
    StartBoard(options);
    const auto pieces = GappedImage(42);
    const auto codes = RunSession(19, HexImage("image", pieces), 23);
    EXPECT_THAT(TextsOf(23), ElementsAre("VDEV  : P1A ", "VCONF : 0x43 = C = ????????? ",
                                         "VREV=0x02  VMETAL=0x01"));
    EXPECT_THAT(WritesTo(kFlashConfig), ElementsAre(1));
    ExpectFlashHolds(Flatten(pieces, kFlashBase), kFlashBase);
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
}

TEST_F(KoltSessionTest, UnknownChipIsShownAsSuchAndStillProgrammed) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    options.chip = "XYZ";
    options.vconf = 'Z';
    options.vrev = 'Z';
    options.vmode = '9';
    StartBoard(options);
    const auto pieces = GappedImage(43);
    const auto codes = RunSession(0, HexImage("image", pieces), 24);
    EXPECT_THAT(TextsOf(24), ElementsAre("VDEV  : XYZ ", "VCONF : 0x5A = Z = ????????? ",
                                         "VREV  : Z = ????????? ", "VMODE : 9 = ?????????       ",
                                         "### UNKNOWN TARGET TYPE [InternalKoltFlash()] ###",
                                         "### UNKNOWN TARGET TYPE [in set info block] ###"));
    EXPECT_FALSE(Board().WasWritten(kFlashConfig));
    EXPECT_THAT(Board().InfoBlockWrites(), ElementsAre(vtarget::WordWrite{0x080002, 0x5070}));
    ExpectFlashHolds(Flatten(pieces, kFlashBase), kFlashBase);
    EXPECT_THAT(codes, Contains(PROGRAMMING_SUCCESS_IND));
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
    EXPECT_EQ(AwaitRestart(), std::optional<uint32_t>(kFlashBase));
}
