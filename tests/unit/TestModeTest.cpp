// The test-mode bracket on the host's thread, and the HEX export.
#include "FrameFixture.h"
#include "frame/ThreadContext.h"

#include <cstdlib>
#include <string>
#include <thread>

using testfiles::ReadTextFile;

namespace {

class TestModeTest : public FrameTest {};

TEST_F(TestModeTest, BracketRunsOnTheCallingThreadWithItsLog) {
    SetDebug(DEBUG_INDICATIONS);
    EXPECT_EQ(TM_InitTestMode(3), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(TM_StopTestMode(), 0u);

    auto got = Indications();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].code, START_PROGRAM_IND);
    EXPECT_EQ(got[0].sessionid, 3);
    EXPECT_EQ(got[0].long0, 0x00020041u);
    EXPECT_EQ(got[1].code, STOP_PROGRAM_IND);
    EXPECT_GE(got[1].long0, 200u);
    EXPECT_LT(got[1].long0, 2000u);

    std::string log = ReadTextFile("TestMode_3.log");
    std::string header = LogTitle(69) + "|  Target         : INTERNAL_KOLT_FLASH_TARGET_TYPE\n"
                                        "|  SessionID      : 3\n"
                                        "|  Ulvex Version: V0002.0065\n"
                                        "|  Build date     : ";
    EXPECT_TRUE(log.starts_with(header)) << log;
    EXPECT_NE(log.find("MAIL->START_PROGRAM_IND"), std::string::npos);
    EXPECT_NE(log.find("MAIL->STOP_PROGRAM_IND         [Time "), std::string::npos);
}

TEST_F(TestModeTest, NoLogWithoutDebugMask) {
    TM_InitTestMode(4);
    TM_StopTestMode();
    EXPECT_FALSE(testfiles::FileExists("TestMode_4.log"));
    EXPECT_EQ(Indications().size(), 2u);
}

TEST_F(TestModeTest, RestartWithoutStopKeepsTheFirstLogComplete) {
    SetDebug(DEBUG_INDICATIONS);
    TM_InitTestMode(1);
    TM_InitTestMode(2); // the host forgot TM_StopTestMode
    TM_StopTestMode();
    EXPECT_NE(ReadTextFile("TestMode_1.log").find("MAIL->START_PROGRAM_IND"), std::string::npos);
    EXPECT_NE(ReadTextFile("TestMode_2.log").find("MAIL->STOP_PROGRAM_IND"), std::string::npos);
}

TEST_F(TestModeTest, ThreadsHaveSeparateContexts) {
    TM_InitTestMode(5);
    std::thread other([] {
        TM_InitTestMode(6);
        TM_StopTestMode();
    });
    other.join();
    EXPECT_EQ(Ctx().sessionId, 5);
    TM_StopTestMode();
    EXPECT_EQ(CodesOf(5), (std::vector<uint16_t>{START_PROGRAM_IND, STOP_PROGRAM_IND}));
    EXPECT_EQ(CodesOf(6), (std::vector<uint16_t>{START_PROGRAM_IND, STOP_PROGRAM_IND}));
}

TEST_F(TestModeTest, ReadHexFileNeedsNoTarget) {
    std::string hex = SampleHexFile();
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    uint32_t base = 0xFFFFFFFF;
    ASSERT_EQ(TM_ReadHexFile(hex.c_str(), 0, &buffer, &size, &base), HEX_IMAGE_READY);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(base, 0u);
    EXPECT_EQ(buffer[0], 0x01);
    EXPECT_EQ(buffer[3], 0x04);
    EXPECT_EQ(buffer[4], 0xFF);
    std::free(buffer);

    EXPECT_EQ(TM_ReadHexFile("missing.hex", 0, &buffer, &size, &base), HEX_IMAGE_SCAN_PASS_FAILED);
    EXPECT_EQ(TM_ReadHexFile(hex.c_str(), 0, nullptr, &size, &base), HEX_IMAGE_SCAN_PASS_FAILED);
}

} // namespace
