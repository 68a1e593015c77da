// The library's names and numbers at and over their limits: image names
// around 200 characters, log files of ids beyond 16 bits, and COM numbers
// outside 1..254 with a live board behind them.
#include "BoardFixture.h"
#include "SessionEnd.h"
#include "SessionImages.h"

#include <gmock/gmock.h>

#include <memory>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kWorkRate = 921600;
constexpr uint32_t kAtmega128 = 17;

// A relative name of `length` characters ending in ".hex".
std::string NameOf(size_t length) {
    return std::string(length - 4, 'n') + ".hex";
}

} // namespace

class LibraryLimitTest : public BoardTest {
  protected:
    std::string LogOf(const std::string& name) {
        EXPECT_TRUE(reliability::WaitUntilClosed(dir_->file(name), std::chrono::seconds(5)));
        return testfiles::ReadFile(dir_->file(name));
    }
};

TEST_F(LibraryLimitTest, ImageNamesBelow200CharactersRunAndLongerOnesAreRefused) {
    vtarget::BoardOptions options;
    options.targetType = kAtmega128;
    StartBoard(options);
    SetDebug(DEBUG_INDICATIONS);
    // 199 characters, relative to the working directory: a whole session,
    // the name intact in the log header.
    const auto bytes = testfiles::RandomBytes(0x300, 1);
    const std::string name = NameOf(199);
    WriteHexImage(*dir_, name.substr(0, name.size() - 4), {{0, bytes}});
    ASSERT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, kAtmega128, name.c_str(), 1),
              FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(1, std::chrono::seconds(60)));
    EXPECT_THAT(CodesOf(1), Contains(CRC_OK_IND));
    EXPECT_EQ(Board().ReadMemory(0, 0x300), bytes);
    const std::string log = LogOf("Session_1.log");
    EXPECT_THAT(log, HasSubstr("|  Filename       : " + name + "\n"));
    EXPECT_TRUE(reliability::IsStopLine(reliability::LastLine(log), 1));

    // 200 and 255 characters name files that exist; a name longer than
    // PATH_MAX, and 200 characters without a terminator (read no further).
    for (size_t length : {200, 255}) {
        testfiles::WriteFile(dir_->file(NameOf(length)), testfiles::ReadFile(dir_->file(name)));
    }
    for (size_t length : {200, 255, 5000}) {
        EXPECT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, kAtmega128, NameOf(length).c_str(), 2),
                  FLASHLOADER_FILE_ERROR)
            << length;
    }
    const auto unterminated = std::make_unique<char[]>(200);
    std::fill_n(unterminated.get(), 200, 'n');
    EXPECT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, kAtmega128, unterminated.get(), 2),
              FLASHLOADER_FILE_ERROR);
    EXPECT_TRUE(IndicationsOf(2).empty());

    // The reader itself has no such limit: 255 characters read, a name
    // beyond PATH_MAX does not open.
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    uint32_t base = 0;
    ASSERT_EQ(TM_ReadHexFile(NameOf(255).c_str(), 0, &buffer, &size, &base), HEX_IMAGE_READY);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + size), bytes);
    free(buffer);
    EXPECT_EQ(TM_ReadHexFile(NameOf(5000).c_str(), 0, &buffer, &size, &base),
              HEX_IMAGE_SCAN_PASS_FAILED);
}

TEST_F(LibraryLimitTest, LogFilesAreNamedByTheLow16BitsOfLargeIds) {
    SetDebug(DEBUG_INDICATIONS);
    // No board: the session ends after the port fails to open.
    ComPortMapping nowhere(kPort, dir_->file("no-board"));
    const std::string hex = SampleHexFile();
    ASSERT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, 0, hex.c_str(), 0x12345), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(0x2345));
    const std::string session = LogOf("Session_9029.log");
    EXPECT_THAT(session, HasSubstr("|  SessionID      : 9029\n"));
    EXPECT_TRUE(reliability::IsStopLine(reliability::LastLine(session), 0x2345));

    TM_InitTestMode(0xFFFFFFFF);
    TM_StopTestMode();
    const std::string testMode = LogOf("TestMode_65535.log");
    EXPECT_THAT(testMode, HasSubstr("|  SessionID      : 65535\n"));
    EXPECT_TRUE(reliability::IsStopLine(reliability::LastLine(testMode), 0xFFFF));
    EXPECT_THAT(CodesOf(0xFFFF), ElementsAre(START_PROGRAM_IND, STOP_PROGRAM_IND));
    EXPECT_FALSE(testfiles::FileExists(dir_->file("Session_74565.log")));
    EXPECT_FALSE(testfiles::FileExists(dir_->file("TestMode_4294967295.log")));
}

TEST_F(LibraryLimitTest, ComNumbersOutsideOneTo254AreRefusedWithABoardBehindThem) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    const std::string link = dir_->file("board");
    ComPortMapping com0(0, link);
    ComPortMapping com1(1, link);
    ComPortMapping com254(254, link);
    ComPortMapping com255(255, link);
    TM_InitTestMode(3);
    // 256 and 511 are COM0 and COM255 in the low 8 bits.
    for (uint32_t port : {0u, 255u, 256u, 511u}) {
        EXPECT_EQ(TM_OpenAccessPort(port, kFastRate, kDuplex), ACCESS_PORT_FAILED) << port;
    }
    const auto codes = CodesOf(3);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), COM_PORT_ACCESS_FAIL_IND), 4);
    // 254 is the last port, and 510 is 254 again.
    uint16_t word = 0;
    for (uint32_t port : {254u, 510u}) {
        ASSERT_NE(TM_OpenAccessPort(port, kFastRate, kDuplex), ACCESS_PORT_FAILED) << port;
        EXPECT_EQ(TM_Rd16(0, &word), MAIL_NO_ERROR) << port;
        TM_CloseAccessPort();
    }
    TM_StopTestMode();
    EXPECT_EQ(Board().MailCount(), 2u);

    // A session on COM255 ends without a byte sent.
    const std::string hex = SampleHexFile();
    ASSERT_EQ(FlashLoader(255, kDuplex, kFastRate, 0, hex.c_str(), 4), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(4));
    EXPECT_THAT(CodesOf(4), Not(Contains(DOWNLOAD_SUCCESS_IND)));
    EXPECT_EQ(CodesOf(4).back(), STOP_PROGRAM_IND);
    EXPECT_EQ(Board().MailCount(), 2u);
}
