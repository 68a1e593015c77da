// Sixteen programming sessions on sixteen boards at once, started from
// several host threads, and test mode on yet another thread meanwhile.
// Each session has its own worker, port and log: each ends with its image
// in its board, its log complete and its own, and nothing left open. The
// test runs under ThreadSanitizer too.
#include "FrameFixture.h"
#include "SessionEnd.h"
#include "Stations.h"
#include "image/Crc32.h"

#include <gmock/gmock.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr size_t kSessions = 16;
constexpr unsigned kHostThreads = 4;
constexpr unsigned kFirstPort = 40;
constexpr uint16_t kFirstId = 1;
constexpr unsigned kTestModePort = 70;
constexpr uint16_t kTestModeId = 100;
constexpr uint32_t kTestModeRate = 1000000;
constexpr uint32_t kLogMask = DEBUG_MAIL_TRACE | DEBUG_INDICATIONS;
// The slowest session takes seconds at 9600 baud; sixteen of them share two
// cores, slowed down further under the sanitizers.
constexpr auto kSessionBound = 120s;

// Test mode against a running monitor of its own, until the sessions are
// over: writes, reads back and CRCs, noting every result that is wrong.
class TestModeLoad {
  public:
    void Run(unsigned comport) {
        TM_InitTestMode(kTestModeId);
        if (TM_OpenAccessPort(comport, kTestModeRate, 2) != 1) {
            problems_.push_back("port did not open");
        }
        for (uint32_t round = 0; !stop_ || round < kMinRounds; ++round) {
            Round(round);
        }
        TM_CloseAccessPort();
        TM_StopTestMode();
    }

    void Stop() { stop_ = true; }
    const std::vector<std::string>& Problems() const { return problems_; } // after Run

  private:
    static constexpr uint32_t kMinRounds = 3;
    static constexpr uint32_t kBlock = 512;

    void Round(uint32_t round) {
        const uint32_t address = 0x20000 + (round % 64) * kBlock;
        const auto bytes = testfiles::RandomBytes(kBlock, round);
        std::vector<uint8_t> back(kBlock);
        uint32_t crc = 0;
        Check(TM_WriteMemory8(address, kBlock, bytes.data()), "write", round);
        Check(TM_ReadMemory8(address, kBlock, back.data()), "read", round);
        Check(TM_CalcCRC32(address, address + kBlock - 1, &crc), "crc", round);
        if (back != bytes || crc != CalcCrc32(bytes.data(), kBlock)) {
            problems_.push_back("round " + std::to_string(round) + ": data differ");
        }
    }

    void Check(uint32_t result, const char* what, uint32_t round) {
        if (result != MAIL_NO_ERROR) {
            problems_.push_back(std::string(what) + " in round " + std::to_string(round) +
                                " gave " + std::to_string(result));
        }
    }

    std::atomic<bool> stop_{false};
    std::vector<std::string> problems_;
};

} // namespace

class ConcurrencyTest : public FrameTest {
  protected:
    void TearDown() override {
        stations_.clear();
        FrameTest::TearDown();
    }

    void StartBoards() {
        stations_ = reliability::MakeStations(kSessions, kFirstId, kFirstPort, *dir_);
        for (auto& station : stations_) {
            std::string error;
            ASSERT_TRUE(station->StartBoard(error)) << error;
        }
    }

    // Host thread h starts the sessions h, h + kHostThreads, ...
    std::vector<uint32_t> StartSessionsFromHostThreads() {
        std::vector<uint32_t> results(stations_.size(), ~0u);
        std::vector<std::thread> hosts;
        for (unsigned h = 0; h < kHostThreads; ++h) {
            hosts.emplace_back([this, h, &results] {
                for (size_t i = h; i < stations_.size(); i += kHostThreads) {
                    results[i] = stations_[i]->StartSession();
                }
            });
        }
        for (auto& host : hosts) {
            host.join();
        }
        return results;
    }

    void ExpectProgrammedAndLogged(reliability::Station& station) {
        const uint16_t id = station.Id();
        SCOPED_TRACE("session " + std::to_string(id) + ", target type " +
                     std::to_string(station.TargetType()));
        const auto codes = CodesOf(id);
        EXPECT_THAT(codes, Contains(CRC_OK_IND));
        EXPECT_THAT(codes, Not(Contains(MAIL_ERROR_IND)));
        EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
        EXPECT_TRUE(station.MemoryHoldsImage());
        EXPECT_TRUE(reliability::WaitUntilClosed(station.SlavePath(), 2s, 1))
            << "port left open (the board keeps one descriptor of its own)";

        ASSERT_TRUE(reliability::WaitUntilClosed(station.LogPath(), 2s)) << "log left open";
        const std::string log = testfiles::ReadFile(station.LogPath());
        EXPECT_THAT(log, HasSubstr("|  SessionID      : " + std::to_string(id) + "\n"));
        EXPECT_TRUE(reliability::IndicationLinesAreOwn(log, id)) << "lines of another session";
        EXPECT_TRUE(reliability::IsStopLine(reliability::LastLine(log), id))
            << "last line: " << reliability::LastLine(log);
    }

    std::vector<std::unique_ptr<reliability::Station>> stations_;
};

TEST_F(ConcurrencyTest, SixteenSessionsAndTestModeAtOnceEachKeepsItsOwn) {
    SetDebug(kLogMask);
    StartBoards();
    vtarget::BoardOptions testModeOptions;
    testModeOptions.monitorRunning = true;
    testModeOptions.plainMemory = true;
    testModeOptions.baudRate = kTestModeRate;
    testModeOptions.linkPath = dir_->file("testModeBoard");
    vtarget::Board testModeBoard(testModeOptions);
    std::string error;
    ASSERT_TRUE(testModeBoard.Start(error)) << error;
    ComPortMapping testModeMapping(kTestModePort, testModeOptions.linkPath);

    TestModeLoad testMode;
    std::thread testModeHost([&testMode] { testMode.Run(kTestModePort); });
    const auto results = StartSessionsFromHostThreads();
    for (const auto& station : stations_) {
        EXPECT_TRUE(WaitForStop(station->Id(), kSessionBound)) << "session " << station->Id();
    }
    testMode.Stop();
    testModeHost.join();

    EXPECT_THAT(results, ::testing::Each(FLASHLOADER_STARTED));
    for (auto& station : stations_) {
        ExpectProgrammedAndLogged(*station);
    }
    EXPECT_THAT(testMode.Problems(), ::testing::IsEmpty());
    const std::string testModeLog = dir_->file("TestMode_" + std::to_string(kTestModeId) + ".log");
    ASSERT_TRUE(reliability::WaitUntilClosed(testModeLog, 2s));
    EXPECT_TRUE(reliability::IsStopLine(reliability::LastLine(testfiles::ReadFile(testModeLog)),
                                        kTestModeId));
}

// Hosts that start a session from a thread of their own and let the thread
// end at once: the worker must still get the parameters of its call, not
// whatever later occupies the ended thread's memory. The sessions look for
// an ATmega on a port that is not there, with no time to search: each ends
// at once.
TEST_F(ConcurrencyTest, ThreadsThatEndRightAfterFlashLoaderStillHandTheirSessionsOver) {
    constexpr uint16_t kCalls = 300;
    constexpr unsigned kAbsentPort = 254;
    SetBootLoaderTimeout(0);
    const std::string hex = SampleHexFile();
    for (uint16_t id = 1; id <= kCalls; ++id) {
        std::thread([&hex, id] {
            FlashLoader(kAbsentPort, 2, 115200, 10, hex.c_str(), id);
        }).join();
        // A thread started now takes over the ended one's memory.
        std::thread([] {}).join();
    }
    for (uint16_t id = 1; id <= kCalls; ++id) {
        ASSERT_TRUE(WaitForStop(id, 10s)) << "session " << id << " lost its parameters";
    }
    EXPECT_THAT(CodesOf(0), ::testing::IsEmpty()) << "sessions ran with a blank block";
}
