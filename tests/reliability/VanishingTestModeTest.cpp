// Test mode on a board that disappears: every call that needs the board
// fails at once with 8 (the transport's code for a failed read or write),
// whether the board went between two calls or while a call waited for its
// answer; closing the port and stopping test mode still work, the port is
// released and the log ends with the stop indication.
#include "VanishingBoard.h"

#include "ChildProgram.h"
#include "SessionEnd.h"
#include "link/MailPrimitives.h"

#include <gmock/gmock.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <ostream>
#include <thread>

using namespace std::chrono_literals;
using reliability::Clock;
using ::testing::Contains;
using ::testing::Not;

// A test-mode call; a parameter of the test below, so not in the anonymous
// namespace.
namespace vanishing {

struct Call {
    const char* name;
    std::function<uint32_t()> run;
};

void PrintTo(const Call& call, std::ostream* os) {
    *os << call.name;
}

} // namespace vanishing

using reliability::kDuplex;
using vanishing::Call;

namespace {

constexpr uint16_t kTestModeId = 7;
constexpr uint32_t kAddress = 0x1000;

// Calls of each kind: confirmed and unconfirmed writes, reads, the long
// requests (CRC, chip erase) and the monitor's rate.
std::vector<Call> CallsNeedingTheBoard() {
    static uint8_t bytes[64] = {};
    static uint16_t words[32] = {};
    static uint32_t value = 0;
    return {
        {"TM_ReadMemory8", [] { return TM_ReadMemory8(kAddress, 64, bytes); }},
        {"TM_WriteMemory16", [] { return TM_WriteMemory16(kAddress, 32, words); }},
        {"TM_WriteMemory8_NoConfirm", [] { return TM_WriteMemory8_NoConfirm(kAddress, 8, bytes); }},
        {"TM_Rd16", [] { return TM_Rd16(kAddress, words); }},
        {"TM_CalcCRC32", [] { return TM_CalcCRC32(kAddress, kAddress + 63, &value); }},
        {"TM_ExtFlashChipErase", [] { return TM_ExtFlashChipErase(); }},
        {"TM_SetBaudrate", [] { return TM_SetBaudrate(115200); }},
    };
}

} // namespace

class VanishingTestModeTest : public reliability::VanishingBoardTest {
  protected:
    // A running monitor with plain memory behind it, the port open to it.
    void OpenToRunningMonitor() {
        vtarget::BoardOptions options;
        options.monitorRunning = true;
        options.plainMemory = true;
        StartBoard(options);
        slave_ = Board().SlavePath();
        ASSERT_EQ(TM_InitTestMode(kTestModeId), 0u);
        ASSERT_EQ(TM_OpenAccessPort(kPort, kFastRate, kDuplex), 1u);
        const auto bytes = testfiles::RandomBytes(64, 7);
        ASSERT_EQ(TM_WriteMemory8(kAddress, 64, bytes.data()), 0u) << "the link works";
    }

    // Closing and stopping still work and leave nothing open.
    void ExpectBracketCloses() {
        EXPECT_EQ(TM_CloseAccessPort(), 1u);
        EXPECT_EQ(reliability::DescriptorsOn(slave_), 0u) << "port left open";
        EXPECT_EQ(TM_StopTestMode(), 0u);
        EXPECT_EQ(CodesOf(kTestModeId).back(), STOP_PROGRAM_IND);
        ExpectLogEndsWithStop("TestMode_", kTestModeId);
    }

    std::string slave_;
};

TEST_F(VanishingTestModeTest, BoardGoneBetweenCallsEveryCallFailsAtOnce) {
    OpenToRunningMonitor();
    Vanish();
    for (const Call& call : CallsNeedingTheBoard()) {
        const auto start = Clock::now();
        EXPECT_EQ(call.run(), MAIL_WRONG_RESPONSE_PRIMITIVE) << call.name;
        EXPECT_LT(Clock::now() - start, reliability::kNoticeBound) << call.name;
    }
    EXPECT_EQ(TM_SetDTR(), 1u) << "line calls report nothing";
    ExpectBracketCloses();
    EXPECT_THAT(CodesOf(kTestModeId), Not(Contains(MAIL_ERROR_IND)))
        << "test mode reports failed mails by their results only";
    EXPECT_EQ(TM_OpenAccessPort(kPort, kFastRate, kDuplex), 0u) << "nothing to open any more";
}

// The board vanishes while the call waits for its answer: the long
// deadlines of a CRC (20.9 s) and a chip erase (15.9 s) are not waited out.
class VanishingWhileWaitingTest : public VanishingTestModeTest,
                                  public ::testing::WithParamInterface<Call> {};

TEST_P(VanishingWhileWaitingTest, CallReturnsEightWhenTheBoardGoes) {
    OpenToRunningMonitor();
    const uint8_t primitive = std::string(GetParam().name) == "TM_CalcCRC32" ? CALC_CRC32_REQ
                              : std::string(GetParam().name) == "TM_ExtFlashChipErase"
                                  ? EXT_CHIP_EREASE_REQ
                                  : READ_MEM8_REQ;
    reliability::AnswerWithheld withheld(Board(), primitive, 1);
    std::atomic<Clock::rep> vanishedAt{0};
    std::thread vanisher([&] {
        if (withheld.Wait(10s)) {
            vanishedAt = Vanish().time_since_epoch().count();
        }
    });
    const uint32_t result = GetParam().run();
    const auto returned = Clock::now();
    vanisher.join();

    ASSERT_NE(vanishedAt.load(), 0) << "the request never reached the board";
    EXPECT_EQ(result, MAIL_WRONG_RESPONSE_PRIMITIVE);
    EXPECT_LT(returned - Clock::time_point(Clock::duration(vanishedAt.load())),
              reliability::kNoticeBound);
    ExpectBracketCloses();
}

INSTANTIATE_TEST_SUITE_P(Calls, VanishingWhileWaitingTest,
                         ::testing::Values(CallsNeedingTheBoard()[0], CallsNeedingTheBoard()[4],
                                           CallsNeedingTheBoard()[5]),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VanishingTestModeTest, MonitorStartFailsWhenTheBoardGoesDuringTheDownload) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    StartBoard(options);
    slave_ = Board().SlavePath();
    ASSERT_EQ(TM_InitTestMode(kTestModeId), 0u);
    std::thread vanisher([&] {
        if (DownloadUnderWay(20s)) {
            Vanish();
        }
    });
    const uint32_t result = TM_StartMonitorProgram(kPort, kDuplex, 115200, 0);
    vanisher.join();

    EXPECT_NE(result, 0u);
    EXPECT_EQ(CodesOf(kTestModeId).back(), DOWNLOAD_FAILED_IND);
    ExpectBracketCloses();
}

TEST_F(VanishingTestModeTest, KilledProgramFailsTheNextCall) {
    const std::string link = dir_->file("ttyKilled");
    testfiles::ChildProgram program(VTARGET_PROGRAM, {"--link", link, "--monitor-running", "--baud",
                                                      std::to_string(kFastRate)});
    ASSERT_EQ(program.ReadLine(5s), "vtarget ready on " + link + "\n");
    slave_ = std::filesystem::read_symlink(link).string();
    ComPortMapping mapping(kPort, link);
    ASSERT_EQ(TM_InitTestMode(kTestModeId), 0u);
    ASSERT_EQ(TM_OpenAccessPort(kPort, kFastRate, kDuplex), 1u);
    uint16_t words[16] = {};
    ASSERT_EQ(TM_ReadMemory16(kAddress, 16, words), 0u);

    program.Stop(SIGKILL);
    const auto start = Clock::now();
    EXPECT_EQ(TM_ReadMemory16(kAddress, 16, words), MAIL_WRONG_RESPONSE_PRIMITIVE);
    EXPECT_LT(Clock::now() - start, reliability::kNoticeBound);
    ExpectBracketCloses();
}
