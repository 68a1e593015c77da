// The campaign's checks must fire when a promise is broken, or its zeros
// mean nothing: a board that vouches for a wrong CRC must count as a false
// success, a descriptor left on the board's terminal as a port left open,
// a session that outlasts its bound as one.
// ATmega sessions need no monitor download, so each takes well under a
// second.
#include "CampaignSession.h"
#include "CampaignTable.h"
#include "TestFiles.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <memory>
#include <unistd.h>

using namespace campaign;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

constexpr uint8_t kCalcCrc32Req = 25;

// A CALC_CRC32 answer frame carrying the CRC.
std::vector<uint8_t> CrcAnswer(uint8_t sequence, uint32_t crc) {
    std::vector<uint8_t> frame = {0x10,
                                  0x00,
                                  0x08,
                                  sequence,
                                  0,
                                  0,
                                  kCalcCrc32Req + 1,
                                  static_cast<uint8_t>(crc),
                                  static_cast<uint8_t>(crc >> 8),
                                  static_cast<uint8_t>(crc >> 16),
                                  static_cast<uint8_t>(crc >> 24)};
    uint8_t sum = 0;
    for (size_t i = 3; i < frame.size(); ++i) {
        sum = static_cast<uint8_t>(sum + frame[i]);
    }
    frame.push_back(sum);
    return frame;
}

} // namespace

class CampaignOracleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        slot_ = {240, dir_.file("port")};
        MapSlot(slot_);
        image_ = MakeImage(InfoOf(Family::Atmega), 1, dir_.path());
        SessionRecorder::Instance();
    }

    SessionResult Run(uint16_t id, const SessionTweaks& tweaks = {}) {
        SessionResult r = RunSession({Family::Atmega, 0, 1}, id, image_, slot_, tweaks);
        CheckIndicationStream(r);
        return r;
    }

    testfiles::TempDir dir_;
    testfiles::ScopedChdir inDir_{dir_.path()};
    Slot slot_;
    Image image_;
};

TEST_F(CampaignOracleTest, FaultFreeSessionKeepsEveryPromise) {
    const SessionResult r = Run(1);
    EXPECT_EQ(r.outcome, "ok");
    EXPECT_THAT(r.brokenPromises, IsEmpty());
    EXPECT_THAT(r.falseSuccesses, IsEmpty());
    EXPECT_GT(r.duration.count(), 0);
    EXPECT_LT(r.duration, r.bound);
    EXPECT_THAT(FamilyTable({r}), HasSubstr("| ATmega (10) | all | 1 | 1 | - | 0 | 0 |"));
}

TEST_F(CampaignOracleTest, BoardThatVouchesForAWrongCrcIsAFalseSuccess) {
    const uint32_t fileCrc = VouchedRanges(InfoOf(Family::Atmega), image_).front().fileCrc;
    SessionTweaks lie;
    lie.options = [](vtarget::BoardOptions& o) { o.corruptWord = 0x100; };
    lie.started = [fileCrc](vtarget::Board& board) {
        board.SetReplyOverride(
            [fileCrc](const vtarget::ReceivedMail& mail) -> std::optional<std::vector<uint8_t>> {
                if (mail.payload[0] != kCalcCrc32Req) {
                    return std::nullopt;
                }
                return CrcAnswer(mail.sequence, fileCrc);
            });
    };
    const SessionResult r = Run(2, lie);
    EXPECT_EQ(r.outcome, "ok");
    ASSERT_EQ(r.falseSuccesses.size(), 2u) << ::testing::PrintToString(r.falseSuccesses);
    EXPECT_THAT(r.falseSuccesses[0], HasSubstr("CRC_OK_IND, but memory differs"));
    EXPECT_THAT(r.falseSuccesses[0], HasSubstr("0x100"));
    EXPECT_THAT(r.falseSuccesses[1], HasSubstr("success reported"));
    EXPECT_THAT(FamilyTable({r}), HasSubstr("| all | 1 | 1 | - | 1 | 0 |"));
}

TEST_F(CampaignOracleTest, DescriptorLeftOnTheTerminalIsAPortLeftOpen) {
    auto leaked = std::make_shared<int>(-1);
    SessionTweaks leak;
    leak.started = [leaked](vtarget::Board& board) {
        board.SetReplyOverride(
            [leaked, &board](const vtarget::ReceivedMail&) -> std::optional<std::vector<uint8_t>> {
                if (*leaked < 0) {
                    *leaked = open(board.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                }
                return std::nullopt;
            });
    };
    const SessionResult r = Run(3, leak);
    ASSERT_GE(*leaked, 0);
    close(*leaked);
    EXPECT_EQ(r.outcome, "ok");
    EXPECT_THAT(r.brokenPromises,
                ::testing::ElementsAre("the port is still open after STOP_PROGRAM_IND"));
}

TEST_F(CampaignOracleTest, SessionBeyondItsBoundIsReportedAndLosesItsBoard) {
    // The board answers the wake mail and then nothing: the version request
    // would wait 2700 ms for its answer, far beyond the bound given here.
    SessionTweaks late;
    late.options = [](vtarget::BoardOptions& o) { o.faults.silentAfter = 1; };
    late.bound = std::chrono::milliseconds(300);
    const SessionResult r = Run(4, late);
    EXPECT_THAT(r.brokenPromises, ::testing::ElementsAre("no STOP_PROGRAM_IND within 300 ms"));
    // Without its board the session ends at once, not at its deadline.
    EXPECT_LT(r.duration, std::chrono::milliseconds(2000));
}
