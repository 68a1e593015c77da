// COM port numbers mapped to device paths by the host: the mapping comes
// before ULVEX_COM<n>, an empty path removes it, and it may change from
// another thread while ports open.
#include "FrameFixture.h"
#include "PtyPeer.h"
#include "serial/Sio.h"

#include <atomic>
#include <gmock/gmock.h>
#include <thread>
#include <ulvex_port_path.h>

namespace {

constexpr unsigned kMappedPort = 8;

struct MappingCase {
    const char* name;
    bool mapPty;         // map the port to the pseudo-terminal, else to a missing device
    bool environmentPty; // ULVEX_COM8 names the pseudo-terminal, else a missing device
    bool clearMapping;   // remove the mapping again before the open
    bool opens;
};

const MappingCase kMappingCases[] = {
    {"MappingComesFirst", true, false, false, true},
    {"MappingOverridesAWorkingEnvironment", false, true, false, false},
    {"RemovedMappingFallsBackToTheEnvironment", false, true, true, true},
};

} // namespace

class PortPathTest : public FrameTest {
  protected:
    void TearDown() override {
        CloseSerialPort();
        ULVEX_SetPortPath(kMappedPort, nullptr);
        FrameTest::TearDown();
    }
    PtyPeer peer_;
};

TEST_F(PortPathTest, MappingBeforeEnvironment) {
    for (const MappingCase& c : kMappingCases) {
        ComPortMapping environment(kMappedPort,
                                   c.environmentPty ? peer_.SlavePath() : "/nonexistent/env");
        ASSERT_EQ(ULVEX_SetPortPath(kMappedPort,
                                    c.mapPty ? peer_.SlavePath().c_str() : "/nonexistent/mapped"),
                  1u);
        if (c.clearMapping) {
            ASSERT_EQ(ULVEX_SetPortPath(kMappedPort, ""), 1u);
        }
        EXPECT_EQ(OpenSerialPort(kMappedPort, 115200, 0), c.opens) << c.name;
        CloseSerialPort();
    }
    EXPECT_EQ(ULVEX_SetPortPath(0, "/dev/null"), 0u);
    EXPECT_EQ(ULVEX_SetPortPath(255, "/dev/null"), 0u);
    EXPECT_EQ(ULVEX_SetPortPath(1, std::string(ULVEX_PORT_PATH_MAX + 1, 'x').c_str()), 0u);
}

TEST_F(PortPathTest, MappingChangesWhilePortsOpen) {
    PtyPeer other;
    ASSERT_EQ(ULVEX_SetPortPath(kMappedPort, other.SlavePath().c_str()), 1u);
    std::atomic<bool> done{false};
    std::thread remapper([&] {
        for (int i = 0; !done; ++i) {
            ULVEX_SetPortPath(kMappedPort, (i % 2 == 0 ? peer_ : other).SlavePath().c_str());
        }
    });
    int opened = 0;
    for (int i = 0; i < 50; ++i) {
        opened += OpenSerialPort(kMappedPort, 115200, 0) ? 1 : 0;
        CloseSerialPort();
    }
    done = true;
    remapper.join();
    EXPECT_EQ(opened, 50) << ::testing::PrintToString(ErrorTraces());
}
