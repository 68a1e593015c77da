// The error trace, the per-thread trace output and its log file.
#include "frame/Trace.h"
#include "FrameFixture.h"
#include "frame/ThreadContext.h"

#include <string>
#include <thread>

using testfiles::ReadTextFile;

namespace {

constexpr const char* kModuleName = "TraceTest";

class TraceTest : public FrameTest {
  protected:
    // Opens a log on this thread with the given mask, as a session start does.
    void StartLog(uint32_t mask, const char* name = "trace.log") {
        OpenTraceLog(name);
        SetTraceMask(mask);
    }
    std::string StopLog(const char* name = "trace.log") {
        SetTraceMask(0);
        return ReadTextFile(name);
    }
};

TEST_F(TraceTest, ErrorTraceLineNamesCallFunctionLineModuleAndLevel) {
    ErrorTrace("CloseSerialPort", 475, "Sio", DBG_LEVEL_WARNING, "Error: %s", "PurgeComm()");
    ErrorTrace("OpenSerialPort", 12, "Sio", 7, "Error: LastError=%u", 5u);
    auto traces = ErrorTraces();
    ASSERT_EQ(traces.size(), 2u);
    EXPECT_EQ(traces[0], "Error: PurgeComm(); CloseSerialPort; Line 475 in Sio; DBG_LEVEL_WARNING");
    EXPECT_EQ(traces[1], "Error: LastError=5; OpenSerialPort; Line 12 in Sio; DBG_LEVEL_UNKNOWN");
}

TEST_F(TraceTest, ErrorTraceIsAlwaysProducedAndBounded) {
    // No log, printing off: the error trace does not depend on them.
    std::string huge(2000, 'e');
    ErrorTrace("F", 1, "M", DBG_LEVEL_WARNING, "%s", huge.c_str());
    auto traces = ErrorTraces();
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(traces[0].size(), kTraceLineMax);
}

TEST_F(TraceTest, NamesOfLevelsAndTargetTypes) {
    const char* levels[] = {"DBG_LEVEL_OFF",     "DBG_LEVEL_INFO",   "DBG_LEVEL_WARNING",
                            "DBG_LEVEL_SERIOUS", "DBG_LEVEL_SEVERE", "DBG_LEVEL_UNKNOWN"};
    for (uint32_t level = 0; level < 6; ++level) {
        EXPECT_STREQ(DbgLevelName(level), levels[level]);
    }
    EXPECT_STREQ(DbgLevelName(0xFFFFFFFF), "DBG_LEVEL_UNKNOWN");
    EXPECT_STREQ(TargetTypeName(0), "INTERNAL_KOLT_FLASH_TARGET_TYPE");
    EXPECT_STREQ(TargetTypeName(2), "EXTERNAL_KOLT_2xFLASH_TARGET_TYPE");
    EXPECT_STREQ(TargetTypeName(22), "S3C44B0X_01_TARGET_TYPE_EXT_UART");
    EXPECT_STREQ(TargetTypeName(23), "EXTERNAL_KOLT_FLASH_TOUCHED_SECTORS_12_288MHZ_TARGET_TYPE");
}

TEST_F(TraceTest, ReceiveAndSendDumpsShareTheLine) {
    StartLog(0x03);
    const uint8_t rx1[] = {0x41};
    const uint8_t rx2[] = {0x42};
    const uint8_t tx[] = {0x06};
    TraceRxDump(rx1, 1);
    TraceRxDump(rx2, 1); // continues the open line
    TraceTxDump(tx, 1);  // closes it first
    TraceRxDump(rx1, 0); // nothing arrived: no line
    EXPECT_EQ(StopLog(), "\n<RX: 41 42 >\n<TX: 06 >");
}

TEST_F(TraceTest, DumpsFollowTheirMaskBits) {
    StartLog(0x02);
    const uint8_t bytes[] = {0xDE, 0xAD};
    TraceRxDump(bytes, 2);
    TraceTxDump(bytes, 2);
    EXPECT_EQ(StopLog(), "\n<TX: DE AD >");
}

TEST_F(TraceTest, PrintingFollowsTheMaskAndLinesAreCut) {
    StartLog(0x04);
    TracePrint("one %d\n", 1);
    std::string longText(700, 'z');
    TracePrint("%s", longText.c_str());
    LOG_ERROR_LINE("PurgeComm()");
    SetTraceMask(0);
    TracePrint("dropped\n");
    std::string log = ReadTextFile("trace.log");

    std::string expectedStart =
        "one 1\n" + std::string(kTraceLineMax, 'z') + "## ERROR ## PurgeComm() in Line(";
    ASSERT_TRUE(log.starts_with(expectedStart)) << log;
    std::string expectedEnd =
        ") Module(TraceTest) Date(" + std::string(__DATE__) + ") Time(" + __TIME__ + ") \n";
    EXPECT_TRUE(log.ends_with(expectedEnd)) << log;
}

TEST_F(TraceTest, LogIsCreatedOnceAndTruncated) {
    testfiles::WriteFile("trace.log", "old content that must go");
    StartLog(0x01);
    TracePrint("first\n");
    OpenTraceLog("other.log"); // already requested in this session: no second file
    TracePrint("second\n");
    EXPECT_EQ(StopLog(), "first\nsecond\n");
    EXPECT_FALSE(testfiles::FileExists("other.log"));
}

TEST_F(TraceTest, PrintingWithoutOwnLogReportsThreadIdError) {
    // A fresh thread with printing on has never created a log of its own.
    testing::internal::CaptureStdout();
    std::thread fresh([] {
        SetTraceMask(0x04);
        TracePrint("line\n");
        SetTraceMask(0);
    });
    fresh.join();
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n### Thread ID Error 002 ###\n");
}

TEST_F(TraceTest, EachThreadWritesOnlyItsOwnLog) {
    StartLog(0x04, "main.log");
    TracePrint("main thread\n");
    std::thread other([] {
        OpenTraceLog("other.log");
        SetTraceMask(0x04);
        TracePrint("other thread\n");
        SetTraceMask(0);
    });
    other.join();
    EXPECT_EQ(StopLog("main.log"), "main thread\n");
    EXPECT_EQ(ReadTextFile("other.log"), "other thread\n");
}

} // namespace
