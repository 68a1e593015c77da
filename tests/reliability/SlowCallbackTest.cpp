// A host callback that takes seconds. Indications are delivered on the
// session's worker, which waits for the callback: the session gets slower,
// but no request may wait for its answer meanwhile (its deadline would run
// out), no frame may stop halfway, and other sessions must not wait for it.
#include "FrameFixture.h"
#include "SessionEnd.h"
#include "Stations.h"

#include <gmock/gmock.h>

#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr auto kSlowCallback = 2s;
constexpr unsigned kFirstPort = 80;
constexpr uint32_t kLogMask = DEBUG_MAIL_TRACE | DEBUG_INDICATIONS;
constexpr uint32_t kRaiseDtr = 0x8000;

// Where the callback of a slow session takes kSlowCallback.
struct SlowPolicy {
    std::set<uint16_t> codes;
    bool everyTime = false; // otherwise only at a code's first delivery
};

// Right after the port opened, between the boot loader's prompt and the
// PC's answer, after the monitor's first answer, and just before the
// erase, the first block and the CRC.
const SlowPolicy kAtFirstSteps = {
    {START_PROGRAM_IND, COM_PORT_FOUND_IND, TARGET_FOUND_IND, DOWNLOAD_SUCCESS_IND,
     CHIP_ERASE_START_IND, SECTOR_ERASE_START_IND, PROGRAM_PROGRESS_IND, PROGRAMMING_SUCCESS_IND},
    false};
// Every line change: when the port opens, and right after each of the PC's
// rate changes during the monitor start, while the monitor waits for it.
const SlowPolicy kAtLineChanges = {{COMPORT_CTRL_IND}, true};

std::mutex slowMutex;
std::map<uint16_t, SlowPolicy> slowSessions;
std::map<uint16_t, std::multiset<uint16_t>> slept; // per session, the codes slept on

void SleepWhereSlow(const IndicationRecord& record) {
    {
        std::lock_guard lock(slowMutex);
        const auto policy = slowSessions.find(record.sessionid);
        if (policy == slowSessions.end() || !policy->second.codes.contains(record.code)) {
            return;
        }
        auto& codes = slept[record.sessionid];
        if (!policy->second.everyTime && codes.contains(record.code)) {
            return;
        }
        codes.insert(record.code);
    }
    std::this_thread::sleep_for(kSlowCallback);
}

} // namespace

class SlowCallbackTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        SetDebug(kLogMask);
        SetIndicationHook(SleepWhereSlow);
    }

    void TearDown() override {
        SetIndicationHook(nullptr);
        {
            std::lock_guard lock(slowMutex);
            slowSessions.clear();
            slept.clear();
        }
        stations_.clear();
        FrameTest::TearDown();
    }

    // The first quick families, and a KOLT-A board with a 9.216 MHz crystal
    // whose sessions raise DTR: its monitor start changes the PC's rate
    // twice, each change followed by a line change.
    void StartBoards(size_t quick) {
        stations_ = reliability::MakeStations(quick, 1, kFirstPort, *dir_);
        stations_.push_back(std::make_unique<reliability::Station>(
            reliability::Family{5, 0x080000, kRaiseDtr | 2}, static_cast<uint16_t>(quick + 1),
            static_cast<unsigned>(kFirstPort + quick), *dir_));
        for (auto& station : stations_) {
            std::string error;
            ASSERT_TRUE(station->StartBoard(error)) << error;
        }
    }

    static void MakeSlow(uint16_t id, const SlowPolicy& policy) {
        std::lock_guard lock(slowMutex);
        slowSessions[id] = policy;
    }

    static uint32_t ElapsedMs(uint16_t id) {
        for (const auto& i : IndicationsOf(id)) {
            if (i.code == STOP_PROGRAM_IND) {
                return i.long0;
            }
        }
        return 0;
    }

    // The session programmed its image as if the callback were quick: no
    // retransmission, no frame the board dropped, a CRC match.
    void ExpectUndisturbed(reliability::Station& station) {
        SCOPED_TRACE("target type " + std::to_string(station.TargetType()));
        const auto codes = CodesOf(station.Id());
        EXPECT_THAT(codes, Contains(CRC_OK_IND));
        EXPECT_THAT(codes, Not(Contains(MAIL_ERROR_IND)));
        EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
        EXPECT_TRUE(station.MemoryHoldsImage());
        EXPECT_EQ(station.Board().DroppedFrames(), 0u);
        ASSERT_TRUE(reliability::WaitUntilClosed(station.LogPath(), 2s));
        const std::string log = testfiles::ReadFile(station.LogPath());
        EXPECT_THAT(log, Not(HasSubstr("Retransmit"))) << "a deadline ran out";
        EXPECT_TRUE(reliability::IsStopLine(reliability::LastLine(log), station.Id()));
    }

    std::vector<std::unique_ptr<reliability::Station>> stations_;
};

// Every family of quick monitor starts with a slow host, the rate-changing
// KOLT-A too, and one session with a quick host beside them that does not
// wait for the slow ones.
TEST_F(SlowCallbackTest, SessionsEndCorrectlyAndOthersDoNotWait) {
    StartBoards(5); // ATmega, ATmega, S3C44B0X, ML675001, ATmega; then the KOLT-A
    constexpr uint16_t kQuick = 5;
    for (uint16_t id : {1, 2, 3, 4}) {
        MakeSlow(id, kAtFirstSteps);
    }
    MakeSlow(6, kAtLineChanges);
    for (const auto& station : stations_) {
        if (station->Id() != kQuick) {
            ASSERT_EQ(station->StartSession(), FLASHLOADER_STARTED);
        }
    }
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(stations_[kQuick - 1]->StartSession(), FLASHLOADER_STARTED);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s)
        << "the hand-over does not wait for a callback";
    ASSERT_TRUE(WaitForStop(kQuick, 30s));
    for (const auto& station : stations_) {
        if (station->Id() != kQuick) {
            EXPECT_THAT(CodesOf(station->Id()), Not(Contains(STOP_PROGRAM_IND)))
                << "session " << station->Id() << " is still in its callbacks";
        }
    }
    for (const auto& station : stations_) {
        ASSERT_TRUE(WaitForStop(station->Id(), 60s)) << "session " << station->Id();
    }

    for (auto& station : stations_) {
        ExpectUndisturbed(*station);
    }
    std::lock_guard lock(slowMutex);
    EXPECT_EQ(slept[6].count(COMPORT_CTRL_IND), 3u) << "port opened, 9600, working rate";
    for (const auto& [id, codes] : slept) {
        EXPECT_GE(ElapsedMs(id), codes.size() * 2000) << "session " << id;
    }
}
