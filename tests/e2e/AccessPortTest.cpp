// The access port's control-line rules, their indications, and the byte
// waits, against a virtual board.
#include "BoardFixture.h"
#include "frame/Faults.h"
#include "frame/ThreadContext.h"
#include "link/BusAccess.h"
#include "serial/Sio.h"

#include <gmock/gmock.h>

using ::testing::ElementsAre;

using AccessPortTest = BoardTest;

TEST_F(AccessPortTest, BusModeDecidesWhichLinesOpenAndCloseDrive) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink(0x8002));
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_SETDTR));
    CloseAccessPort();
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_CLRDTR));
    EXPECT_THAT(LineIndications(), ElementsAre(COMPORT_CTRL_DTR_SET));

    Ctx().lines = ControlLines{};
    ASSERT_TRUE(OpenLink(0x0001));
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_SETDTR)) << "single wire raises DTR";
    CloseAccessPort();
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_CLRDTR));

    Ctx().lines = ControlLines{};
    ASSERT_TRUE(OpenLink(0x4002));
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_SETRTS));
    CloseAccessPort();
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_CLRRTS));

    Ctx().lines = ControlLines{};
    ASSERT_TRUE(OpenLink(0x0002));
    CloseAccessPort();
    EXPECT_TRUE(TakeEscapeCalls().empty()) << "duplex leaves the lines alone";
    EXPECT_THAT(LineIndications(),
                ElementsAre(COMPORT_CTRL_DTR_SET, COMPORT_CTRL_DTR_SET, COMPORT_CTRL_RTS_SET));
}

TEST_F(AccessPortTest, LinesSetWhileClosedApplyAtTheNextOpen) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    StartBoard(options);
    EXPECT_EQ(LineSetDTR(), 1u);
    EXPECT_EQ(LineSetBREAK(), 1u);
    EXPECT_TRUE(LineIndications().empty());
    EXPECT_TRUE(TakeEscapeCalls().empty());

    ASSERT_TRUE(OpenLink(0x0002));
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_SETDTR, ESCAPE_SETBREAK));
    EXPECT_THAT(LineIndications(), ElementsAre(COMPORT_CTRL_DTR_SET, COMPORT_CTRL_BREAK_SET));

    EXPECT_EQ(LineClrRTS(), 1u);
    EXPECT_EQ(LineClrBREAK(), 1u);
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_CLRRTS, ESCAPE_CLRBREAK));
    EXPECT_THAT(LineIndications(), ElementsAre(COMPORT_CTRL_DTR_SET, COMPORT_CTRL_BREAK_SET,
                                               COMPORT_CTRL_RTS_CLR, COMPORT_CTRL_BREAK_CLR));
    CloseAccessPort();
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_CLRDTR));
    EXPECT_EQ(Ctx().lines.port, PORT_CLOSED);
}

TEST_F(AccessPortTest, ClosingWithoutAnOpenPortDrivesNoLine) {
    Ctx().link.busmode = kBusModeSingleWire;
    LineSetRTS();
    EXPECT_EQ(CloseAccessPort(), 1u);
    EXPECT_TRUE(TakeEscapeCalls().empty());
    EXPECT_TRUE(ErrorTraces().empty());
    EXPECT_EQ(Ctx().lines.dtr, LINE_CLEARED);
    EXPECT_EQ(Ctx().lines.rts, LINE_CLEARED);
}

TEST_F(AccessPortTest, FailedOpenIsReportedUnlessPortsAreSearched) {
    ComPortMapping missing(kPort, "/nonexistent/port");
    EXPECT_EQ(OpenAccessPort(kPort, 9600, 2, 0), 0u);
    Ctx().link.searching = true;
    EXPECT_EQ(OpenAccessPort(kPort, 9600, 2, 0), 0u);
    Ctx().link.searching = false;
    int failures = 0;
    for (const auto& i : Indications()) {
        failures += i.code == COM_PORT_ACCESS_FAIL_IND;
    }
    EXPECT_EQ(failures, 1);
}

TEST(ByteWaitTest, WaitsReturnTheByteOrTimeOut) {
    PtyPeer peer;
    ComPortMapping mapping(3, peer.SlavePath());
    ASSERT_EQ(OpenComport(3, 115200, 2, 0), 1u);
    uint8_t byte = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForAnyByte(&byte, 60), 0u);
    // Deadlines count whole milliseconds of the tick.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(59));

    peer.Write({0x41, 0x42, 0x06, 0x43});
    EXPECT_EQ(WaitForByte(0x06, 1000), 1u);
    EXPECT_EQ(WaitForAnyByte(&byte, 1000), 1u);
    EXPECT_EQ(byte, 0x43) << "bytes before the awaited one are dropped, later ones stay";
    EXPECT_EQ(WaitForByte(0x06, 50), 0u);
    CloseComport();
}
