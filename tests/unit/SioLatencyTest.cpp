// The low-latency request of a real tty, seen in the record of the driver
// calls: with a stand-in driver for the adapters that cannot be plugged in
// here, and with the real driver of a pseudo-terminal, which refuses.
#include "FrameFixture.h"
#include "PtyPeer.h"
#include "serial/Sio.h"
#include "serial/SioPosixLatency.h"

#include <cerrno>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <linux/serial.h>
#include <unistd.h>

using platform::SerialInfoCall;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

struct StandInDriver {
    int flags = 0;
    bool refuseGet = false;
    bool refuseSet = false;
};
StandInDriver driver;

bool Answer(int, bool set, int& flags) {
    if (set ? driver.refuseSet : driver.refuseGet) {
        errno = EPERM;
        return false;
    }
    if (set) {
        driver.flags = flags;
    } else {
        flags = driver.flags;
    }
    return true;
}

constexpr int kFlags = 0x70;
constexpr int kLow = kFlags | ASYNC_LOW_LATENCY;

struct LatencyCase {
    const char* name;
    StandInDriver driver;
    std::vector<SerialInfoCall> onOpen;
    std::vector<SerialInfoCall> onClose;
    int flagsAfterClose;
};

const LatencyCase kLatencyCases[] = {
    {"AskedAndPutBack", {kFlags}, {{false, kFlags}, {true, kLow}}, {{true, kFlags}}, kFlags},
    {"AlreadyLow", {kLow}, {{false, kLow}}, {}, kLow},
    {"SetRefused", {kFlags, false, true}, {{false, kFlags}, {true, kLow, true}}, {}, kFlags},
    {"GetRefused", {kFlags, true}, {{false, 0, true}}, {}, kFlags},
};

} // namespace

class SioLatencyTest : public FrameTest {
  protected:
    void TearDown() override {
        platform::SetSerialInfoDriver(nullptr);
        platform::TakeSerialInfoCalls();
        FrameTest::TearDown();
    }
};

TEST_F(SioLatencyTest, EveryDriverAnswerLeavesTheFlagsAsTheyWere) {
    PtyPeer peer;
    const int fd = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    platform::SetSerialInfoDriver(Answer);
    for (const LatencyCase& c : kLatencyCases) {
        driver = c.driver;
        platform::RequestLowLatency(fd);
        EXPECT_THAT(platform::TakeSerialInfoCalls(), ElementsAreArray(c.onOpen)) << c.name;
        platform::RestoreLatency(fd);
        EXPECT_THAT(platform::TakeSerialInfoCalls(), ElementsAreArray(c.onClose)) << c.name;
        EXPECT_EQ(driver.flags, c.flagsAfterClose) << c.name;
    }
    ::close(fd);
}

TEST_F(SioLatencyTest, APseudoTerminalRefusesAndIsNeverAskedOnOpen) {
    StartTrace(0xFF);
    PtyPeer peer;
    const int fd = ::open(peer.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    platform::RequestLowLatency(fd);
    EXPECT_THAT(platform::TakeSerialInfoCalls(),
                ElementsAreArray({SerialInfoCall{false, 0, true}}));
    EXPECT_THAT(TraceText(), HasSubstr("does not tell its latency setting"));
    ::close(fd);

    ComPortMapping mapping(6, peer.SlavePath());
    ASSERT_TRUE(OpenSerialPort(6, 115200, 0));
    CloseSerialPort();
    EXPECT_TRUE(platform::TakeSerialInfoCalls().empty());
}
