// Whole sessions on KOLT-family boards: FlashLoader against the virtual
// board from its boot loader to the restart, with images that srec_cat
// wrote, and the board's flash compared with the image afterwards.
#include "BoardFixture.h"
#include "HexFile.h"
#include "MailPrimitives.h"
#include "PtyPeer.h"
#include "SessionImages.h"
#include "ThreadContext.h"

#include <gmock/gmock.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <regex>
#include <thread>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;

namespace {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kWorkRate = 921600;

} // namespace

namespace {

constexpr uint32_t kFlashBase = 0x080000;

// The image as the programmer sees it: lowest to highest address, gaps 0xFF.
std::vector<uint8_t> Flatten(const std::vector<Piece>& pieces, uint32_t start) {
    std::vector<uint8_t> image;
    for (const Piece& p : pieces) {
        const size_t end = p.address - start + p.bytes.size();
        if (image.size() < end) {
            image.resize(end, 0xFF);
        }
        std::copy(p.bytes.begin(), p.bytes.end(), image.begin() + (p.address - start));
    }
    return image;
}

// 0x1800 bytes, a gap of 0x800, 0x1001 bytes: odd size, a blank stretch.
std::vector<Piece> GappedImage(uint32_t seed) {
    return {{kFlashBase, testfiles::RandomBytes(0x1800, seed)},
            {kFlashBase + 0x2000, testfiles::RandomBytes(0x1001, seed + 1)}};
}

constexpr uint16_t kText = TEXT_INFO_IND;

std::vector<uint16_t> Expected(std::initializer_list<uint16_t> identified,
                               std::initializer_list<uint16_t> programmed) {
    std::vector<uint16_t> codes = {START_PROGRAM_IND, DOWNLOAD_SUCCESS_IND, PROGRAM_SIZE_IND,
                                   PROGRAM_OFFSET_IND};
    codes.insert(codes.end(), identified);
    codes.insert(codes.end(), programmed);
    codes.insert(codes.end(), {STOP_PROGRAM_IND});
    return codes;
}

} // namespace

class KoltSessionTest : public BoardTest {
  protected:
    // An Intel HEX file of the pieces, written by srec_cat.
    std::string HexImage(const std::string& name, const std::vector<Piece>& pieces) {
        return WriteHexImage(*dir_, name, pieces);
    }

    // Runs one session to its stop indication.
    std::vector<uint16_t> RunSession(uint32_t type, const std::string& hex, uint16_t id) {
        EXPECT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, type, hex.c_str(), id),
                  FLASHLOADER_STARTED);
        EXPECT_TRUE(WaitForStop(id, std::chrono::seconds(120)));
        return CodesOf(id);
    }

    // The restart goes out unconfirmed as the session's last mail, so the
    // board may act on it just after the stop indication has arrived.
    std::optional<uint32_t> AwaitRestart() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!Board().RestartAddress() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return Board().RestartAddress();
    }

    void ExpectFlashHolds(const std::vector<uint8_t>& bytes, uint32_t address) {
        EXPECT_EQ(Board().ReadMemory(address, static_cast<uint32_t>(bytes.size())), bytes);
    }

    static std::vector<std::string> TextsOf(uint16_t id) {
        std::vector<std::string> texts;
        for (const auto& i : IndicationsOf(id)) {
            if (i.code == TEXT_INFO_IND) {
                texts.push_back(i.text);
            }
        }
        return texts;
    }

    static uint32_t Le32(const std::vector<uint8_t>& p, size_t at) {
        return p[at] | p[at + 1] << 8 | p[at + 2] << 16 | uint32_t{p[at + 3]} << 24;
    }

    // The first two 32-bit arguments of every request of one primitive the
    // board received, in order.
    std::vector<std::pair<uint32_t, uint32_t>> RequestsOf(uint8_t code) {
        std::vector<std::pair<uint32_t, uint32_t>> requests;
        for (const auto& mail : Board().Mails()) {
            const auto& p = mail.payload;
            if (p[0] == code && p.size() >= 5) {
                requests.emplace_back(Le32(p, 1), p.size() >= 9 ? Le32(p, 5) : 0);
            }
        }
        return requests;
    }

    // Values written into one control register, in order.
    std::vector<uint16_t> WritesTo(uint32_t address) {
        std::vector<uint16_t> values;
        for (const auto& w : Board().RegisterWrites()) {
            if (w.address == address) {
                values.push_back(w.value);
            }
        }
        return values;
    }

    // The erase commands among the flash controller's commands.
    std::vector<uint16_t> EraseCommands() {
        std::vector<uint16_t> commands;
        for (uint16_t value : WritesTo(kFlashControl)) {
            if (value == 0x000B || value == 0x0007 || value == 0x008B || value == 0x0087) {
                commands.push_back(value);
            }
        }
        return commands;
    }

    static constexpr uint32_t kFlashControl = 0xFFE130;
    static constexpr uint32_t kFlashConfig = 0xFFE124;
};

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
    const std::regex report(std::string("## ERROR ## in Line\\(") + param.reportBase +
                            "[0-9]{3}\\) Module\\(ProgKolt\\) Date\\([A-Z][a-z]{2} [ 0-9][0-9] "
                            "[0-9]{4}\\) Time\\([0-9]{2}:[0-9]{2}:[0-9]{2}\\) ");
    EXPECT_TRUE(std::regex_match(tail[1].text, report)) << tail[1].text;
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

// Image sizes at the limits of the erase units and of the segment count, as
// sparse images (a few bytes at either end) so that little is programmed.
struct SizeLimit {
    uint32_t size;
    std::vector<uint16_t> eraseCommands;
    uint16_t segments;
};

class KoltSizeLimitTest : public KoltSessionTest,
                          public ::testing::WithParamInterface<SizeLimit> {};

TEST_P(KoltSizeLimitTest, ErasesTheUnitsAndSetsTheSegmentsTheSizeReaches) {
    const SizeLimit& param = GetParam();
    vtarget::BoardOptions options;
    options.targetType = 0; // a third-revision KOLT-A: configurable
    StartBoard(options);
    const std::vector<Piece> pieces = {
        {kFlashBase, testfiles::RandomBytes(4, 50)},
        {kFlashBase + param.size - 4, testfiles::RandomBytes(4, 51)}};
    const auto codes = RunSession(0, HexImage("sparse", pieces), 25);
    ExpectFlashHolds(pieces[0].bytes, pieces[0].address);
    ExpectFlashHolds(pieces[1].bytes, pieces[1].address);
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
    EXPECT_THAT(EraseCommands(), ElementsAreArray(param.eraseCommands));
    EXPECT_THAT(WritesTo(kFlashConfig), ElementsAre(param.segments));
    EXPECT_THAT(Board().InfoBlockWrites(),
                ElementsAre(vtarget::WordWrite{0x080002, 0x5070},
                            vtarget::WordWrite{0x080008, 0x5A7A},
                            vtarget::WordWrite{0x08000A, param.segments}));
    EXPECT_THAT(ReceivedCodes(), Contains(PROG_INT_FLASH_REQ).Times(2));
}

INSTANTIATE_TEST_SUITE_P(Kolt, KoltSizeLimitTest,
                         ::testing::Values(SizeLimit{0x3FFFF, {0x000B, 0x008B}, 2},
                                           SizeLimit{0x40000, {0x000B, 0x0007, 0x008B, 0x0087}, 3},
                                           SizeLimit{0xE0000,
                                                     {0x000B, 0x0007, 0x0007, 0x0007, 0x008B,
                                                      0x0087, 0x0087, 0x0087},
                                                     8}),
                         [](const ::testing::TestParamInfo<SizeLimit>& info) {
                             char name[32];
                             std::snprintf(name, sizeof name, "Size%05X", info.param.size);
                             return std::string(name);
                         });

TEST_F(KoltSessionTest, TouchedSectorsVerifyFullWindowsOnly) {
    constexpr uint32_t kStart = 0x081000; // a sector boundary above the flash base
    vtarget::BoardOptions options;
    options.targetType = 13;
    StartBoard(options);
    const std::vector<Piece> pieces = {{kStart, testfiles::RandomBytes(0x2800, 60)}};
    const auto codes = RunSession(13, HexImage("image", pieces), 26);
    ExpectFlashHolds(pieces[0].bytes, kStart);
    EXPECT_THAT(Collapsed(codes),
                ElementsAreArray(Expected(
                    {kText, kText, kText, kText},
                    {FLASHTYPE_IND, kText, ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND, CRC_OK_IND,
                     ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND, CRC_OK_IND, ERASE_SECTOR_IND,
                     PROGRAM_PROGRESS_IND, PROGRAMMING_SUCCESS_IND, RESET_TARGET_IND})));
    using Range = std::pair<uint32_t, uint32_t>;
    std::vector<uint32_t> erased;
    for (const Range& r : RequestsOf(EXT_SECTOR_ERASE_REQ)) {
        erased.push_back(r.first);
    }
    EXPECT_THAT(erased, ElementsAre(kStart, kStart + 0x1000, kStart + 0x2000));
    EXPECT_THAT(RequestsOf(CALC_CRC32_REQ), ElementsAre(Range{kStart, kStart + 0xFFE},
                                                        Range{kStart + 0x1000, kStart + 0x1FFE}));
    for (const auto& i : IndicationsOf(26)) {
        if (i.code == CRC_OK_IND) {
            EXPECT_EQ(i.long0, i.long1);
        }
    }
    EXPECT_EQ(AwaitRestart(), std::optional<uint32_t>(kStart));
}

TEST_F(KoltSessionTest, TouchedSectorsVerifyAnOddImageEndingAtAWindowEnd) {
    vtarget::BoardOptions options;
    options.targetType = 13;
    StartBoard(options);
    // The last word takes the 0xFF after the image and fills window two.
    const std::vector<Piece> pieces = {{kFlashBase, testfiles::RandomBytes(0x1FFF, 61)}};
    const auto codes = RunSession(13, HexImage("image", pieces), 27);
    ExpectFlashHolds(pieces[0].bytes, kFlashBase);
    EXPECT_EQ(Board().ReadMemory(kFlashBase + 0x1FFF, 1), std::vector<uint8_t>{0xFF});
    EXPECT_THAT(Collapsed(codes), ElementsAreArray(Expected(
                                      {kText, kText, kText, kText},
                                      {FLASHTYPE_IND, kText, ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND,
                                       CRC_OK_IND, ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND,
                                       CRC_OK_IND, PROGRAMMING_SUCCESS_IND, RESET_TARGET_IND})));
    using Range = std::pair<uint32_t, uint32_t>;
    EXPECT_THAT(RequestsOf(CALC_CRC32_REQ),
                ElementsAre(Range{kFlashBase, kFlashBase + 0xFFE},
                            Range{kFlashBase + 0x1000, kFlashBase + 0x1FFE}));
}

TEST_F(KoltSessionTest, TouchedSectorsStopAtTheWindowThatFailsItsCrc) {
    vtarget::BoardOptions options;
    options.targetType = 13;
    options.corruptWord = kFlashBase + 0x1100; // window two
    StartBoard(options);
    const std::vector<Piece> pieces = {{kFlashBase, testfiles::RandomBytes(0x3000, 62)}};
    const auto codes = RunSession(13, HexImage("image", pieces), 28);
    EXPECT_THAT(Collapsed(codes),
                ElementsAreArray(Expected({kText, kText, kText, kText},
                                          {FLASHTYPE_IND, kText, ERASE_SECTOR_IND,
                                           PROGRAM_PROGRESS_IND, CRC_OK_IND, ERASE_SECTOR_IND,
                                           PROGRAM_PROGRESS_IND, CRC_ERROR_IND, MAIL_ERROR_IND})));
    const auto indications = IndicationsOf(28);
    ASSERT_GE(indications.size(), 2u);
    EXPECT_EQ(indications[indications.size() - 2].long0 & 0xFFFF, 1u);
    for (const auto& i : indications) {
        if (i.code == CRC_ERROR_IND) {
            EXPECT_NE(i.long0, i.long1);
        }
    }
    // Window three is neither erased nor written, and the board keeps its
    // old program.
    EXPECT_EQ(RequestsOf(EXT_SECTOR_ERASE_REQ).size(), 2u);
    EXPECT_EQ(Board().ReadMemory(kFlashBase + 0x2000, 0x1000), std::vector<uint8_t>(0x1000, 0xFF));
    EXPECT_FALSE(Board().RestartAddress().has_value());
}
