// SetDebug called while sessions and test mode run. A session or test mode
// takes the mask when it starts and keeps it to its end: a change reaches
// only the ones that start later (and, for the indication lines, the next
// indication). Logs stay whole, nobody's log is closed early and nothing is
// printed to the console in its place. Runs under ThreadSanitizer too.
#include "BoardFixture.h"
#include "SessionEnd.h"
#include "Stations.h"

#include <gmock/gmock.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kNarrowedLog = DEBUG_NARROW_MONITOR | DEBUG_MAIL_TRACE | DEBUG_INDICATIONS;
constexpr uint32_t kAtmega = 10;
constexpr unsigned kFirstPort = 100;

// The mask the indication hook sets once the ATmega's port is found, in the
// middle of the monitor start.
std::atomic<uint32_t> maskDuringStart{0};

void ChangeMaskWhenPortFound(const IndicationRecord& record) {
    if (record.code == COM_PORT_FOUND_IND) {
        SetDebug(maskDuringStart);
    }
}

} // namespace

class DebugMaskChangeTest : public BoardTest {
  protected:
    void TearDown() override {
        SetIndicationHook(nullptr);
        stations_.clear();
        BoardTest::TearDown();
    }

    // Test mode on an ATmega board, the mask changed to `during` while
    // TM_StartMonitorProgram runs and set to `after` once it has; then a
    // read, and the bracket closed.
    void TestModeWithMaskChange(uint16_t id, uint32_t during, uint32_t after) {
        vtarget::BoardOptions options;
        options.targetType = kAtmega;
        StartBoard(options);
        ASSERT_EQ(TM_InitTestMode(id), 0u);
        maskDuringStart = during;
        SetIndicationHook(ChangeMaskWhenPortFound);
        ASSERT_EQ(TM_StartMonitorProgram(kPort, kDuplex, 115200, kAtmega), 0u);
        SetIndicationHook(nullptr);
        SetDebug(after);
        uint8_t byte = 0;
        EXPECT_EQ(TM_ReadMemory8(0, 1, &byte), MAIL_NO_ERROR);
        TM_CloseAccessPort();
        TM_StopTestMode();
    }

    std::vector<std::unique_ptr<reliability::Station>> stations_;
};

TEST_F(DebugMaskChangeTest, MaskClearedDuringAMonitorStartKeepsTheLogToItsEnd) {
    SetDebug(kNarrowedLog);
    TestModeWithMaskChange(9, 0, kNarrowedLog);

    const std::string log = dir_->file("TestMode_9.log");
    ASSERT_TRUE(reliability::WaitUntilClosed(log, 2s));
    const std::string text = testfiles::ReadFile(log);
    EXPECT_THAT(text, HasSubstr("READ_MEM8_REQ")) << "the mail after the start is traced";
    EXPECT_TRUE(reliability::IsStopLine(reliability::LastLine(text), 9))
        << "last line: " << reliability::LastLine(text);
}

TEST_F(DebugMaskChangeTest, MaskSetDuringAMonitorStartPrintsNothingWithoutALog) {
    SetDebug(0);
    ::testing::internal::CaptureStdout();
    TestModeWithMaskChange(10, kNarrowedLog, kNarrowedLog);
    const std::string console = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(console, "") << "trace lines without a log go nowhere";
    EXPECT_FALSE(testfiles::FileExists(dir_->file("TestMode_10.log")));
}

// Sessions of every quick family, the slower chip boot loader among them,
// while another thread changes the mask every millisecond.
TEST_F(DebugMaskChangeTest, FlippedWhileSessionsRunEveryLogStaysWhole) {
    stations_ = reliability::MakeStations(8, 1, kFirstPort, *dir_);
    for (auto& station : stations_) {
        std::string error;
        ASSERT_TRUE(station->StartBoard(error)) << error;
    }
    std::atomic<bool> over{false};
    std::thread flipper([&over] {
        static constexpr uint32_t kMasks[] = {0x00, 0x1F, 0x08, 0x0C, 0x10, 0x17, 0x04};
        for (size_t i = 0; !over; ++i) {
            SetDebug(kMasks[i % std::size(kMasks)]);
            std::this_thread::sleep_for(1ms);
        }
    });
    ::testing::internal::CaptureStdout();
    for (const auto& station : stations_) {
        EXPECT_EQ(station->StartSession(), FLASHLOADER_STARTED);
    }
    for (const auto& station : stations_) {
        EXPECT_TRUE(WaitForStop(station->Id(), 120s)) << "session " << station->Id();
    }
    over = true;
    flipper.join();
    const std::string console = ::testing::internal::GetCapturedStdout();

    EXPECT_THAT(console, Not(HasSubstr("Thread ID Error")));
    for (auto& station : stations_) {
        const uint16_t id = station->Id();
        SCOPED_TRACE("session " + std::to_string(id));
        EXPECT_THAT(CodesOf(id), Contains(CRC_OK_IND));
        EXPECT_TRUE(station->MemoryHoldsImage());
        if (!testfiles::FileExists(station->LogPath())) {
            continue; // the mask was 0 when it started
        }
        ASSERT_TRUE(reliability::WaitUntilClosed(station->LogPath(), 2s));
        const std::string log = testfiles::ReadFile(station->LogPath());
        EXPECT_THAT(log, HasSubstr("|  SessionID      : " + std::to_string(id) + "\n"));
        EXPECT_TRUE(reliability::IndicationLinesAreOwn(log, id));
        if (log.find("MAIL->STOP_PROGRAM_IND") != std::string::npos) {
            EXPECT_TRUE(reliability::IsStopLine(reliability::LastLine(log), id));
        }
    }
}
