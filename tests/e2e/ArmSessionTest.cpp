// Whole sessions on the ARM boards: FlashLoader against the virtual ML675001
// and S3C44B0X boards from their boot loaders on, with images that srec_cat
// wrote, the boards' memory compared with the image afterwards.
#include "BoardFixture.h"
#include "MailFrames.h"
#include "PtyPeer.h"
#include "SessionImages.h"
#include "link/MailPrimitives.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <memory>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;

namespace {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kWorkRate = 921600;
constexpr uint32_t kRomRate = 115200;
constexpr uint32_t kMl675001Flash = 0xC8000000;
constexpr uint32_t kWindow = 0x10000;
constexpr uint32_t kWindowSize = 0x10000;

std::vector<uint16_t> Only(const std::vector<uint16_t>& codes,
                           std::initializer_list<uint16_t> wanted) {
    std::vector<uint16_t> kept;
    for (uint16_t code : codes) {
        if (std::find(wanted.begin(), wanted.end(), code) != wanted.end()) {
            kept.push_back(code);
        }
    }
    return kept;
}

uint32_t Le32(const std::vector<uint8_t>& p, size_t at) {
    return p[at] | p[at + 1] << 8 | p[at + 2] << 16 | uint32_t{p[at + 3]} << 24;
}

using Range = std::pair<uint32_t, uint32_t>;

const std::vector<uint16_t> kS3c44b0xOpening = {
    START_PROGRAM_IND, TARGET_FOUND_IND, PROGRAM_SIZE_IND,      PROGRAM_OFFSET_IND,
    FLASHTYPE_IND,     TEXT_INFO_IND,    SECTOR_ERASE_START_IND};

} // namespace

class ArmSessionTest : public BoardTest {
  protected:
    // An Intel HEX file of the pieces, written by srec_cat.
    std::string HexImage(const std::string& name, const std::vector<Piece>& pieces,
                         const std::string& extra = "") {
        return WriteHexImage(*dir_, name, pieces, extra);
    }

    void StartArmBoard(int type, vtarget::BoardOptions options = {}) {
        options.targetType = type;
        StartBoard(options);
    }

    std::vector<uint16_t> RunSession(uint32_t type, const std::string& file, uint16_t id,
                                     uint32_t rate = kWorkRate) {
        EXPECT_EQ(FlashLoader(kPort, kDuplex, rate, type, file.c_str(), id), FLASHLOADER_STARTED);
        EXPECT_TRUE(WaitForStop(id, std::chrono::seconds(120)));
        return CodesOf(id);
    }

    // First and second 32-bit argument of every request of one primitive.
    std::vector<Range> RequestsOf(uint8_t code) {
        std::vector<Range> requests;
        for (const auto& mail : Board().Mails()) {
            const auto& p = mail.payload;
            if (p[0] == code) {
                requests.emplace_back(p.size() >= 5 ? Le32(p, 1) : 0,
                                      p.size() >= 9 ? Le32(p, 5) : 0);
            }
        }
        return requests;
    }

    std::vector<uint32_t> AddressesOf(uint8_t code) {
        std::vector<uint32_t> addresses;
        for (const Range& r : RequestsOf(code)) {
            addresses.push_back(r.first);
        }
        return addresses;
    }

    static std::vector<RecordedIndication> Of(uint16_t id, uint16_t code) {
        std::vector<RecordedIndication> found;
        for (const auto& i : IndicationsOf(id)) {
            if (i.code == code) {
                found.push_back(i);
            }
        }
        return found;
    }

    static std::vector<std::string> TextsOf(uint16_t id) {
        std::vector<std::string> texts;
        for (const auto& i : Of(id, TEXT_INFO_IND)) {
            texts.push_back(i.text);
        }
        return texts;
    }

    static std::vector<uint32_t> ProgressOf(uint16_t id) {
        std::vector<uint32_t> values;
        for (const auto& i : Of(id, PROGRAM_PROGRESS_IND)) {
            values.push_back(i.long0);
        }
        return values;
    }

    void ExpectMemoryHolds(const Piece& piece) {
        EXPECT_EQ(Board().ReadMemory(piece.address, static_cast<uint32_t>(piece.bytes.size())),
                  piece.bytes)
            << std::hex << "at 0x" << piece.address;
    }

    // The S3C44B0X's flash holds the image outside the window, and the
    // window was never erased or programmed.
    void ExpectS3c44b0xHolds(const Piece& image) {
        const uint64_t end = uint64_t{image.address} + image.bytes.size();
        for (uint64_t a = image.address; a < end;) {
            const bool inWindow = a >= kWindow && a < kWindow + kWindowSize;
            const uint64_t stop = inWindow      ? std::min<uint64_t>(end, kWindow + kWindowSize)
                                  : a < kWindow ? std::min<uint64_t>(end, kWindow)
                                                : end;
            if (!inWindow) {
                const auto from = image.bytes.begin() + static_cast<long>(a - image.address);
                ExpectMemoryHolds(
                    {static_cast<uint32_t>(a), {from, from + static_cast<long>(stop - a)}});
            }
            a = stop;
        }
        EXPECT_EQ(Board().ReadMemory(kWindow, kWindowSize),
                  std::vector<uint8_t>(kWindowSize, 0xFF));
        EXPECT_EQ(Board().ProtectedWindowFaults(), 0u);
        EXPECT_EQ(Board().FlashOverwrites(), 0u);
    }
};

class S3c44b0xTypeTest : public ArmSessionTest, public ::testing::WithParamInterface<int> {};

// An image at 0 longer than the window's end: one block erase below the
// window, sectors above it, the window neither erased nor written nor
// verified, the two ranges around it verified.
TEST_P(S3c44b0xTypeTest, ImageAroundTheWindowLandsInFlash) {
    const int type = GetParam();
    StartArmBoard(type);
    const Piece image{0, testfiles::RandomBytes(0x30000, static_cast<uint32_t>(type))};
    const auto codes = RunSession(static_cast<uint32_t>(type), HexImage("image", {image}), 1);
    ExpectS3c44b0xHolds(image);

    std::vector<uint16_t> expected = kS3c44b0xOpening;
    expected.insert(expected.end(), {SECTOR_ERASE_FINISHED_IND, PROGRAM_PROGRESS_IND,
                                     PROGRAMMING_SUCCESS_IND, CRC_OK_IND, STOP_PROGRAM_IND});
    EXPECT_THAT(Collapsed(codes), ElementsAreArray(expected));
    EXPECT_THAT(TextsOf(1), ElementsAre("FlashType=SST SST39VF1601"));
    EXPECT_THAT(AddressesOf(EXT_BLOCK_ERASE_REQ), ElementsAre(0u));
    std::vector<uint32_t> sectors;
    for (uint32_t a = 0x20000; a <= 0x2F000; a += 0x1000) {
        sectors.push_back(a);
    }
    EXPECT_THAT(AddressesOf(EXT_SECTOR_ERASE_REQ), ElementsAreArray(sectors));
    EXPECT_THAT(RequestsOf(SET_FLASH_PROG_CMD_ADDRESS_REQ), ElementsAre(Range{0, 0x5554}));
    EXPECT_THAT(RequestsOf(CALC_CRC32_REQ), ElementsAre(Range{0, 0xFFFF}, Range{0x20000, 0x2FFFF}));
    for (const auto& [address, count] : RequestsOf(PROG_EXT_FLASH_REQ)) {
        EXPECT_FALSE(address >= kWindow && address < kWindow + kWindowSize) << address;
    }
    const auto progress = ProgressOf(1);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0x1800u);
    EXPECT_EQ(progress.back(), 0x30000u);
}

INSTANTIATE_TEST_SUITE_P(Arm, S3c44b0xTypeTest, ::testing::Values(18, 22),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Type" + std::to_string(info.param);
                         });

TEST_F(ArmSessionTest, SectorOnlyFlashIsErasedBySectorsAroundTheWindow) {
    vtarget::BoardOptions options;
    options.flashManufacturer = 0x00C2;
    options.flashDevice = 0x22C4; // MX29LV160 top: 64 KB sectors, no blocks
    StartArmBoard(18, options);
    const Piece image{0, testfiles::RandomBytes(0x40000, 2)};
    const auto codes = RunSession(18, HexImage("image", {image}), 2);
    ExpectS3c44b0xHolds(image);
    EXPECT_THAT(TextsOf(2), ElementsAre("FlashType=MACRONIC MX29LV160(A)T"));
    EXPECT_THAT(AddressesOf(EXT_SECTOR_ERASE_REQ), ElementsAre(0x00000u, 0x20000u, 0x30000u));
    EXPECT_THAT(AddressesOf(EXT_BLOCK_ERASE_REQ), ElementsAre());
    EXPECT_THAT(Only(codes, {CRC_OK_IND, CRC_ERROR_IND}), ElementsAre(CRC_OK_IND));
}

TEST_F(ArmSessionTest, LowRangeThatDiffersAndHighRangeThatMatches) {
    vtarget::BoardOptions options;
    options.corruptWord = 0x100;
    StartArmBoard(18, options);
    const Piece image{0, testfiles::RandomBytes(0x30000, 3)};
    const auto codes = RunSession(18, HexImage("image", {image}), 3);
    EXPECT_THAT(Only(codes, {CRC_OK_IND, CRC_ERROR_IND}), ElementsAre(CRC_ERROR_IND, CRC_OK_IND));
    const auto error = Of(3, CRC_ERROR_IND);
    ASSERT_EQ(error.size(), 1u);
    EXPECT_NE(error[0].long0, error[0].long1);
    EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
    EXPECT_THAT(codes, Not(Contains(RESET_TARGET_IND)));
}

// An unknown flash is named as such, and the S3C44B0X erases it with the
// geometry of the SST39VF1601.
TEST_F(ArmSessionTest, UnknownFlashIsErasedWithTheDefaultGeometry) {
    vtarget::BoardOptions options;
    options.flashManufacturer = 0x0001;
    options.flashDevice = 0x1234;
    StartArmBoard(22, options);
    const Piece image{0, testfiles::RandomBytes(0x22000, 4)};
    const auto codes = RunSession(22, HexImage("image", {image}), 4);
    EXPECT_THAT(TextsOf(4), ElementsAre("FlashType=## Unknown Flash ##"));
    EXPECT_THAT(AddressesOf(EXT_BLOCK_ERASE_REQ), ElementsAre(0u));
    EXPECT_THAT(AddressesOf(EXT_SECTOR_ERASE_REQ), ElementsAre(0x20000u, 0x21000u));
    ExpectS3c44b0xHolds(image);
    EXPECT_THAT(Only(codes, {CRC_OK_IND, CRC_ERROR_IND}), ElementsAre(CRC_OK_IND));
}

// Images that do not reach over the whole window, or start elsewhere than
// at 0: only what was written is verified, each range inside the image.
struct ShortImage {
    const char* name;
    uint32_t start;
    uint32_t size;
    std::vector<Range> crcRanges;
};

class ShortS3c44b0xImageTest : public ArmSessionTest,
                               public ::testing::WithParamInterface<ShortImage> {};

TEST_P(ShortS3c44b0xImageTest, IsVerifiedOnlyWhereItWasWritten) {
    const ShortImage& param = GetParam();
    StartArmBoard(18);
    const Piece image{param.start, testfiles::RandomBytes(param.size, param.start + param.size)};
    const auto codes = RunSession(18, HexImage("short", {image}), 5);
    ExpectS3c44b0xHolds(image);
    EXPECT_THAT(RequestsOf(CALC_CRC32_REQ), ElementsAreArray(param.crcRanges));
    EXPECT_THAT(Only(codes, {CRC_OK_IND, CRC_ERROR_IND}), ElementsAre(CRC_OK_IND));
    EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
    for (const auto& ok : Of(5, CRC_OK_IND)) {
        EXPECT_EQ(ok.long0, ok.long1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arm, ShortS3c44b0xImageTest,
    ::testing::Values(ShortImage{"BelowTheWindowOddSize", 0, 0x801, {{0, 0x800}}},
                      ShortImage{"AboveTheWindow", 0x20000, 0x1000, {{0x20000, 0x20FFF}}},
                      ShortImage{"AcrossTheWindowFromABlockMiddle",
                                 0x8000,
                                 0x20000,
                                 {{0x8000, 0xFFFF}, {0x20000, 0x27FFF}}},
                      // Written from the 2 KB boundary below its start: the block at
                      // 0x1F800 lies in the window, the next begins at its end.
                      ShortImage{
                          "OddStartOverTheWindowEnd", 0x1F901, 0x1000, {{0x20000, 0x20900}}}),
    [](const ::testing::TestParamInfo<ShortImage>& info) { return std::string(info.param.name); });

TEST_F(ArmSessionTest, ImageInsideTheWindowIsNeitherErasedNorWritten) {
    StartArmBoard(18);
    const Piece image{0x18000, testfiles::RandomBytes(0x2000, 6)};
    const auto codes = RunSession(18, HexImage("window", {image}), 6);
    EXPECT_THAT(ReceivedCodes(), Not(Contains(EXT_SECTOR_ERASE_REQ)));
    EXPECT_THAT(ReceivedCodes(), Not(Contains(EXT_BLOCK_ERASE_REQ)));
    EXPECT_THAT(ReceivedCodes(), Not(Contains(PROG_EXT_FLASH_REQ)));
    EXPECT_THAT(ReceivedCodes(), Not(Contains(CALC_CRC32_REQ)));
    const auto ok = Of(6, CRC_OK_IND);
    ASSERT_EQ(ok.size(), 1u) << "one verdict for the user all the same";
    EXPECT_EQ(ok[0].long0, 0u);
    EXPECT_EQ(ok[0].long1, 0u);
    EXPECT_THAT(Collapsed(codes),
                Contains(PROGRAMMING_SUCCESS_IND)); // progress walked, nothing sent
    EXPECT_EQ(Board().ProtectedWindowFaults(), 0u);
}

// A failing erase mail: the erase step reports it with its text, the entry
// adds a last MAIL_ERROR_IND, and nothing after the erase runs.
TEST_F(ArmSessionTest, UnansweredEraseIsReportedOncePerLevel) {
    StartArmBoard(18);
    Board().SetReplyOverride(
        [](const vtarget::ReceivedMail& mail) -> std::optional<std::vector<uint8_t>> {
            if (mail.payload[0] == EXT_BLOCK_ERASE_REQ) {
                return std::vector<uint8_t>{};
            }
            return std::nullopt;
        });
    const Piece image{0, testfiles::RandomBytes(0x30000, 7)};
    const auto codes = RunSession(18, HexImage("image", {image}), 7);
    std::vector<uint16_t> expected = kS3c44b0xOpening;
    expected.insert(expected.end(),
                    {MAIL_ERROR_IND, TEXT_INFO_IND, MAIL_ERROR_IND, STOP_PROGRAM_IND});
    EXPECT_THAT(codes, ElementsAreArray(expected));
    const auto errors = Of(7, MAIL_ERROR_IND);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].long0 & 0xFFFF, uint32_t{MAIL_TIMEOUT});
    EXPECT_EQ(errors[1].long0 & 0xFFFF, uint32_t{MAIL_TIMEOUT});
    EXPECT_THAT(TextsOf(7).back(), IsErrorLogLine("3[0-9]{3}", "Arm_00"));
    EXPECT_THAT(ReceivedCodes(), Not(Contains(PROG_EXT_FLASH_REQ)));
}

TEST_F(ArmSessionTest, Ml675001FlashIsProgrammedVerifiedAndAnnouncedForReset) {
    StartArmBoard(14);
    const std::vector<Piece> pieces = {
        {kMl675001Flash, testfiles::RandomBytes(0x1800, 8)},
        {kMl675001Flash + 0x2000, testfiles::RandomBytes(0x1001, 9)}};
    const auto codes = RunSession(14, HexImage("image", pieces), 8);
    ExpectMemoryHolds(pieces[0]);
    ExpectMemoryHolds(pieces[1]);
    EXPECT_EQ(Board().ReadMemory(kMl675001Flash + 0x1800, 0x800),
              std::vector<uint8_t>(0x800, 0xFF));
    EXPECT_EQ(Board().FlashOverwrites(), 0u);
    EXPECT_THAT(Collapsed(codes),
                ElementsAre(START_PROGRAM_IND, PROGRAM_SIZE_IND, PROGRAM_OFFSET_IND, FLASHTYPE_IND,
                            TEXT_INFO_IND, CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND,
                            PROGRAM_PROGRESS_IND, PROGRAMMING_SUCCESS_IND, CRC_OK_IND,
                            RESET_TARGET_IND, STOP_PROGRAM_IND));
    EXPECT_THAT(TextsOf(8), ElementsAre("FlashType=SST SST39VF1601"));
    EXPECT_THAT(RequestsOf(SET_FLASH_PROG_CMD_ADDRESS_REQ),
                ElementsAre(Range{kMl675001Flash, kMl675001Flash + 0x5554}));
    // No mail goes out for the reset: the CRC request was the last one.
    const auto mails = Board().Mails();
    ASSERT_FALSE(mails.empty());
    EXPECT_EQ(mails.back().payload[0], CALC_CRC32_REQ);
    EXPECT_THAT(RequestsOf(CALC_CRC32_REQ),
                ElementsAre(Range{kMl675001Flash, kMl675001Flash + 0x3000}));
    EXPECT_THAT(ProgressOf(8), ElementsAre(kMl675001Flash + 0x1800, kMl675001Flash + 0x3001));
}

// Four full blocks: progress before the fourth is sent, then the end.
TEST_F(ArmSessionTest, Ml675001ProgressBeforeTheFourthBlockAndAtTheEnd) {
    StartArmBoard(14);
    auto progressAtBlock = std::make_shared<std::vector<size_t>>();
    Board().SetReplyOverride([progressAtBlock](const vtarget::ReceivedMail& mail)
                                 -> std::optional<std::vector<uint8_t>> {
        if (mail.payload[0] == PROG_EXT_FLASH_REQ) {
            size_t progress = 0;
            for (const auto& i : Indications()) {
                progress += i.code == PROGRAM_PROGRESS_IND;
            }
            progressAtBlock->push_back(progress);
        }
        return std::nullopt;
    });
    const Piece image{kMl675001Flash + 0x4000, testfiles::RandomBytes(0x2000, 10)};
    RunSession(14, HexImage("image", {image}), 9);
    ExpectMemoryHolds(image);
    EXPECT_THAT(ProgressOf(9), ElementsAre(image.address + 0x1800, image.address + 0x2000));
    EXPECT_THAT(*progressAtBlock, ElementsAre(0u, 0u, 0u, 1u));
}

TEST_F(ArmSessionTest, Ml675001CrcMismatchIsNotAnnouncedForReset) {
    vtarget::BoardOptions options;
    options.corruptWord = kMl675001Flash + 0x10;
    StartArmBoard(14, options);
    const Piece image{kMl675001Flash, testfiles::RandomBytes(0x900, 11)};
    const auto codes = RunSession(14, HexImage("image", {image}), 10);
    EXPECT_THAT(Only(codes, {CRC_OK_IND, CRC_ERROR_IND, RESET_TARGET_IND}),
                ElementsAre(CRC_ERROR_IND));
    EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
}

TEST_F(ArmSessionTest, Ml675001UnknownFlashIsNamedAndProgrammedAllTheSame) {
    vtarget::BoardOptions options;
    options.flashManufacturer = 0x0001;
    options.flashDevice = 0x1234;
    StartArmBoard(14, options);
    const Piece image{kMl675001Flash, testfiles::RandomBytes(0x900, 12)};
    const auto codes = RunSession(14, HexImage("image", {image}), 11);
    EXPECT_THAT(TextsOf(11), ElementsAre("FlashType=## Unknown Flash ##"));
    const auto flashType = Of(11, FLASHTYPE_IND);
    ASSERT_EQ(flashType.size(), 1u);
    ExpectMemoryHolds(image);
    EXPECT_THAT(Only(codes, {CRC_OK_IND, CRC_ERROR_IND, RESET_TARGET_IND}),
                ElementsAre(CRC_OK_IND, RESET_TARGET_IND));
}

// A refused chip erase is still announced as finished, then reported.
TEST_F(ArmSessionTest, Ml675001RefusedChipEraseEndsTheSession) {
    StartArmBoard(14);
    Board().SetReplyOverride(
        [](const vtarget::ReceivedMail& mail) -> std::optional<std::vector<uint8_t>> {
            if (mail.payload[0] == EXT_CHIP_EREASE_REQ) {
                return testframes::Frame(mail.sequence, {EXT_CHIP_EREASE_CFM, 0});
            }
            return std::nullopt;
        });
    const Piece image{kMl675001Flash, testfiles::RandomBytes(0x900, 13)};
    const auto codes = RunSession(14, HexImage("image", {image}), 12);
    EXPECT_THAT(codes,
                ElementsAre(START_PROGRAM_IND, PROGRAM_SIZE_IND, PROGRAM_OFFSET_IND, FLASHTYPE_IND,
                            TEXT_INFO_IND, CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND,
                            MAIL_ERROR_IND, TEXT_INFO_IND, MAIL_ERROR_IND, STOP_PROGRAM_IND));
    EXPECT_EQ(Of(12, MAIL_ERROR_IND).back().long0 & 0xFFFF, uint32_t{MAIL_NEGATIVE_CONFIRM});
    EXPECT_THAT(TextsOf(12).back(), ::testing::HasSubstr("Line(1"));
    EXPECT_THAT(ReceivedCodes(), Not(Contains(PROG_EXT_FLASH_REQ)));
}

// The RAM target gets the file itself: here Intel HEX text of exactly 1000
// bytes, which the boot ROM loads into the board's memory.
TEST_F(ArmSessionTest, RamFileGoesToTheBootRomExactly) {
    StartArmBoard(15);
    const Piece program{0x10000000, testfiles::RandomBytes(342, 14)};
    const std::string file = HexImage("program", {program}, "-line-termination=crlf");
    const std::string text = testfiles::ReadFile(file);
    ASSERT_EQ(text.size(), 1000u);
    const auto codes = RunSession(15, file, 13, kRomRate);
    EXPECT_THAT(codes, ElementsAre(START_PROGRAM_IND, PROGRAM_SIZE_IND, PROGRAM_OFFSET_IND,
                                   PROGRAMMING_SUCCESS_IND, STOP_PROGRAM_IND));
    EXPECT_EQ(Of(13, PROGRAM_SIZE_IND)[0].long0, 1000u);
    EXPECT_EQ(Of(13, PROGRAM_OFFSET_IND)[0].long0, 0u);
    EXPECT_EQ(Board().ReceivedImage(), std::vector<uint8_t>(text.begin(), text.end()));
    ExpectMemoryHolds(program);
    EXPECT_EQ(Board().CurrentStage(), vtarget::Stage::BootLoader) << "no monitor in the file";

    // The dump holds the loaded program.
    const std::string dump = dir_->file("dump.hex");
    ASSERT_TRUE(Board().WriteDump(dump));
    const std::string back = dir_->file("back.bin");
    const auto result = testfiles::RunCommand(std::string(ULVEX_SREC_CAT) + " " + dump +
                                              " -intel -crop 0x10000000 0x10000156 -offset "
                                              "-0x10000000 -o " +
                                              back + " -binary");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const std::string loaded = testfiles::ReadFile(back);
    EXPECT_EQ(std::vector<uint8_t>(loaded.begin(), loaded.end()), program.bytes);
}

// A file the boot ROM cannot read never gets its '>': the exchange times
// out and the session ends with MAIL_ERROR_IND 1.
TEST_F(ArmSessionTest, RamFileTheRomRefusesEndsWithAMailError) {
    StartArmBoard(15);
    const std::string file = dir_->file("program.bin");
    testfiles::WriteFile(file, "not a program\r\n");
    const auto codes = RunSession(15, file, 14, kRomRate);
    EXPECT_THAT(codes, ElementsAre(START_PROGRAM_IND, PROGRAM_SIZE_IND, PROGRAM_OFFSET_IND,
                                   MAIL_ERROR_IND, STOP_PROGRAM_IND));
    EXPECT_EQ(Of(14, MAIL_ERROR_IND)[0].long0 & 0xFFFF, 1u);
    EXPECT_EQ(Of(14, PROGRAM_SIZE_IND)[0].long0, 15u);
}

// Images as GNU objcopy makes them for ARM programs: the bytes as an ELF at
// the flash address, then Intel HEX. Entry points above 1 MiB end the file
// with a type 05 record. Each image is programmed by FlashLoader and by vorn,
// each time on a fresh board.
struct ObjcopyImage {
    int type;
    uint32_t address;
};

void PrintTo(const ObjcopyImage& image, std::ostream* os) {
    *os << "target type " << image.type;
}

class ObjcopyImageTest : public ArmSessionTest, public ::testing::WithParamInterface<ObjcopyImage> {
  protected:
    std::string ObjcopyHex(const Piece& image) {
        const std::string objcopy = ULVEX_ARM_OBJCOPY;
        const std::string bin = dir_->file("program.bin");
        const std::string elf = dir_->file("program.elf");
        const std::string hex = dir_->file("program.hex");
        testfiles::WriteBytes(bin, image.bytes);
        for (const std::string& command :
             {objcopy + " -I binary -O elf32-littlearm -B arm --change-addresses " +
                  std::to_string(image.address) + " " + bin + " " + elf,
              objcopy + " -O ihex " + elf + " " + hex}) {
            const auto result = testfiles::RunCommand(command);
            EXPECT_EQ(result.exitCode, 0) << command << "\n" << result.output;
        }
        char start[32];
        snprintf(start, sizeof start, ":04000005%08X", image.address);
        EXPECT_NE(testfiles::ReadFile(hex).find(start), std::string::npos)
            << "objcopy wrote no " << start << " record";
        return hex;
    }
};

TEST_P(ObjcopyImageTest, IsProgrammedByTheLibraryAndByVorn) {
    const auto [type, address] = GetParam();
    const Piece image{address, testfiles::RandomBytes(0x1801, static_cast<uint32_t>(type))};
    ASSERT_EQ(std::string(ULVEX_ARM_OBJCOPY).find("NOTFOUND"), std::string::npos)
        << "arm-none-eabi-objcopy not found (Debian package binutils-arm-none-eabi)";
    const std::string hex = ObjcopyHex(image);
    ASSERT_FALSE(HasFailure());

    StartArmBoard(type);
    const auto codes = RunSession(static_cast<uint32_t>(type), hex, 20);
    EXPECT_THAT(Only(codes, {HEX_FILE_ERROR_IND, CRC_OK_IND, CRC_ERROR_IND}),
                ElementsAre(CRC_OK_IND));
    ExpectMemoryHolds(image);

    StartArmBoard(type);
    const auto vorn = testfiles::RunCommand(
        "cd '" + dir_->path() + "' && '" VORN_PROGRAM "' comport=" + std::to_string(kPort) +
        " busmode=2 baudrate=921600 target=" + std::to_string(type) + " " + hex);
    EXPECT_EQ(vorn.exitCode, 0) << vorn.output;
    EXPECT_THAT(vorn.output, Not(::testing::HasSubstr("HEX_FILE_ERROR_IND")));
    EXPECT_THAT(vorn.output, ::testing::HasSubstr("\n CRC_OK_IND"));
    ExpectMemoryHolds(image);
}

// The ML675001's flash, and the S3C44B0X's flash at 1 MiB (an application
// behind a boot loader at 0).
INSTANTIATE_TEST_SUITE_P(Arm, ObjcopyImageTest,
                         ::testing::Values(ObjcopyImage{14, kMl675001Flash},
                                           ObjcopyImage{18, 0x00100000}),
                         [](const ::testing::TestParamInfo<ObjcopyImage>& info) {
                             return "Type" + std::to_string(info.param.type);
                         });
