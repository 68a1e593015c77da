// Link behaviour that takes real seconds: the long deadline of a CRC
// request, a full frame at a boot-loader rate on a timed line, and the
// duration a test-mode session reports.
#include "BoardFixture.h"
#include "frame/ThreadContext.h"
#include "link/Primitives.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace {

long long MsSince(Clock::time_point start, Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - start).count();
}

} // namespace

class SlowLinkTest : public BoardTest {};

TEST_F(SlowLinkTest, CrcRequestWaitsLongFirstAndBrieflyOnRetries) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.faults.silentAfter = 0;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    uint32_t crc = 0;
    const auto start = Clock::now();
    EXPECT_EQ(MonCrc32(0, 0xFFFF, &crc), MAIL_TIMEOUT);
    const auto mails = Board().Mails();
    ASSERT_EQ(mails.size(), 3u);
    EXPECT_NEAR(MsSince(start, mails[1].at), 20900, 150);
    EXPECT_NEAR(MsSince(start, mails[2].at), 21800, 150);
    EXPECT_NEAR(MsSince(start, Clock::now()), 22700, 150);
}

// 4352 bytes take 4.5 s to leave at 9600 baud: the response deadline must
// start only once they have left, or the mail would be sent three times.
TEST_F(SlowLinkTest, FullFrameAtBootRateIsAnsweredWithinItsDeadline) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.baudRate = 9600;
    options.wireTiming = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    const std::vector<uint16_t> words(2169, 0x5AA5);
    const auto start = Clock::now();
    EXPECT_EQ(MonWriteMem16(0x8000, 2169, words.data()), MAIL_NO_ERROR);
    ASSERT_EQ(Board().MailCount(), 1u);
    EXPECT_GE(MsSince(start, Board().Mails()[0].at), 4500);
    EXPECT_EQ(Board().ReadMemory(0x8000 + 2 * 2168, 2), (std::vector<uint8_t>{0xA5, 0x5A}));
}

// The stop reports the time since the start, and leaves the port open.
TEST_F(SlowLinkTest, TestModeStopReportsItsDurationAndKeepsThePort) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    StartBoard(options);
    ASSERT_EQ(TM_InitTestMode(12), 0u);
    ASSERT_EQ(TM_OpenAccessPort(kPort, kFastRate, 2), ACCESS_PORT_OPEN);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_EQ(TM_StopTestMode(), 0u);
    const auto got = IndicationsOf(12);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].code, STOP_PROGRAM_IND);
    EXPECT_NEAR(got[1].long0, 2000, 100);
    EXPECT_EQ(Ctx().lines.port, PORT_OPEN);
    uint8_t byte = 0;
    EXPECT_EQ(TM_Rd8(0, &byte), MAIL_NO_ERROR);
}
