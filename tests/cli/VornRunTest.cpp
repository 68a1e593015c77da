// vorn run as users run it: the start checks, the refused sessions, and the
// test-mode jobs against a board whose monitor already runs.
#include "VornFixture.h"

#include <gmock/gmock.h>
#include <zlib.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr const char* kFastLink = "comport=1 baudrate=921600 busmode=2";

vtarget::BoardOptions RunningMonitor(int type) {
    vtarget::BoardOptions options;
    options.targetType = type;
    options.monitorRunning = true;
    options.baudRate = 921600;
    return options;
}

// Plain RAM behind the monitor, so that tests can put memory in place.
vtarget::BoardOptions PlainMemory() {
    vtarget::BoardOptions options = RunningMonitor(18);
    options.plainMemory = true;
    return options;
}

std::string Golden(const std::string& name) {
    return testfiles::ReadFile(std::string(VORN_GOLDEN_DIR) + "/" + name);
}

uint32_t Crc(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string CrcLines(uint32_t file, uint32_t target) {
    char text[80];
    snprintf(text, sizeof text, "\n\n File crc32   = %08X\n Target crc32 = %08X\n", file, target);
    return text;
}

} // namespace

TEST_F(VornTest, WithoutArgumentsShowsBannerAndHelpAndLeavesTheConfigurationUnread) {
    testfiles::WriteFile(File("Vorn.cfg"), "XY\n");
    const auto run = RunVorn("");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, Golden("banner.txt") + Golden("help.txt"));
    EXPECT_EQ(testfiles::ReadFile(File("Vorn.cfg")), "XY\n");
}

TEST_F(VornTest, HelpAndVersionArgumentsEndAtOnce) {
    for (const char* help : {"-h", "--help", "'-?'", "myprog.hex --HELP"}) {
        const auto run = RunVorn(help);
        EXPECT_EQ(run.exitCode, 0) << help;
        EXPECT_EQ(run.output, Golden("banner.txt") + Golden("help.txt")) << help;
    }
    const auto version = RunVorn("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, Golden("banner.txt"));
}

TEST_F(VornTest, LibraryOfAnotherMajorVersionIsRefused) {
    // The sanitizer runtimes want to come first; the preloaded stand-in has none.
    const auto run = RunVorn("myprog.hex", "LD_PRELOAD='" VORN_FAKE_LIBRARY
                                           "' ASAN_OPTIONS=verify_asan_link_order=0");
    EXPECT_EQ(run.exitCode, 21);
    EXPECT_THAT(run.output, HasSubstr(" Ulvex.DLL Version : 3.00 \n"));
    EXPECT_THAT(run.output,
                HasSubstr("\n The current Ulvex.DLL is not compatible with this Vorn version \n"));
    EXPECT_THAT(run.output, Not(HasSubstr("VORN.EXE <FILENAME>")));
}

TEST_F(VornTest, RefusedSessionsEndWithTheirMessageAndCode) {
    testfiles::WriteFile(File("myprog.hex"), ":00000001FF\n");
    const auto noBusMode = RunVorn("myprog.hex");
    EXPECT_EQ(noBusMode.exitCode, 5);
    EXPECT_THAT(noBusMode.output, HasSubstr("\n### Unknown bus mode type ###\n"));
    EXPECT_THAT(noBusMode.output, Not(HasSubstr("START_PROGRAM_IND")));

    const auto noFile = RunVorn("missing.hex busmode=2");
    EXPECT_EQ(noFile.exitCode, 2);
    EXPECT_THAT(noFile.output, HasSubstr("\n### Can't open file ###\n"));
}

TEST_F(VornTest, UploadWritesEveryByteOfTheRangeAndBothCrcs) {
    StartBoard(PlainMemory());
    const auto memory = testfiles::RandomBytes(0x800, 7);
    Board().WriteMemory(0, memory);

    const auto oneBlock = RunVorn(std::string(kFastLink) + " UPLOAD=0-2FF out.bin");
    EXPECT_EQ(oneBlock.exitCode, 0) << oneBlock.output;
    const std::string first = testfiles::ReadFile(File("out.bin"));
    EXPECT_EQ(first, std::string(memory.begin(), memory.begin() + 0x300));
    EXPECT_THAT(oneBlock.output, HasSubstr("00000000\b\b\b\b\b\b\b\b000002FF\b\b\b\b\b\b\b\b"));
    EXPECT_THAT(oneBlock.output, HasSubstr(CrcLines(Crc(first), Crc(first))));

    // One byte more takes a second block, of which only that byte is kept.
    const auto twoBlocks = RunVorn(std::string(kFastLink) + " UPLOAD=0-300 out.bin");
    const std::string second = testfiles::ReadFile(File("out.bin"));
    EXPECT_EQ(second, std::string(memory.begin(), memory.begin() + 0x301));
    EXPECT_THAT(twoBlocks.output, HasSubstr("00000300\b\b\b\b\b\b\b\b00000300\b\b\b\b\b\b\b\b"));
    EXPECT_THAT(twoBlocks.output, HasSubstr("\n File crc32   = "));
    // The session lines of test mode frame the job.
    EXPECT_EQ(Count(twoBlocks.output, "\n START_PROGRAM_IND"), 1u);
    EXPECT_EQ(Count(twoBlocks.output, "\n STOP_PROGRAM_IND         [Time "), 1u);
}

TEST_F(VornTest, Upload16WritesWordsLowByteFirstWithoutCrcs) {
    StartBoard(PlainMemory());
    const auto memory = testfiles::RandomBytes(0x300, 9);
    Board().WriteMemory(0x1000, memory);

    const auto run = RunVorn(std::string(kFastLink) + " upload16=1000-117f words.bin");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(testfiles::ReadFile(File("words.bin")), std::string(memory.begin(), memory.end()));
    EXPECT_THAT(run.output, Not(HasSubstr("crc32")));
}

TEST_F(VornTest, OneJobRunsByPrecedence) {
    StartBoard(PlainMemory());

    // The upload wins over the verification, which would refuse out.bin.
    const auto upload = RunVorn(std::string(kFastLink) + " UPLOAD=0-2FF out.bin VERIFYCRC");
    EXPECT_EQ(testfiles::ReadFile(File("out.bin")).size(), 0x300u);
    EXPECT_THAT(upload.output, Not(HasSubstr("Hex-file")));

    // A script name wins over both, before the port is touched.
    const auto script = RunVorn(std::string(kFastLink) + " UPLOAD=0-2FF other.bin VERIFYCRC t.scr");
    EXPECT_EQ(script.exitCode, 0);
    EXPECT_FALSE(testfiles::FileExists(File("other.bin")));
    EXPECT_THAT(script.output, HasSubstr("t.scr"));
}

TEST_F(VornTest, FailedFirstReadLeavesAnEmptyFileAndNoCrcs) {
    auto options = PlainMemory();
    options.faults.silentAfter = 1; // answers the probe at address 0 only
    StartBoard(options);

    const auto run = RunVorn(std::string(kFastLink) + " UPLOAD=0-2FF out.bin");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(testfiles::FileExists(File("out.bin")));
    EXPECT_EQ(testfiles::ReadFile(File("out.bin")), "");
    EXPECT_THAT(run.output, Not(HasSubstr("crc32")));
    EXPECT_THAT(run.output, HasSubstr("\n STOP_PROGRAM_IND"));
}

TEST_F(VornTest, UploadIntoAFileThatCannotBeCreatedSaysSo) {
    StartBoard(PlainMemory());

    const auto run = RunVorn(std::string(kFastLink) + " UPLOAD=0-2FF nodir/out.bin");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.output, HasSubstr("\n### Can't create file nodir/out.bin ###\n"));
    EXPECT_THAT(run.output, Not(HasSubstr("crc32")));
}

TEST_F(VornTest, VerifyComparesAnOddImageWithTheFlashOfARunningMonitor) {
    auto options = RunningMonitor(0);
    options.plainMemory = true; // so that the test can put the image in place
    StartBoard(options);
    const auto image = testfiles::RandomBytes(0x301, 11);
    const std::string hex = HexFile("Image.hex", 0x080000, image);
    Board().WriteMemory(0x080000, image);

    const auto run = RunVorn(std::string(kFastLink) + " target=0 verifycrc Image.hex");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    // The file's CRC takes the image to an even length with the erased byte after it.
    std::string even(image.begin(), image.end());
    even.push_back('\xFF');
    EXPECT_THAT(run.output, HasSubstr(CrcLines(Crc(even), Crc(even))));
    // A monitor that already answers is left as it is: the probe and the CRC
    // request are all it gets, no register set-up.
    EXPECT_EQ(Board().MailCount(), 2u);
}

TEST_F(VornTest, VerifyNamesTheTargetsItCannotCheckAndBadFiles) {
    StartBoard(RunningMonitor(14));
    HexFile("image.hex", 0x1000, testfiles::RandomBytes(64, 3));

    const auto unknown = RunVorn(std::string(kFastLink) + " target=14 VERIFYCRC image.hex");
    EXPECT_THAT(unknown.output, HasSubstr("\n ### Unknown Target type ###\n"));
    EXPECT_THAT(unknown.output, Not(HasSubstr("crc32")));

    testfiles::WriteFile(File("broken.hex"), ":10000000ZZ\n");
    const auto broken = RunVorn(std::string(kFastLink) + " target=14 VERIFYCRC broken.hex");
    EXPECT_EQ(broken.exitCode, 0);
    EXPECT_THAT(broken.output, HasSubstr("\n ### Error reading Hex-file ###\n"));
}

TEST_F(VornTest, DebugWritesTheLibraryLogAndConfigurationIsRead) {
    StartBoard(PlainMemory());
    testfiles::WriteFile(File("Vorn.cfg"), "; settings of this bench\nDEBUG\nbaudrate=921600\n"
                                           "busmode=2\nUPLOAD=0-F\nout.bin\n");

    const auto run = RunVorn("");
    ASSERT_THAT(run.output, HasSubstr("VORN.EXE")); // no argument: help only
    EXPECT_FALSE(testfiles::FileExists(File("TestMode_0.log")));

    const auto withArgument = RunVorn("comport=1");
    EXPECT_EQ(withArgument.exitCode, 0) << withArgument.output;
    EXPECT_EQ(testfiles::ReadFile(File("out.bin")).size(), 16u);
    EXPECT_TRUE(testfiles::FileExists(File("TestMode_0.log")));
    EXPECT_THAT(withArgument.output, Not(HasSubstr("No configuration file")));
}
