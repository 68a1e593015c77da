// Boards that disappear in the middle of a session: a board in this process
// stopped (its pseudo-terminal closed with it) while the PC waits for its
// answer to a chosen request or while the monitor goes down, and a vtarget
// program killed. The library must notice at its next read or write, end
// the session with MAIL_ERROR_IND 8 (a failed download during the monitor
// start) and STOP_PROGRAM_IND, and leave neither the port nor the log open.
#include "VanishingBoard.h"

#include "ChildProgram.h"
#include "SessionEnd.h"
#include "SessionImages.h"
#include "link/MailPrimitives.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <ostream>
#include <thread>

using namespace std::chrono_literals;
using reliability::Clock;
using reliability::kDuplex;
using ::testing::Contains;
using ::testing::Not;

namespace {

constexpr uint32_t kWorkRate = 921600;
constexpr unsigned kChildPort = 31;

// How long a session may take to reach the point where its board goes.
constexpr auto kReachBound = 20s;

} // namespace

class VanishingSessionTest : public reliability::VanishingBoardTest {
  protected:
    void StartSession(uint32_t type, const std::string& hex, uint16_t id) {
        ASSERT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, type, hex.c_str(), id),
                  FLASHLOADER_STARTED);
    }

    static bool HasMailError8(uint16_t id) {
        for (const auto& i : IndicationsOf(id)) {
            if (i.code == MAIL_ERROR_IND && (i.long0 & 0xFFFF) == MAIL_WRONG_RESPONSE_PRIMITIVE) {
                return true;
            }
        }
        return false;
    }

    // What every session whose board vanished must show: one stop
    // indication, last; no CRC match; port and log closed, the log ending
    // with the stop indication's line.
    void ExpectEndedCleanly(uint16_t id, const std::string& slave) {
        ASSERT_TRUE(WaitForStop(id, reliability::kStopBound)) << "session hangs";
        const auto codes = CodesOf(id);
        EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), STOP_PROGRAM_IND), 1);
        EXPECT_THAT(codes, Not(Contains(CRC_OK_IND)));
        EXPECT_TRUE(reliability::WaitUntilClosed(slave, reliability::kClosedBound))
            << "port left open";
        ExpectLogEndsWithStop("Session_", id);
    }
};

// A request of a session whose answer never comes: the board vanishes while
// the PC waits for it.
struct MidSessionPoint {
    const char* name;
    int type;
    uint32_t imageBase;
    uint8_t primitive;
    int nth;
};

void PrintTo(const MidSessionPoint& point, std::ostream* os) {
    *os << point.name;
}

class VanishingMidSessionTest : public VanishingSessionTest,
                                public ::testing::WithParamInterface<MidSessionPoint> {};

TEST_P(VanishingMidSessionTest, MailErrorEightThenStopAndNothingLeftOpen) {
    const MidSessionPoint& point = GetParam();
    vtarget::BoardOptions options;
    options.targetType = point.type;
    StartBoard(options);
    const std::string slave = Board().SlavePath();
    reliability::AnswerWithheld withheld(Board(), point.primitive, point.nth);
    const std::string hex =
        WriteHexImage(*dir_, "image", {{point.imageBase, testfiles::RandomBytes(0x3000, 1)}});
    StartSession(static_cast<uint32_t>(point.type), hex, 1);

    ASSERT_TRUE(withheld.Wait(kReachBound));
    EXPECT_GE(reliability::DescriptorsOn(slave), 2u) << "the board's own and the session's";
    const Clock::time_point vanished = Vanish();

    ExpectEndedCleanly(1, slave);
    EXPECT_TRUE(HasMailError8(1));
    EXPECT_LT(reliability::FirstMailErrorAt() - vanished, reliability::kNoticeBound)
        << "a vanished port fails the transaction at once, not at its deadline";
}

INSTANTIATE_TEST_SUITE_P(Atmega, VanishingMidSessionTest,
                         ::testing::Values(MidSessionPoint{"Erase", 10, 0, EXT_CHIP_EREASE_REQ, 1},
                                           MidSessionPoint{"Programming", 10, 0, PROG_INT_FLASH_REQ,
                                                           5},
                                           MidSessionPoint{"Crc", 10, 0, CALC_CRC32_REQ, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// The other families' programmers meet the failed mail in their own steps.
INSTANTIATE_TEST_SUITE_P(
    Families, VanishingMidSessionTest,
    ::testing::Values(MidSessionPoint{"S3c44b0xSectorErase", 18, 0, EXT_SECTOR_ERASE_REQ, 2},
                      MidSessionPoint{"S3c44b0xCrc", 18, 0, CALC_CRC32_REQ, 1},
                      MidSessionPoint{"Ml675001Programming", 14, 0xC8000000, PROG_EXT_FLASH_REQ, 2},
                      MidSessionPoint{"Kolt2x8Programming", 2, 0x080000, PROG_EXT_2FLASH8_REQ, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// The chip boot loader takes the monitor at 9600 baud, for seconds: the
// board goes while the image is on its way.
TEST_F(VanishingSessionTest, DuringTheMonitorDownloadTheDownloadFails) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    StartBoard(options);
    const std::string slave = Board().SlavePath();
    StartSession(0, WriteHexImage(*dir_, "image", {{0x080000, testfiles::RandomBytes(0x800, 2)}}),
                 2);
    ASSERT_TRUE(DownloadUnderWay(kReachBound));
    Vanish();

    ExpectEndedCleanly(2, slave);
    const auto codes = CodesOf(2);
    EXPECT_THAT(codes, Contains(DOWNLOAD_FAILED_IND));
    EXPECT_THAT(codes, Not(Contains(DOWNLOAD_SUCCESS_IND)));
}

// The vtarget program killed outright: the kernel closes its side of the
// pseudo-terminal as the in-process board's Stop() does.
class KilledProgramTest : public VanishingSessionTest {
  protected:
    // Starts vtarget for the target type and maps kChildPort to it.
    void StartProgram(int type) {
        const std::string link = dir_->file("ttyKilled");
        program_ = std::make_unique<testfiles::ChildProgram>(
            VTARGET_PROGRAM,
            std::vector<std::string>{"--link", link, "--target", std::to_string(type)});
        ASSERT_EQ(program_->ReadLine(5s), "vtarget ready on " + link + "\n");
        slave_ = std::filesystem::read_symlink(link).string();
        mapping_ = std::make_unique<ComPortMapping>(kChildPort, link);
    }

    void StartSession(uint32_t type, const std::string& hex, uint16_t id) {
        ASSERT_EQ(FlashLoader(kChildPort, kDuplex, kWorkRate, type, hex.c_str(), id),
                  FLASHLOADER_STARTED);
    }

    // Kills the program from inside the session's callback, at the first
    // indication with the code; the session goes on when it is gone.
    static void KillAt(testfiles::ChildProgram* program, uint16_t code) {
        victim = program;
        killCode = code;
        SetIndicationHook([](const IndicationRecord& record) {
            reliability::NoteMailError(record);
            if (record.code != killCode) {
                return;
            }
            if (testfiles::ChildProgram* p = victim.exchange(nullptr)) {
                p->Stop(SIGKILL);
            }
        });
    }

    void TearDown() override {
        victim = nullptr;
        VanishingSessionTest::TearDown();
        mapping_.reset();
        program_.reset();
    }

    std::unique_ptr<testfiles::ChildProgram> program_;
    std::unique_ptr<ComPortMapping> mapping_;
    std::string slave_;
    static inline std::atomic<testfiles::ChildProgram*> victim{nullptr};
    static inline std::atomic<uint16_t> killCode{0};
};

TEST_F(KilledProgramTest, DuringProgrammingTheNextMailFailsWithEight) {
    StartProgram(10);
    KillAt(program_.get(), PROGRAM_PROGRESS_IND);
    StartSession(10, WriteHexImage(*dir_, "image", {{0, testfiles::RandomBytes(0x3000, 3)}}), 3);

    ExpectEndedCleanly(3, slave_);
    EXPECT_TRUE(HasMailError8(3));
    EXPECT_EQ(victim.load(), nullptr) << "killed where planned";
}

TEST_F(KilledProgramTest, DuringTheMonitorDownloadTheDownloadFails) {
    StartProgram(0);
    StartSession(0, WriteHexImage(*dir_, "image", {{0x080000, testfiles::RandomBytes(0x800, 4)}}),
                 4);
    // The boot loader prompts every 250 ms and the image takes over two
    // seconds at 9600 baud: by now it is under way.
    std::this_thread::sleep_for(1s);
    program_->Stop(SIGKILL);

    ExpectEndedCleanly(4, slave_);
    const auto codes = CodesOf(4);
    EXPECT_THAT(codes, Contains(DOWNLOAD_FAILED_IND));
    EXPECT_THAT(codes, Not(Contains(DOWNLOAD_SUCCESS_IND)));
}
