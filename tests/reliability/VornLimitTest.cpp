// vorn's names and COM numbers at and over their limits: file, upload and
// script names of 255 characters work and longer ones are ignored with a
// message; the library's own limit of 199 characters shows as "Can't open
// file"; COM numbers outside 1..254 fail in the library, not in vorn.
#include "VornFixture.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr const char* kFastLink = "comport=1 baudrate=921600 busmode=2";
constexpr const char* kIgnoredName = "\n### Name longer than 255 characters ignored ###";
constexpr const char* kCannotOpen = "\n### Can't open file ###\n";

// A name of `length` characters with the extension, for example ".bin".
std::string NameOf(size_t length, const std::string& extension) {
    return std::string(length - extension.size(), 'n') + extension;
}

// 256 characters in the directory "d", which the test creates, so that
// the file could be there: a single name cannot be that long.
std::string PathOf256(const std::string& extension) {
    return "d/" + NameOf(254, extension);
}

vtarget::BoardOptions RunningMonitor() {
    vtarget::BoardOptions options;
    options.targetType = 18;
    options.monitorRunning = true;
    options.plainMemory = true;
    options.baudRate = 921600;
    return options;
}

} // namespace

class VornLimitTest : public VornTest {};

TEST_F(VornLimitTest, NamesOf255CharactersWorkAndLongerOnesAreIgnored) {
    StartBoard(RunningMonitor());
    Board().WriteMemory(0, {1, 2, 3, 4});
    ASSERT_EQ(mkdir(File("d").c_str(), 0700), 0);

    const std::string upload = NameOf(255, ".bin");
    const auto uploaded = RunVorn(std::string(kFastLink) + " upload=0-3 " + upload);
    EXPECT_EQ(testfiles::ReadFile(File(upload)), std::string("\x01\x02\x03\x04", 4))
        << uploaded.output;
    const auto refused = RunVorn(std::string(kFastLink) + " upload=0-3 " + PathOf256(".bin"));
    EXPECT_THAT(refused.output, HasSubstr(kIgnoredName));
    EXPECT_THAT(refused.output, HasSubstr("\n### Can't create file  ###\n"));
    EXPECT_FALSE(testfiles::FileExists(File(PathOf256(".bin"))));

    const std::string script = NameOf(255, ".scr");
    testfiles::WriteFile(File(script), "PRINT \"script ran\"\n");
    const auto ran = RunVorn(std::string(kFastLink) + " monitorload=off " + script);
    EXPECT_THAT(ran.output, HasSubstr("script ran"));
    // Without the script the run is a programming job without a file.
    testfiles::WriteFile(File(PathOf256(".scr")), "PRINT \"script ran\"\n");
    const auto ignored = RunVorn(std::string(kFastLink) + " monitorload=off " + PathOf256(".scr"));
    EXPECT_THAT(ignored.output, HasSubstr(kIgnoredName));
    EXPECT_THAT(ignored.output, Not(HasSubstr("script ran")));
    EXPECT_EQ(ignored.exitCode, 2);
}

TEST_F(VornLimitTest, ImageNamesReachTheLibraryWhole) {
    vtarget::BoardOptions options;
    options.targetType = 17;
    StartBoard(options);
    const std::string fits = NameOf(199, ".hex");
    HexFile(fits, 0, testfiles::RandomBytes(0x200, 4));
    const auto programmed = RunVorn(std::string(kFastLink) + " target=17 " + fits);
    EXPECT_EQ(programmed.exitCode, 0);
    EXPECT_THAT(programmed.output, HasSubstr(" CRC_OK_IND "));

    for (size_t length : {200, 255}) {
        const std::string name = NameOf(length, ".hex");
        testfiles::WriteFile(File(name), testfiles::ReadFile(File(fits)));
        const auto refused = RunVorn(std::string(kFastLink) + " target=17 " + name);
        EXPECT_EQ(refused.exitCode, 2) << length;
        EXPECT_THAT(refused.output, HasSubstr(kCannotOpen)) << length;
    }
}

TEST_F(VornLimitTest, ComNumbersOutsideOneTo254FailInTheLibrary) {
    StartBoard(RunningMonitor());
    HexFile("image.hex", 0, {1, 2, 3, 4});
    Board().WriteMemory(0, {1, 2, 3, 4});
    const std::string link = File("board");
    const std::string mapped =
        "ULVEX_COM0='" + link + "' ULVEX_COM254='" + link + "' ULVEX_COM255='" + link + "'";
    const std::string verify = " baudrate=921600 busmode=2 target=0 verifycrc image.hex";

    const auto last = RunVorn("comport=254" + verify, mapped);
    EXPECT_THAT(last.output, HasSubstr(" Target crc32 = "));
    // COMPORT=256 is 0 in 8 bits.
    for (const char* port : {"comport=0", "comport=255", "comport=256"}) {
        const auto run = RunVorn(port + verify, mapped);
        EXPECT_EQ(run.exitCode, 0) << port;
        EXPECT_THAT(run.output, HasSubstr(" COM_PORT_ACCESS_FAIL_IND")) << port;
        EXPECT_THAT(run.output, Not(HasSubstr("crc32"))) << port;
    }
    EXPECT_EQ(Board().MailCount(), 2u);
}
