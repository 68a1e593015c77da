// Steps of the KOLT-family programmer against a board whose monitor runs on
// plain memory: chip identification, the internal-flash sequence through
// the controller registers, the error report chain and the touched-sectors
// walk.
#include "programmers/kolt/KoltSteps.h"
#include "BoardFixture.h"
#include "frame/ThreadContext.h"
#include "link/MailPrimitives.h"
#include "programmers/ProgrammerErrorReport.h"
#include "programmers/kolt/KoltChip.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

class KoltStepsTest : public BoardTest {
  protected:
    static constexpr int kPlainMemoryType = 0; // with plain memory: RAM behind the registers

    void SetUp() override {
        BoardTest::SetUp();
        Ctx().programmer = ProgrammerState{};
        StartWith({});
    }

    void StartWith(vtarget::BoardOptions options) {
        options.monitorRunning = true;
        options.plainMemory = true;
        options.targetType = kPlainMemoryType;
        StartBoard(options);
        ASSERT_TRUE(OpenLink());
    }

    void SetIdentity(const char* vdev, uint8_t vconf, uint8_t vrev, uint8_t vmode) {
        Board().WriteMemory(kKoltVersionBytes, {uint8_t(vdev[0]), uint8_t(vdev[1]),
                                                uint8_t(vdev[2]), vconf, vrev, vmode});
    }

    static std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const auto& i : Indications()) {
            if (i.code == TEXT_INFO_IND) {
                texts.push_back(i.text);
            }
        }
        return texts;
    }

    static std::vector<uint16_t> Codes() {
        std::vector<uint16_t> codes;
        for (const auto& i : Indications()) {
            codes.push_back(i.code);
        }
        return codes;
    }

    // Addresses of the requests of one primitive, in order.
    std::vector<uint32_t> AddressesOf(uint8_t code) {
        std::vector<uint32_t> addresses;
        for (const auto& mail : Board().Mails()) {
            const auto& p = mail.payload;
            if (p[0] == code) {
                addresses.push_back(p[1] | p[2] << 8 | p[3] << 16 | uint32_t{p[4]} << 24);
            }
        }
        return addresses;
    }

    uint16_t WordAt(uint32_t address) {
        const auto bytes = Board().ReadMemory(address, 2);
        return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    }
};

TEST_F(KoltStepsTest, IdentifiesKoltA) {
    SetIdentity("K1A", 'E', 'c', '5');
    Ctx().programmer.chipVariant = 77;
    ASSERT_EQ(IdentifyKoltChip(), 0u);
    EXPECT_EQ(Ctx().programmer.chipVariant, KOLT_VARIANT_KOLT_A);
    EXPECT_THAT(Texts(), ElementsAre("VDEV  : K1A ", "VCONF : 0x45 = E = 2Mbit ROM ",
                                     "VREV  : c = third revision with metal change ",
                                     "VMODE : 5 = MODE2,1,0 = 101 "));
    EXPECT_EQ(AddressesOf(READ_MEM8_REQ),
              (std::vector<uint32_t>{0xFFFFFA, 0xFFFFFB, 0xFFFFFC, 0xFFFFFD, 0xFFFFFE, 0xFFFFFF}));
}

TEST_F(KoltStepsTest, IdentityLinesOfEveryLetter) {
    const std::pair<char, const char*> vconfs[] = {
        {'A', "-         "}, {'B', "-         "}, {'C', "No ROM    "}, {'D', "1Mbit ROM "},
        {'H', "5Mbit ROM "}, {'K', "8Mbit ROM "}, {'L', "????????? "}};
    for (const auto& [letter, text] : vconfs) {
        const auto lines = KoltIdentityLines({{'N', '1', 'A'}, uint8_t(letter), 'A', '0'}, 2);
        EXPECT_EQ(lines[1], std::string("VCONF : 0x") + (letter == 'A' ? "41" : "") +
                                (letter == 'A' ? "" : lines[1].substr(10, 2)) + " = " + letter +
                                " = " + text);
    }
    const std::pair<char, const char*> vrevs[] = {{'A', "first revision "},
                                                  {'E', "fifh revision "},
                                                  {'F', "sixth revision "},
                                                  {'a', "first revision with metal change "},
                                                  {'e', "fifh revision with metal change "},
                                                  {'G', "????????? "}};
    for (const auto& [letter, text] : vrevs) {
        const auto lines = KoltIdentityLines({{'K', '1', 'B'}, 'C', uint8_t(letter), '0'}, 1);
        EXPECT_EQ(lines[2], std::string("VREV  : ") + letter + " = " + text);
    }
    EXPECT_EQ(KoltIdentityLines({{'K', '1', 'A'}, 'C', 'A', '0'}, 0)[3],
              "VMODE : 0 = MODE2,1,0 = 000 ");
    EXPECT_EQ(KoltIdentityLines({{'K', '1', 'A'}, 'C', 'A', '7'}, 0)[3],
              "VMODE : 7 = MODE2,1,0 = 111 ");
    EXPECT_EQ(KoltIdentityLines({{'K', '1', 'A'}, 'C', 'A', '8'}, 0)[3],
              "VMODE : 8 = ?????????       ");
}

TEST_F(KoltStepsTest, PeldShowsRevisionNibblesAndNoModeLine) {
    SetIdentity("P1A", 'B', 0x21, '3');
    ASSERT_EQ(IdentifyKoltChip(), 0u);
    EXPECT_EQ(Ctx().programmer.chipVariant, KOLT_VARIANT_PELD_A);
    EXPECT_THAT(Texts(), ElementsAre("VDEV  : P1A ", "VCONF : 0x42 = B = 384K ROM  ",
                                     "VREV=0x02  VMETAL=0x01"));
    EXPECT_EQ(KoltIdentityLines({{'P', '1', 'B'}, 'A', 0x10, '0'}, 4)[1],
              "VCONF : 0x41 = A = No ROM    ");
    EXPECT_EQ(KoltIdentityLines({{'P', '1', 'B'}, 'C', 0x10, '0'}, 4)[1],
              "VCONF : 0x43 = C = ????????? ");
}

TEST_F(KoltStepsTest, UnknownChipUsesTheCommonTablesAndShowsTheMode) {
    SetIdentity("XYZ", 'C', 'Z', '9');
    ASSERT_EQ(IdentifyKoltChip(), 0u);
    EXPECT_EQ(Ctx().programmer.chipVariant, KOLT_VARIANT_UNKNOWN);
    EXPECT_THAT(Texts(), ElementsAre("VDEV  : XYZ ", "VCONF : 0x43 = C = No ROM    ",
                                     "VREV  : Z = ????????? ", "VMODE : 9 = ?????????       "));
}

TEST_F(KoltStepsTest, ErrorReportNamesCheckModuleAndBuild) {
    constexpr const char* kReportModule = "ProgKolt";
    constexpr unsigned kReportCheckBase = 5000;
    const unsigned line = __LINE__ + 1;
    EXPECT_EQ(REPORT_PROGRAMMER_ERROR(9u), 9u);
    const auto indications = Indications();
    ASSERT_EQ(indications.size(), 2u);
    EXPECT_EQ(indications[0].code, MAIL_ERROR_IND);
    EXPECT_EQ(indications[0].long0 & 0xFFFF, 9u);
    EXPECT_EQ(indications[1].text, "## ERROR ## in Line(" + std::to_string(5000 + line) +
                                       ") Module(ProgKolt) Date(" __DATE__ ") Time(" __TIME__ ") ");
}

TEST_F(KoltStepsTest, InternalFlashOfConfigurableChip) {
    SetIdentity("K1A", 'C', 'D', '0');
    ASSERT_EQ(IdentifyKoltChip(), 0u);
    Ctx().programmer.targetType = 0;
    Board().WriteMemory(kKoltFlashConfig, {0x3A, 0x12});
    const auto data = testfiles::RandomBytes(0x40000 + 0x100, 1);
    const auto image = ImageOf(data);
    ASSERT_EQ(ProgramKoltInternal(image.data(), 0x080000, 0x40100), 0u);

    EXPECT_EQ(WordAt(kKoltFlashConfig), 0x1233) << "low bits take the 3 segments";
    EXPECT_EQ(WordAt(0x080002), 0x5070);
    EXPECT_EQ(WordAt(0x080008), 0x5A7A);
    EXPECT_EQ(WordAt(0x08000A), 3);
    EXPECT_EQ(WordAt(kKoltFlashControl), 0x0000);
    EXPECT_EQ(Board().ReadMemory(0x080100, 0x100),
              std::vector<uint8_t>(data.begin() + 0x100, data.begin() + 0x200));
    // Configuration, two passes over the two units the image reaches (five
    // writes each), programming start and end, info block.
    EXPECT_EQ(AddressesOf(WRITE_MEM16_REQ).size(), 1 + 2 * 2 * 5 + 2 + 6u);
    const auto indications = Indications();
    EXPECT_EQ(indications.front().code, TEXT_INFO_IND);
    const auto codes = Codes();
    EXPECT_EQ(codes[4], CHIP_ERASE_START_IND);
    EXPECT_EQ(codes[5], CHIP_ERASE_FINISHED_IND);
    EXPECT_EQ(codes.back(), PROGRAMMING_SUCCESS_IND);
    EXPECT_EQ(indications[indications.size() - 2].long0, 0x080000u + 0x40000 + 0x80)
        << "closing progress counts the tail in words";
}

TEST_F(KoltStepsTest, InternalFlashOfEarlyKoltALeavesConfigurationAlone) {
    SetIdentity("K1A", 'C', 'B', '0');
    ASSERT_EQ(IdentifyKoltChip(), 0u);
    const auto image = ImageOf(testfiles::RandomBytes(0x100, 2));
    ASSERT_EQ(ProgramKoltInternal(image.data(), 0x080000, 0x100), 0u);
    const auto writes = AddressesOf(WRITE_MEM16_REQ);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), kKoltFlashConfig), 0);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), 0x080008u), 0);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), 0x080002u), 1);
    // Four waits per erase pass, one after programming, three in the info block.
    EXPECT_EQ(AddressesOf(READ_MEM16_REQ).size(), 2 * 4 + 1 + 3u) << "controller polls only";
}

TEST_F(KoltStepsTest, UnknownChipSaysSoTwiceAndProgramsOn) {
    SetIdentity("QQQ", 'C', 'C', '0');
    ASSERT_EQ(IdentifyKoltChip(), 0u);
    Ctx().programmer.targetType = 11;
    const auto image = ImageOf(testfiles::RandomBytes(0x20, 3));
    ASSERT_EQ(ProgramKoltInternal(image.data(), 0x000000, 0x20), 0u);
    const auto texts = Texts();
    EXPECT_EQ(
        std::count(texts.begin(), texts.end(), "### UNKNOWN TARGET TYPE [InternalKoltFlash()] ###"),
        1);
    EXPECT_EQ(
        std::count(texts.begin(), texts.end(), "### UNKNOWN TARGET TYPE [in set info block] ###"),
        1);
    // An end below the flash base reaches every unit of the two-unit board.
    const auto writes = AddressesOf(WRITE_MEM16_REQ);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), 0x0C0000u), 2);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), 0x100000u), 0);
}

TEST_F(KoltStepsTest, FailureIsReportedAtEveryLevel) {
    vtarget::BoardOptions options;
    options.faults.nakEvery = 1;
    StartWith(options);
    const auto image = ImageOf(testfiles::RandomBytes(0x20, 4));
    ASSERT_EQ(ProgramKoltInternal(image.data(), 0x080000, 0x20), uint32_t{MAIL_NEGATIVE_CONFIRM});
    EXPECT_THAT(Codes(), ElementsAre(CHIP_ERASE_START_IND, MAIL_ERROR_IND, TEXT_INFO_IND,
                                     MAIL_ERROR_IND, TEXT_INFO_IND));
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_THAT(texts[0], MatchesRegex("## ERROR ## in Line\\(2[0-9]+\\) Module\\(ProgKolt\\).*"));
    EXPECT_NE(texts[0], texts[1]) << "each level names its own check";
    EXPECT_EQ(AddressesOf(WRITE_MEM16_REQ), std::vector<uint32_t>{kKoltFlashControl});
}

TEST_F(KoltStepsTest, TouchedSectorsRefuseAnUnknownFlash) {
    const auto image = ImageOf(testfiles::RandomBytes(0x100, 5));
    EXPECT_EQ(ProgramKoltTouchedSectors(image.data(), 0x100000, 0x100), 1u);
    EXPECT_THAT(Codes(), ElementsAre(FLASHTYPE_IND, TEXT_INFO_IND));
    EXPECT_THAT(Texts(), ElementsAre("### UNKNOWN FLASHTYPE ###"));
    EXPECT_TRUE(AddressesOf(EXT_SECTOR_ERASE_REQ).empty());
    EXPECT_TRUE(AddressesOf(PROG_EXT_FLASH_REQ).empty());
}

TEST_F(KoltStepsTest, TouchedSectorsEraseBeforeFirstDataAndSkipBlankEndedWindows) {
    vtarget::BoardOptions options;
    options.flashManufacturer = 0x00BF;
    options.flashDevice = 0x234B;
    StartWith(options);
    // Three 4 KB windows; each ends in blank blocks, so none is verified.
    std::vector<uint8_t> data(0x2800, 0xFF);
    data[0x0210] = 1; // window 1, second block
    data[0x0420] = 2; // window 1, third block: no second erase
    data[0x1C00] = 3; // window 2, last-but-one block
    data[0x2000] = 4; // the half window 3
    const auto image = ImageOf(data);
    ASSERT_EQ(ProgramKoltTouchedSectors(image.data(), 0x100000, 0x2800), 0u);

    EXPECT_THAT(Texts(), ElementsAre("SST SST39VF1601"));
    EXPECT_EQ(AddressesOf(EXT_SECTOR_ERASE_REQ),
              (std::vector<uint32_t>{0x100200, 0x101C00, 0x102000}));
    EXPECT_EQ(AddressesOf(PROG_EXT_FLASH_REQ),
              (std::vector<uint32_t>{0x100200, 0x100400, 0x101C00, 0x102000}));
    EXPECT_TRUE(AddressesOf(CALC_CRC32_REQ).empty());
    EXPECT_EQ(AddressesOf(SET_FLASH_PROG_CMD_ADDRESS_REQ), std::vector<uint32_t>{0x100000});
    EXPECT_EQ(Codes().back(), PROGRAMMING_SUCCESS_IND);
    EXPECT_EQ(Board().ReadMemory(0x101C00, 1), std::vector<uint8_t>{3});
}
