// vorn against boards that start in their boot loader: whole programming
// sessions as the console shows them, and the monitor start of the test-mode
// jobs with the register set-up it does on KOLT-family chips.
#include "VornFixture.h"

#include <gmock/gmock.h>

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr uint32_t kFlash = 0x080000;

vtarget::BoardOptions BootingBoard(int type) {
    vtarget::BoardOptions options;
    options.targetType = type;
    return options;
}

std::string Args(int type, const std::string& rest) {
    return "comport=1 busmode=2 baudrate=115200 target=" + std::to_string(type) + " " + rest;
}

std::vector<uint16_t> WordsWrittenTo(const std::vector<vtarget::WordWrite>& writes,
                                     uint32_t address) {
    std::vector<uint16_t> values;
    for (const auto& write : writes) {
        if (write.address == address) {
            values.push_back(write.value);
        }
    }
    return values;
}

} // namespace

class VornProgramTest : public VornTest, public ::testing::WithParamInterface<int> {};

TEST_P(VornProgramTest, ShowsEveryStageAndProgramsTheImage) {
    StartBoard(BootingBoard(GetParam()));
    const auto image = testfiles::RandomBytes(0x2000, 5);
    HexFile("Blink.hex", kFlash, image);

    const auto run = RunVorn(Args(GetParam(), "Blink.hex"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const char* line :
         {"\n START_PROGRAM_IND        ", "\n DOWNLOAD_SUCCESS_IND     ",
          "\n PROGRAM_SIZE_IND         [Size=00002000]",
          "\n PROGRAM_OFFSET_IND       [Offset=00080000]", "\r PROGRAM_PROGRESS_IND     [Addr=",
          "\n CRC_OK_IND               [File=", "\n RESET_TARGET_IND         "}) {
        EXPECT_THAT(run.output, HasSubstr(line)) << run.output;
    }
    // The stop line comes last, on a line of its own.
    const size_t stop = run.output.rfind("\n STOP_PROGRAM_IND         [Time ");
    ASSERT_NE(stop, std::string::npos);
    EXPECT_THAT(run.output.substr(stop), EndsWith(" msec] "));
    EXPECT_EQ(Board().ReadMemory(kFlash, 0x2000), image);
}

// Internal flash, two 8-bit flashes, and a board of the fastest crystal.
INSTANTIATE_TEST_SUITE_P(Types, VornProgramTest, ::testing::Values(0, 2, 21),
                         [](const auto& info) { return "Type" + std::to_string(info.param); });

// The other families: where each keeps its image, and how its session ends.
struct FamilyCase {
    int type;
    uint32_t address;
    bool restarts;  // RESET_TARGET_IND after CRC_OK_IND
    bool readsBack; // the board's memory shows the image afterwards
};

void PrintTo(const FamilyCase& family, std::ostream* out) {
    *out << "target type " << family.type;
}

class VornFamilyTest : public VornTest, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(VornFamilyTest, ProgramsTheImageAndShowsTheOutcome) {
    const FamilyCase& family = GetParam();
    StartBoard(BootingBoard(family.type));
    const auto image = testfiles::RandomBytes(0x500, 21);
    HexFile("image.hex", family.address, image);

    const auto run = RunVorn(Args(family.type, "image.hex"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("\n PROGRAM_SIZE_IND         [Size=00000500]"));
    EXPECT_THAT(run.output, HasSubstr("\n CRC_OK_IND               [File=")) << run.output;
    EXPECT_EQ(Count(run.output, "\n RESET_TARGET_IND"), family.restarts ? 1u : 0u);
    EXPECT_THAT(run.output, HasSubstr("\n STOP_PROGRAM_IND"));
    if (family.readsBack) {
        EXPECT_EQ(Board().ReadMemory(family.address, 0x500), image);
    }
}

// MERV-A with and without read protection, ATmega64/128, ML675001 external
// flash, S3C44B0X and its external-UART variant.
INSTANTIATE_TEST_SUITE_P(
    Families, VornFamilyTest,
    ::testing::Values(FamilyCase{3, 0, true, true}, FamilyCase{16, 0, true, false},
                      FamilyCase{10, 0, false, true}, FamilyCase{17, 0, false, true},
                      FamilyCase{14, 0xC8000000, true, true}, FamilyCase{18, 0, false, true},
                      FamilyCase{22, 0, false, true}),
    [](const auto& info) { return "Type" + std::to_string(info.param.type); });

// The ML675001's RAM takes the file as it is: the boot ROM loads the HEX text.
TEST_F(VornTest, RamTargetLoadsTheFileThroughTheBootRom) {
    StartBoard(BootingBoard(15));
    const auto program = testfiles::RandomBytes(0x200, 22);
    const std::string hex = HexFile("program.hex", 0x10000000, program);

    const auto run = RunVorn(Args(15, "program.hex"));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_THAT(run.output, HasSubstr("\n PROGRAMMING_SUCCESS_IND  "));
    EXPECT_THAT(run.output, Not(HasSubstr("CRC_")));
    EXPECT_EQ(Board().ReadMemory(0x10000000, 0x200), program);
}

TEST_F(VornTest, CrcMismatchShowsTheErrorBannerAndStillEndsWithZero) {
    auto options = BootingBoard(0);
    options.corruptWord = kFlash + 0x10;
    StartBoard(options);
    HexFile("image.hex", kFlash, testfiles::RandomBytes(0x400, 6));

    const auto run = RunVorn(Args(0, "image.hex"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.output, HasSubstr("\n CRC_ERROR_IND            [File="));
    EXPECT_THAT(run.output,
                HasSubstr("]\n\n#########    CRC32  ERROR   #########\n\n STOP_PROGRAM_IND"));
    EXPECT_THAT(run.output, Not(HasSubstr("RESET_TARGET_IND")));
}

// Chip revisions C to F get their clock register set after the monitor start;
// others are left alone.
TEST_F(VornTest, MonitorStartSetsTheClockOfLaterRevisionsOnly) {
    for (const uint8_t revision : {'B', 'c'}) {
        auto options = BootingBoard(0);
        options.vrev = revision;
        StartBoard(options);
        const auto run = RunVorn(Args(0, "UPLOAD=80000-8000F out.bin"));
        EXPECT_THAT(run.output, HasSubstr("DOWNLOAD_SUCCESS_IND")) << run.output;
        const auto clock = WordsWrittenTo(Board().RegisterWrites(), 0xFFE124);
        if (revision == 'B') {
            EXPECT_TRUE(clock.empty());
        } else {
            ASSERT_EQ(clock.size(), 1u);
            EXPECT_EQ(clock[0] & 0x000F, 0x0008);
        }
        EXPECT_EQ(testfiles::ReadFile(File("out.bin")).size(), 16u);
        Board().Stop();
    }
}

TEST_F(VornTest, MonitorStartOpensTheBusOfExternalFlashBoards) {
    StartBoard(BootingBoard(1));
    HexFile("image.hex", kFlash, std::vector<uint8_t>(0x40, 0xFF));
    const auto run = RunVorn(Args(1, "VERIFYCRC image.hex"));
    EXPECT_THAT(run.output, HasSubstr("\n Target crc32 = ")) << run.output;
    const auto writes = Board().RegisterWrites();
    EXPECT_EQ(WordsWrittenTo(writes, 0xFFE110), std::vector<uint16_t>{0x01C0 & 0xFE3F});
    EXPECT_EQ(WordsWrittenTo(writes, 0xFFE116), std::vector<uint16_t>{0x0080});
    EXPECT_EQ(WordsWrittenTo(writes, 0xFFE118), std::vector<uint16_t>{0x0200});
}

// On a single-wire bus the monitor is started with bus mode 8001h, and the
// port is reopened with it: DTR is raised again, where bus mode 1 alone would
// keep the line dropped by the close before.
TEST_F(VornTest, SingleWireBusKeepsDtrRaisedFromTheMonitorStartOn) {
    auto options = BootingBoard(0);
    options.echo = true;
    StartBoard(options);
    const auto run =
        RunVorn("comport=1 busmode=1 baudrate=115200 target=0 UPLOAD=80000-8000F out.bin");
    const size_t download = run.output.find("DOWNLOAD_SUCCESS_IND");
    ASSERT_NE(download, std::string::npos) << run.output;
    const std::string afterStart = run.output.substr(download);
    EXPECT_EQ(Count(afterStart, "[DTR_SET]"), 1u) << run.output;
    EXPECT_EQ(Count(afterStart, "[DTR_CLR]"), 0u) << run.output;
    EXPECT_EQ(testfiles::ReadFile(File("out.bin")).size(), 16u);
}

TEST_F(VornTest, ScriptRunsAfterTheMonitorStartAndEndsTestMode) {
    StartBoard(BootingBoard(0));
    testfiles::WriteFile(File("probe.scr"), "PRINT \"<<\" READ8 A #FFFFFE PRINT_REG A #0\n"
                                            "WRITE16 #1234 #FFE000 READ16 B #FFE000\n"
                                            "PRINT_REG B #0 PRINT \">>\"\n");
    const auto run = RunVorn(Args(0, "probe.scr"));
    EXPECT_EQ(run.exitCode, 0);
    const size_t download = run.output.find("\n DOWNLOAD_SUCCESS_IND");
    const size_t script = run.output.find("<< 00000043 00001234 >> ");
    const size_t stop = run.output.rfind("\n STOP_PROGRAM_IND");
    ASSERT_NE(script, std::string::npos) << run.output;
    EXPECT_LT(download, script);
    EXPECT_LT(script, stop);
    EXPECT_NE(stop, std::string::npos);
}
