// Whole sessions on KOLT-family boards: FlashLoader against the virtual
// board from its boot loader to the restart, with images that srec_cat
// wrote, and the board's flash compared with the image afterwards.
#include "BoardFixture.h"
#include "HexFile.h"
#include "MailPrimitives.h"
#include "PtyPeer.h"
#include "ThreadContext.h"

#include <gmock/gmock.h>

#include <cstdlib>

using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::Not;

namespace {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kWorkRate = 921600;

// One code per run of equal codes: progress indications come in numbers
// that depend on the image.
std::vector<uint16_t> Collapsed(const std::vector<uint16_t>& codes) {
    std::vector<uint16_t> runs;
    for (uint16_t code : codes) {
        if (runs.empty() || runs.back() != code || code != PROGRAM_PROGRESS_IND) {
            runs.push_back(code);
        }
    }
    return runs;
}

} // namespace

namespace {

constexpr uint32_t kFlashBase = 0x080000;

struct Piece {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

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
        std::string command = std::string(ULVEX_SREC_CAT);
        for (size_t i = 0; i < pieces.size(); ++i) {
            const std::string bin = dir_->file(name + std::to_string(i) + ".bin");
            testfiles::WriteBytes(bin, pieces[i].bytes);
            command += " " + bin + " -binary -offset " + std::to_string(pieces[i].address);
        }
        const std::string hex = dir_->file(name + ".hex");
        const auto result =
            testfiles::RunCommand(command + " -o " + hex + " -intel -output_block_size=16");
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return hex;
    }

    // Runs one session to its stop indication.
    std::vector<uint16_t> RunSession(uint32_t type, const std::string& hex, uint16_t id) {
        EXPECT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, type, hex.c_str(), id),
                  FLASHLOADER_STARTED);
        EXPECT_TRUE(WaitForStop(id, std::chrono::seconds(120)));
        return CodesOf(id);
    }

    void ExpectFlashHolds(const std::vector<uint8_t>& bytes, uint32_t address) {
        EXPECT_EQ(Board().ReadMemory(address, static_cast<uint32_t>(bytes.size())), bytes);
    }
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
    EXPECT_EQ(Board().RestartAddress(), std::optional<uint32_t>(kFlashBase));
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
