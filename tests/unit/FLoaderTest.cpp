// The session exports: argument checks, hand-over, the worker's bracket of
// indications and its log file.
#include "api/FLoader.h"
#include "FrameFixture.h"
#include "frame/Faults.h"

#include <algorithm>
#include <string>
#include <thread>

using testfiles::FileExists;
using testfiles::ReadTextFile;

namespace {

class FlashLoaderTest : public FrameTest {};

constexpr uint32_t kDuplex = 2;

TEST_F(FlashLoaderTest, ChecksArgumentsInOrderAndRefusalsSendNothing) {
    std::string hex = SampleHexFile();
    std::string missing = dir_->file("missing.hex");
    struct Case {
        uint32_t busmode;
        uint32_t type;
        const std::string* file;
        uint32_t expected;
    } cases[] = {
        {0, 0, &hex, FLASHLOADER_BUSMODE_REFUSED},
        {3, 0, &hex, FLASHLOADER_BUSMODE_REFUSED},
        {0x0020, 0, &hex, FLASHLOADER_BUSMODE_REFUSED},
        {0, 4, &missing, FLASHLOADER_BUSMODE_REFUSED},      // bus mode before type and file
        {kDuplex, 4, &missing, FLASHLOADER_TARGET_REFUSED}, // type before file
        {kDuplex, 8, &hex, FLASHLOADER_TARGET_REFUSED},
        {kDuplex, 9, &hex, FLASHLOADER_TARGET_REFUSED},
        {kDuplex, 24, &hex, FLASHLOADER_TARGET_REFUSED},
        {kDuplex, 0, &missing, FLASHLOADER_FILE_ERROR},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FlashLoader(1, c.busmode, 115200, c.type, c.file->c_str(), 7), c.expected)
            << "busmode " << c.busmode << " type " << c.type;
    }
    EXPECT_EQ(FlashLoader(1, kDuplex, 115200, 0, nullptr, 7), FLASHLOADER_FILE_ERROR);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(Indications().empty());
}

TEST_F(FlashLoaderTest, AcceptsModeFlagsAndEveryProgrammableType) {
    // No board answers here: the ATmega sessions give up their port search
    // at once instead of after 15 s.
    SetBootLoaderTimeout(0);
    std::string hex = SampleHexFile();
    uint16_t id = 100;
    EXPECT_EQ(FlashLoader(1, 0x8001, 115200, 0, hex.c_str(), id++), FLASHLOADER_STARTED);
    EXPECT_EQ(FlashLoader(1, 0x4002, 115200, 0, hex.c_str(), id++), FLASHLOADER_STARTED);
    for (uint32_t type = 0; type <= 23; ++type) {
        if (type == 4 || type == 8 || type == 9) {
            continue;
        }
        EXPECT_EQ(FlashLoader(1, kDuplex, 115200, type, hex.c_str(), id++), FLASHLOADER_STARTED)
            << "type " << type;
    }
    for (uint16_t i = 100; i < id; ++i) {
        EXPECT_TRUE(WaitForStop(i)) << "session " << i;
    }
}

TEST_F(FlashLoaderTest, FileNameMustFitTheParameterBlock) {
    std::string name199(199 - dir_->path().size() - 1, 'a');
    std::string fits = dir_->file(name199);
    ASSERT_EQ(fits.size(), 199u);
    testfiles::WriteFile(fits, ":00000001FF\n");
    EXPECT_EQ(FlashLoader(1, kDuplex, 115200, 0, fits.c_str(), 1), FLASHLOADER_STARTED);
    EXPECT_TRUE(WaitForStop(1));

    std::string tooLong = fits + "b";
    testfiles::WriteFile(tooLong, ":00000001FF\n");
    EXPECT_EQ(FlashLoader(1, kDuplex, 115200, 0, tooLong.c_str(), 2), FLASHLOADER_FILE_ERROR);
}

TEST_F(FlashLoaderTest, BackToBackSessionsEachBracketedWithTheirOwnId) {
    std::string hex = SampleHexFile();
    ASSERT_EQ(FlashLoader(1, kDuplex, 115200, 1, hex.c_str(), 1), FLASHLOADER_STARTED);
    ASSERT_EQ(FlashLoader(2, kDuplex, 115200, 1, hex.c_str(), 2), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(1));
    ASSERT_TRUE(WaitForStop(2));
    for (uint16_t id : {1, 2}) {
        // Between them the programmer reports that the port did not open.
        auto own = IndicationsOf(id);
        ASSERT_GE(own.size(), 2u);
        EXPECT_EQ(own.front().code, START_PROGRAM_IND);
        EXPECT_EQ(own.front().long0, 0x00020041u);
        EXPECT_EQ(own.back().code, STOP_PROGRAM_IND);
    }
    EXPECT_EQ(SessionBusy.load(), 0u);
}

TEST_F(FlashLoaderTest, StopReportsTheElapsedSessionTime) {
    // The callback blocks the session: holding START for 1.5 s makes a 1.5 s session.
    SetIndicationHook([](const IndicationRecord& r) {
        if (r.code == START_PROGRAM_IND) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        }
    });
    std::string hex = SampleHexFile();
    ASSERT_EQ(FlashLoader(1, kDuplex, 115200, 0, hex.c_str(), 5), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(5));
    auto own = IndicationsOf(5);
    EXPECT_GE(own.back().long0, 1500u);
    EXPECT_LT(own.back().long0, 4000u);
}

TEST_F(FlashLoaderTest, WorkerThatCannotStartReleasesTheHandOver) {
    std::string hex = SampleHexFile();
    ArmFault(Fault::ThreadStart, 1);
    EXPECT_EQ(FlashLoader(1, kDuplex, 115200, 0, hex.c_str(), 1), FLASHLOADER_THREAD_ERROR);
    EXPECT_EQ(SessionBusy.load(), 0u);
    auto traces = ErrorTraces();
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_TRUE(traces[0].starts_with("Error: _beginthread(); FlashLoader; Line "));
    EXPECT_TRUE(traces[0].ends_with(" in FLoader; DBG_LEVEL_WARNING"));

    EXPECT_EQ(FlashLoader(1, kDuplex, 115200, 0, hex.c_str(), 2), FLASHLOADER_STARTED);
    EXPECT_TRUE(WaitForStop(2));
    EXPECT_TRUE(IndicationsOf(1).empty());
}

TEST_F(FlashLoaderTest, SessionLogHasHeaderAndOneLinePerIndication) {
    SetDebug(DEBUG_INDICATIONS);
    std::string hex = SampleHexFile();
    ASSERT_EQ(FlashLoader(4, 0x8002, 57600, 13, hex.c_str(), 3), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(3));
    ASSERT_TRUE(WaitForFileContent("Session_3.log", std::chrono::seconds(5)));
    std::string log = ReadTextFile("Session_3.log");

    std::string rule = LogRule();
    std::string header = LogTitle(70) +
                         "|  Comport        : 4\n"
                         "|  BusMode        : 8002\n"
                         "|  Baudrate       : 57600\n"
                         "|  Target         : EXTERNAL_KOLT_FLASH_TOUCHED_SECTORS_TARGET_TYPE\n"
                         "|  Filename       : " +
                         hex + "\n" + "|  SessionID      : 3\n" +
                         "|  Ulvex Version: V0002.0065\n"
                         "|  Build date     : ";
    ASSERT_TRUE(log.starts_with(header)) << log;
    std::string rest = log.substr(header.size());
    // "Mmm dd yyyy hh:mm:ss" then the closing rule.
    ASSERT_GT(rest.size(), 21u + rule.size());
    EXPECT_EQ(rest.substr(20, 1 + rule.size()), "\n" + rule);
    rest = rest.substr(21 + rule.size());

    // The two indications, with time stamps relative to the session start.
    EXPECT_TRUE(rest.starts_with("\n[03]["));
    EXPECT_NE(rest.find("]MAIL->START_PROGRAM_IND        [DLL version = V002.065] \n"),
              std::string::npos);
    EXPECT_NE(rest.find("]MAIL->STOP_PROGRAM_IND         [Time "), std::string::npos);
    EXPECT_EQ(rest.find("MAIL->", rest.find("STOP_PROGRAM_IND")), std::string::npos);
}

TEST_F(FlashLoaderTest, NoLogWithoutDebugMaskAndNoIndicationLinesWithoutCallback) {
    std::string hex = SampleHexFile();
    ASSERT_EQ(FlashLoader(1, kDuplex, 115200, 0, hex.c_str(), 8), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(8));
    EXPECT_FALSE(FileExists("Session_8.log"));

    // Without a callback the session runs silently; the log shows only its header.
    SetupCallbackFunction(nullptr);
    SetDebug(DEBUG_INDICATIONS);
    ASSERT_EQ(FlashLoader(1, kDuplex, 115200, 0, hex.c_str(), 9), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForFileContent("Session_9.log", std::chrono::seconds(5)));
    std::string log = ReadTextFile("Session_9.log");
    EXPECT_NE(log.find("|  SessionID      : 9\n"), std::string::npos);
    EXPECT_EQ(log.find("MAIL->"), std::string::npos);
    EXPECT_TRUE(IndicationsOf(9).empty());
}

TEST_F(FlashLoaderTest, SecondSessionWithTheSameIdReplacesTheLog) {
    SetDebug(DEBUG_INDICATIONS);
    std::string first = SampleHexFile("first.hex");
    std::string second = SampleHexFile("second.hex");
    ASSERT_EQ(FlashLoader(1, kDuplex, 115200, 0, first.c_str(), 12), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(12));
    ASSERT_TRUE(WaitForFileContent("Session_12.log", std::chrono::seconds(5)));
    ASSERT_EQ(FlashLoader(1, kDuplex, 115200, 0, second.c_str(), 12), FLASHLOADER_STARTED);
    // Wait for the second STOP: two of them for id 12.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto stops = [] {
        const auto codes = CodesOf(12);
        return std::count(codes.begin(), codes.end(), STOP_PROGRAM_IND);
    };
    while (stops() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(stops(), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // log closes after STOP
    std::string log = ReadTextFile("Session_12.log");
    EXPECT_EQ(log.find("first.hex"), std::string::npos);
    EXPECT_NE(log.find("second.hex"), std::string::npos);
}

TEST_F(FlashLoaderTest, LogThatCannotBeCreatedIsReportedOnTheConsolePerLine) {
    SetDebug(DEBUG_INDICATIONS);
    ArmFault(Fault::LogCreate, 1);
    std::string hex = SampleHexFile();
    testing::internal::CaptureStdout();
    ASSERT_EQ(FlashLoader(1, kDuplex, 115200, 0, hex.c_str(), 6), FLASHLOADER_STARTED);
    ASSERT_TRUE(WaitForStop(6));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::fflush(stdout);
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(FileExists("Session_6.log"));
    EXPECT_NE(console.find("\n### Thread ID Error 002 ###\n"), std::string::npos);
    const auto codes = CodesOf(6);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes.front(), START_PROGRAM_IND);
    EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
}

TEST(SessionExports, VersionDebugMaskCallbackAndTimeout) {
    EXPECT_EQ(FLoaderDLLVersion(), 131137u);
    EXPECT_EQ(SetDebug(0x1F), 0x1Fu);
    EXPECT_EQ(SetDebug(0), 0u);

    EXPECT_EQ(SetBootLoaderTimeout(0), 0u);
    EXPECT_EQ(SetBootLoaderTimeout(65), 65000u);
    EXPECT_EQ(SetBootLoaderTimeout(66), 464u);
    EXPECT_EQ(SetBootLoaderTimeout(70), 4464u);
    EXPECT_EQ(BootLoaderTimeoutMs.load(), 4464u);
    EXPECT_EQ(SetBootLoaderTimeout(15), 15000u);
}

class CallbackTest : public FrameTest {};

void ULVEX_CALL SomeCallback(IndicationRecord*) {}

TEST_F(CallbackTest, NullCallbackIsStoredAndTraced) {
    EXPECT_EQ(SetupCallbackFunction(SomeCallback), CALLBACK_REGISTERED);
    EXPECT_EQ(ReadCallbackFunction(), &SomeCallback);
    EXPECT_TRUE(ErrorTraces().empty());

    EXPECT_EQ(SetupCallbackFunction(nullptr), CALLBACK_NULL);
    EXPECT_EQ(ReadCallbackFunction(), nullptr);
    auto traces = ErrorTraces();
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_TRUE(
        traces[0].starts_with("Error: SetupCallbackFunction(); SetupCallbackFunction; Line "));
}

} // namespace
