// Whole sessions on ATmega64/128 boards: FlashLoader against the virtual
// board's resident boot loader, with images that srec_cat wrote, the flash
// compared with the image afterwards, and the pages, progress and CRC range
// the boot loader was asked for.
#include "BoardFixture.h"
#include "PtyPeer.h"
#include "SessionImages.h"
#include "frame/ThreadContext.h"
#include "link/MailPrimitives.h"
#include "programmers/Programmers.h"

#include <gmock/gmock.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <ostream>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;

namespace {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kWorkRate = 921600;
constexpr uint32_t kBootRate = 115200;
constexpr uint32_t kFlash128 = 0x20000;

// The image as the programmer sees it, from address 0: gaps 0xFF.
std::vector<uint8_t> Flatten(const std::vector<Piece>& pieces) {
    std::vector<uint8_t> image;
    for (const Piece& p : pieces) {
        image.resize(std::max<size_t>(image.size(), p.address + p.bytes.size()), 0xFF);
        std::copy(p.bytes.begin(), p.bytes.end(), image.begin() + p.address);
    }
    return image;
}

constexpr uint16_t kText = TEXT_INFO_IND;

// A session that programs and verifies, with the identification lines given.
std::vector<uint16_t> ProgrammedSession(std::initializer_list<uint16_t> identified,
                                        uint16_t crcCode = CRC_OK_IND) {
    std::vector<uint16_t> codes = {START_PROGRAM_IND, COM_PORT_SEARCHING_IND, COM_PORT_FOUND_IND,
                                   PROGRAM_SIZE_IND, PROGRAM_OFFSET_IND};
    codes.insert(codes.end(), identified);
    codes.insert(codes.end(), {CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND, PROGRAM_PROGRESS_IND,
                               PROGRAMMING_SUCCESS_IND, crcCode, STOP_PROGRAM_IND});
    return codes;
}

uint32_t Le32(const std::vector<uint8_t>& p, size_t at) {
    return p[at] | p[at + 1] << 8 | p[at + 2] << 16 | uint32_t{p[at + 3]} << 24;
}

struct ProgMail {
    uint32_t wordAddress;
    uint16_t words;
    bool operator==(const ProgMail&) const = default;
};

} // namespace

class AtmegaSessionTest : public BoardTest {
  protected:
    // A board in its boot loader, the chip given by the version word.
    void StartAtmega(int type, uint32_t version = 0x00010000, vtarget::BoardOptions options = {}) {
        options.targetType = type;
        options.version = version;
        StartBoard(options);
    }

    // An Intel HEX file of the pieces, written by srec_cat.
    std::string HexImage(const std::string& name, const std::vector<Piece>& pieces) {
        return WriteHexImage(*dir_, name, pieces);
    }

    std::vector<uint16_t> RunSession(uint32_t type, const std::string& hex, uint16_t id,
                                     uint32_t rate = kWorkRate) {
        EXPECT_EQ(FlashLoader(kPort, kDuplex, rate, type, hex.c_str(), id), FLASHLOADER_STARTED);
        EXPECT_TRUE(WaitForStop(id, std::chrono::seconds(60)));
        return CodesOf(id);
    }

    void ExpectFlashHolds(const std::vector<uint8_t>& image, uint32_t flashSize = kFlash128) {
        EXPECT_EQ(Board().ReadMemory(0, static_cast<uint32_t>(image.size())), image);
        const auto size = static_cast<uint32_t>(image.size());
        EXPECT_EQ(Board().ReadMemory(size, flashSize - size),
                  std::vector<uint8_t>(flashSize - size, 0xFF));
        EXPECT_EQ(Board().FlashOverwrites(), 0u);
    }

    static std::vector<std::string> Texts(const std::vector<RecordedIndication>& indications) {
        std::vector<std::string> texts;
        for (const auto& i : indications) {
            if (i.code == TEXT_INFO_IND) {
                texts.push_back(i.text);
            }
        }
        return texts;
    }

    static std::vector<uint32_t> Progress(uint16_t id) {
        std::vector<uint32_t> values;
        for (const auto& i : IndicationsOf(id)) {
            if (i.code == PROGRAM_PROGRESS_IND) {
                values.push_back(i.long0);
            }
        }
        return values;
    }

    std::vector<ProgMail> ProgMails() {
        std::vector<ProgMail> mails;
        for (const auto& mail : Board().Mails()) {
            const auto& p = mail.payload;
            if (p[0] == PROG_INT_FLASH_REQ) {
                mails.push_back({Le32(p, 1), static_cast<uint16_t>(p[5] | p[6] << 8)});
            }
        }
        return mails;
    }

    // The word range of every CALC_CRC32_REQ.
    std::vector<std::pair<uint32_t, uint32_t>> CrcRequests() {
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        for (const auto& mail : Board().Mails()) {
            if (mail.payload[0] == CALC_CRC32_REQ) {
                ranges.emplace_back(Le32(mail.payload, 1), Le32(mail.payload, 5));
            }
        }
        return ranges;
    }

    // The boot loader keeps control: nothing restarts the board.
    void ExpectBootLoaderStaysInControl(const std::vector<uint16_t>& codes) {
        EXPECT_THAT(codes, Not(Contains(RESET_TARGET_IND)));
        EXPECT_EQ(Board().CurrentStage(), vtarget::Stage::BootLoader);
        EXPECT_FALSE(Board().RestartAddress().has_value());
        EXPECT_EQ(Ctx().serial.port, kNoPort);
    }
};

class AtmegaTypeTest : public AtmegaSessionTest, public ::testing::WithParamInterface<int> {};

// 0x1800 bytes, a blank stretch of eight pages, 0x1001 bytes: an odd size.
TEST_P(AtmegaTypeTest, ImageLandsInFlashAndTheBootLoaderStays) {
    const int type = GetParam();
    StartAtmega(type);
    const std::vector<Piece> pieces = {{0, testfiles::RandomBytes(0x1800, 1)},
                                       {0x2000, testfiles::RandomBytes(0x1001, 2)}};
    const auto codes = RunSession(static_cast<uint32_t>(type), HexImage("image", pieces), 1);
    ExpectFlashHolds(Flatten(pieces));
    EXPECT_THAT(Collapsed(codes), ElementsAreArray(ProgrammedSession({kText, kText})));
    EXPECT_THAT(Texts(IndicationsOf(1)),
                ElementsAre("BootloaderVersion=0000", "TargetType=ATMEGA128"));
    ExpectBootLoaderStaysInControl(codes);
    EXPECT_THAT(Board().RateHistory(), ElementsAre(kBootRate, kWorkRate));
    EXPECT_EQ(Board().GarbledBytes(), 0u);

    std::vector<ProgMail> expected;
    for (uint32_t page :
         {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
          20, 21, 22, 23, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47}) {
        expected.push_back({128 * page, 128});
    }
    expected.push_back({128 * 48, 1});
    EXPECT_THAT(ProgMails(), ElementsAreArray(expected)) << "blank pages are not sent";
    EXPECT_THAT(Progress(1), ElementsAre(0x0700, 0x0F00, 0x1700, 0x1F00, 0x2700, 0x2F00, 0x3001));
    EXPECT_THAT(CrcRequests(), ElementsAre(std::pair<uint32_t, uint32_t>(0, 0x1801)));
}

INSTANTIATE_TEST_SUITE_P(Atmega, AtmegaTypeTest, ::testing::Values(10, 17),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Type" + std::to_string(info.param);
                         });

// The version word's low half is the boot loader's version, its high half
// the chip; a chip code the PC does not know gives no type line.
struct VersionCase {
    uint32_t version;
    std::vector<std::string> texts;
    uint32_t flashSize;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << "version word 0x" << std::hex << c.version;
}

class AtmegaVersionTest : public AtmegaSessionTest,
                          public ::testing::WithParamInterface<VersionCase> {};

TEST_P(AtmegaVersionTest, VersionWordGivesItsLinesAndProgrammingGoesOn) {
    const VersionCase& param = GetParam();
    StartAtmega(10, param.version);
    const std::vector<Piece> pieces = {{0, testfiles::RandomBytes(0x300, 3)}};
    const auto codes = RunSession(10, HexImage("image", pieces), 2, kBootRate);
    EXPECT_EQ(Texts(IndicationsOf(2)), param.texts);
    const std::vector<uint16_t> lines(param.texts.size(), kText);
    std::vector<uint16_t> expected = ProgrammedSession({});
    expected.insert(expected.begin() + 5, lines.begin(), lines.end());
    EXPECT_THAT(Collapsed(codes), ElementsAreArray(expected));
    ExpectFlashHolds(Flatten(pieces), param.flashSize);
    EXPECT_THAT(ReceivedCodes(), Not(Contains(SET_BAUDRATE_REQ))) << "already at 115200";
}

INSTANTIATE_TEST_SUITE_P(
    Atmega, AtmegaVersionTest,
    ::testing::Values(
        VersionCase{0x00010123, {"BootloaderVersion=0123", "TargetType=ATMEGA128"}, 0x20000},
        VersionCase{0x00000045, {"BootloaderVersion=0045", "TargetType=ATMEGA64"}, 0x10000},
        VersionCase{0x00020001, {"BootloaderVersion=0001"}, 0x20000}),
    [](const ::testing::TestParamInfo<VersionCase>& info) {
        char name[24];
        std::snprintf(name, sizeof name, "Version%08X", info.param.version);
        return std::string(name);
    });

TEST_F(AtmegaSessionTest, SixtyFourPagesReportEveryEighthAndTheirEnd) {
    StartAtmega(10, 0x00000045);
    const std::vector<Piece> pieces = {{0, testfiles::RandomBytes(0x4000, 4)}};
    const auto codes = RunSession(10, HexImage("image", pieces), 3);
    ExpectFlashHolds(pieces[0].bytes, 0x10000);
    EXPECT_THAT(Progress(3), ElementsAre(0x0700, 0x0F00, 0x1700, 0x1F00, 0x2700, 0x2F00, 0x3700,
                                         0x3F00, 0x4000));
    EXPECT_EQ(ProgMails().size(), 64u);
    EXPECT_EQ(ProgMails().back(), (ProgMail{63 * 128, 128}));
    EXPECT_THAT(CrcRequests(), ElementsAre(std::pair<uint32_t, uint32_t>(0, 0x2000)));
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
}

// One full page and a tail of one word whose high byte the file leaves
// open: the PC sends 0xFF there and verifies the 0x102 bytes.
TEST_F(AtmegaSessionTest, OddImageEndsWithAOneWordTail) {
    StartAtmega(17);
    const std::vector<Piece> pieces = {{0, testfiles::RandomBytes(0x101, 5)}};
    const auto codes = RunSession(17, HexImage("image", pieces), 4);
    ExpectFlashHolds(pieces[0].bytes);
    EXPECT_THAT(ProgMails(), ElementsAre(ProgMail{0, 128}, ProgMail{128, 1}));
    const auto mails = Board().Mails();
    const auto& tail = mails[mails.size() - 2].payload; // before the CRC request
    ASSERT_EQ(tail.size(), 9u);
    EXPECT_EQ(tail[7], pieces[0].bytes[0x100]);
    EXPECT_EQ(tail[8], 0xFF);
    EXPECT_THAT(Progress(4), ElementsAre(0x101));
    EXPECT_THAT(CrcRequests(), ElementsAre(std::pair<uint32_t, uint32_t>(0, 0x81)));
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
}

// The programmer itself on this thread, to see its result: a mismatch is
// reported and still ends with 0.
TEST_F(AtmegaSessionTest, CrcMismatchIsReportedAndStillEndsWithZero) {
    vtarget::BoardOptions options;
    options.corruptWord = 0x123;
    StartAtmega(10, 0x00010000, options);
    const std::string hex = HexImage("image", {{0, testfiles::RandomBytes(0x800, 6)}});
    SessionParams session;
    session.comport = kPort;
    session.busmode = kDuplex;
    session.baudrate = kWorkRate;
    session.targettype = 10;
    std::strncpy(session.filename, hex.c_str(), sizeof session.filename - 1);
    EXPECT_EQ(AtMega128Session(session), 0);

    std::vector<uint16_t> codes;
    for (const auto& i : Indications()) {
        codes.push_back(i.code);
        if (i.code == CRC_ERROR_IND) {
            EXPECT_NE(i.long0, i.long1) << "the file's CRC and the target's";
        }
    }
    std::vector<uint16_t> expected = ProgrammedSession({kText, kText}, CRC_ERROR_IND);
    expected = {expected.begin() + 1, expected.end() - 1}; // no worker around it
    EXPECT_THAT(Collapsed(codes), ElementsAreArray(expected));
    EXPECT_THAT(codes, Not(Contains(RESET_TARGET_IND)));
    EXPECT_EQ(Board().CurrentStage(), vtarget::Stage::BootLoader);
}

// The erase refused: the host still hears that it finished, then the
// report; nothing is programmed or verified.
TEST_F(AtmegaSessionTest, RefusedEraseStopsTheSession) {
    vtarget::BoardOptions options;
    options.faults.nakEvery = 1; // every confirm carries status 0
    StartAtmega(10, 0x00010000, options);
    const auto codes =
        RunSession(10, HexImage("image", {{0, testfiles::RandomBytes(0x200, 7)}}), 5, kBootRate);
    EXPECT_THAT(codes, ElementsAre(START_PROGRAM_IND, COM_PORT_SEARCHING_IND, COM_PORT_FOUND_IND,
                                   PROGRAM_SIZE_IND, PROGRAM_OFFSET_IND, kText, kText,
                                   CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND, MAIL_ERROR_IND,
                                   kText, MAIL_ERROR_IND, STOP_PROGRAM_IND));
    const auto indications = IndicationsOf(5);
    EXPECT_EQ(indications[9].long0 & 0xFFFF, uint32_t{MAIL_NEGATIVE_CONFIRM});
    EXPECT_EQ(indications[11].long0 & 0xFFFF, uint32_t{MAIL_NEGATIVE_CONFIRM});
    EXPECT_THAT(ReceivedCodes(), Not(Contains(PROG_INT_FLASH_REQ)));
    EXPECT_THAT(ReceivedCodes(), Not(Contains(CALC_CRC32_REQ)));
}

// A programming mail that stays unanswered a few pages into the image: one
// report at the programming step, one last MAIL_ERROR_IND at the entry.
TEST_F(AtmegaSessionTest, UnansweredPageStopsAtOnce) {
    constexpr int kPagesAnswered = 3;
    StartAtmega(10);
    auto answered = std::make_shared<std::atomic<int>>(0);
    Board().SetReplyOverride(
        [answered](const vtarget::ReceivedMail& mail) -> std::optional<std::vector<uint8_t>> {
            if (mail.payload[0] == PROG_INT_FLASH_REQ && ++*answered > kPagesAnswered) {
                return std::vector<uint8_t>{};
            }
            return std::nullopt;
        });
    const auto image = testfiles::RandomBytes(0x1000, 8);
    const auto codes = RunSession(10, HexImage("image", {{0, image}}), 6);
    EXPECT_EQ(ProgMails().size(), kPagesAnswered + 3u) << "the fourth page sent three times";
    EXPECT_EQ(Board().ReadMemory(0, 3 * 0x100),
              std::vector<uint8_t>(image.begin(), image.begin() + 3 * 0x100));
    EXPECT_EQ(Board().ReadMemory(4 * 0x100, 0x100), std::vector<uint8_t>(0x100, 0xFF));
    EXPECT_THAT(Collapsed(codes),
                ElementsAre(START_PROGRAM_IND, COM_PORT_SEARCHING_IND, COM_PORT_FOUND_IND,
                            PROGRAM_SIZE_IND, PROGRAM_OFFSET_IND, kText, kText,
                            CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND, MAIL_ERROR_IND, kText,
                            MAIL_ERROR_IND, STOP_PROGRAM_IND));
    const auto indications = IndicationsOf(6);
    const auto& report = indications[indications.size() - 3];
    EXPECT_THAT(report.text, IsErrorLogLine("[0-9]+", "AtMega128_00"));
    EXPECT_EQ(indications[indications.size() - 2].long0 & 0xFFFF, uint32_t{MAIL_TIMEOUT});
    EXPECT_THAT(ReceivedCodes(), Not(Contains(CALC_CRC32_REQ)));
}

TEST_F(AtmegaSessionTest, NoBoardEndsAfterTheSearchWithoutReadingTheImage) {
    SetBootLoaderTimeout(0);
    ComPortMapping missing(kPort, dir_->file("no-board"));
    const auto codes = RunSession(17, SampleHexFile(), 7);
    EXPECT_THAT(codes, ElementsAre(START_PROGRAM_IND, COM_PORT_SEARCHING_IND,
                                   COM_PORT_SEARCHING_TIMEOUT_IND, STOP_PROGRAM_IND));
}
