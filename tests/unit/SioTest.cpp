// The serial driver on a real pseudo-terminal, with every platform failure
// it handles forced through the fault wrapper.
#include "serial/Sio.h"
#include "FrameFixture.h"
#include "PtyPeer.h"
#include "frame/Faults.h"
#include "frame/ThreadContext.h"

#include <chrono>
#include <gmock/gmock.h>
#include <thread>

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

constexpr unsigned kPort = 5;

PortHandle OpenPort() {
    return Ctx().serial.port;
}

} // namespace

class SioTest : public FrameTest {
  protected:
    void SetUp() override {
        FrameTest::SetUp();
        peer_ = std::make_unique<PtyPeer>();
        mapping_ = std::make_unique<ComPortMapping>(kPort, peer_->SlavePath());
    }
    void TearDown() override {
        DisarmFaults();
        CloseSerialPort();
        ResetSerialState();
        TakeEscapeCalls();
        mapping_.reset();
        peer_.reset();
        FrameTest::TearDown();
    }

    // The error trace of a failed call, without its line number.
    static std::string TraceOf(const std::string& message, const std::string& function) {
        return ErrorTraceStarting(message + "; " + function + "; Line ");
    }

    std::unique_ptr<PtyPeer> peer_;
    std::unique_ptr<ComPortMapping> mapping_;
};

TEST_F(SioTest, PortNumbersOutsideTheComRangeAreRejected) {
    StartTrace(DEBUG_MAIL_TRACE);
    for (uint32_t port : {0u, 255u, 256u}) {
        EXPECT_FALSE(OpenSerialPort(port, 9600, 0)) << port;
    }
    const std::string log = TraceText();
    EXPECT_THAT(log, HasSubstr("\n### OpenSerialPort Error: COM0 out of range. [COM1..COM254] ###\n"
                               "\n### OpenSerialPort Error: COM255 out of range. [COM1..COM254] "
                               "###\n\n### OpenSerialPort Error: COM0 out of range."));
    EXPECT_TRUE(ErrorTraces().empty()) << "no device was tried";
}

TEST_F(SioTest, PortNumbersInRangeAreTriedAndAboveTheRangeWrap) {
    ComPortMapping com1(1, "/nonexistent/com1");
    ComPortMapping com254(254, "/nonexistent/com254");
    StartTrace(DEBUG_MAIL_TRACE);
    EXPECT_FALSE(OpenSerialPort(1, 9600, 0));
    EXPECT_FALSE(OpenSerialPort(254, 9600, 0));
    EXPECT_FALSE(OpenSerialPort(257, 9600, 0)); // COM1 again
    EXPECT_THAT(
        TraceText(),
        HasSubstr("\n### OpenSerialPort Error: INVALID HANDLER LastError=(0x00000002) ###\n"));
    EXPECT_EQ(ErrorTraces().size(), 6u) << "each open: the error code, then the device and why";
    EXPECT_THAT(
        TraceOf("Error: Serial port handler INVALID_HANDLE_VALUE LastError=2", "OpenSerialPort"),
        HasSubstr("in Sio; DBG_LEVEL_WARNING"));
    EXPECT_THAT(TraceOf("Error: COM254 is /nonexistent/com254: No such file or directory",
                        "OpenSerialPort"),
                HasSubstr("in Sio; DBG_LEVEL_WARNING"));

    ComPortMapping pty(1, peer_->SlavePath());
    EXPECT_TRUE(OpenSerialPort(257, 9600, 0));
}

TEST_F(SioTest, SecondOpenSucceedsWithoutTouchingThePort) {
    ASSERT_TRUE(OpenSerialPort(kPort, 115200, 0));
    const PortHandle first = OpenPort();
    ArmFault(Fault::PortOpen, 1, true);
    ArmFault(Fault::PortSetState, 1, true);
    EXPECT_TRUE(OpenSerialPort(kPort + 1, 9600, 2));
    EXPECT_EQ(OpenPort(), first);
    EXPECT_TRUE(ErrorTraces().empty());
    DeviceControl dcb;
    ASSERT_TRUE(PortGetState(OpenPort(), dcb));
    EXPECT_EQ(dcb.baudRate, 115200u);
}

TEST_F(SioTest, AnotherThreadCannotOpenAPortInUse) {
    ASSERT_TRUE(OpenSerialPort(kPort, 9600, 0));
    bool opened = true;
    std::thread other([&] { opened = OpenSerialPort(kPort, 9600, 0); });
    other.join();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(
        TraceOf("Error: Serial port handler INVALID_HANDLE_VALUE LastError=16", "OpenSerialPort")
            .empty());
}

TEST_F(SioTest, WithoutAPortTransfersAreEmptyWhileThePurgeFails) {
    StartTrace(DEBUG_MAIL_TRACE);
    const uint8_t bytes[3] = {1, 2, 3};
    uint32_t count = 99;
    EXPECT_EQ(SendSerialDataBlock(bytes, 3, &count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(SendSerialData(7), 0u);
    uint8_t buffer[8];
    count = 99;
    EXPECT_EQ(GetSerialData(buffer, sizeof buffer, &count), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(ErrorTraces().empty());

    ReInitBuffer();
    EXPECT_THAT(TraceOf("Error: PurgeComm()", "ReInitBuffer"), HasSubstr("in Sio"));
    EXPECT_THAT(TraceText(), HasSubstr("## ERROR ## PurgeComm() in Line("));
}

struct StepFailure {
    Fault fault;
    std::string trace; // error trace message
    std::string log;   // what the thread's log shows
};

TEST_F(SioTest, EveryFailedOpenStepLeavesThePortClosedAndFree) {
    const StepFailure steps[] = {
        {Fault::PortOpen, "Error: Serial port handler INVALID_HANDLE_VALUE LastError=5",
         "\n### OpenSerialPort Error: INVALID HANDLER LastError=(0x00000005) ###\n"},
        {Fault::PortQueues, "Error: SetupComm()", "## ERROR ## SetupComm() in Line("},
        {Fault::PortGetState, "Error: GetCommState() LastError=5",
         "\n### OpenSerialPort Error: GetCommState() LastError=(0x00000005) ###\n"},
        {Fault::PortSetState, "Error: SetCommState() LastError=5",
         "\n### OpenSerialPort Error: SetCommState() LastError=(0x00000005) ###\n"},
        {Fault::PortSetTimeouts, "Error: SetCommTimeouts()", "## ERROR ## SetCommTimeouts() in"},
        {Fault::PortPurge, "Error: PurgeComm()", "## ERROR ## PurgeComm() in Line("},
        {Fault::PortClearErrors, "Error: ClearCommError()", "## ERROR ## ClearCommError() in"},
    };
    StartTrace(DEBUG_MAIL_TRACE);
    for (const StepFailure& step : steps) {
        SCOPED_TRACE(step.trace);
        ArmFault(step.fault, 1);
        EXPECT_FALSE(OpenSerialPort(kPort, 9600, 0));
        EXPECT_EQ(OpenPort(), kNoPort);
        EXPECT_FALSE(TraceOf(step.trace, "OpenSerialPort").empty());
        EXPECT_THAT(TraceText(), HasSubstr(step.log));
        // The device was released: it opens again at once.
        ASSERT_TRUE(OpenSerialPort(kPort, 9600, 0));
        CloseSerialPort();
    }
}

TEST_F(SioTest, FailedRateAndFlowChangesKeepThePortOpen) {
    const StepFailure baudSteps[] = {
        {Fault::PortGetState, "Error: GetCommState()", "## ERROR ## GetCommState in"},
        {Fault::PortSetState, "Error: SetCommState()", "## ERROR ## SetCommState in"},
        {Fault::PortSetTimeouts, "Error: SetCommTimeouts()", "## ERROR ## SetCommTimeouts() in"},
        {Fault::PortPurge, "Error: PurgeComm()", "## ERROR ## PurgeComm() in"},
        {Fault::PortClearErrors, "Error: ClearCommError()", "## ERROR ## ClearCommError() in"},
    };
    StartTrace(DEBUG_MAIL_TRACE);
    ASSERT_TRUE(OpenSerialPort(kPort, 9600, 0));
    EXPECT_EQ(ChangeBaud(19200), 1u);
    EXPECT_EQ(DcbfOutX(1), 0u);
    for (const StepFailure& step : baudSteps) {
        SCOPED_TRACE(step.trace);
        ArmFault(step.fault, 1);
        EXPECT_EQ(ChangeBaud(38400), 0u);
        EXPECT_FALSE(TraceOf(step.trace, "ChangeBaud").empty());
        EXPECT_THAT(TraceText(), HasSubstr(step.log));
        if (step.fault == Fault::PortSetTimeouts) {
            continue; // the rate change does not set time-outs
        }
        ArmFault(step.fault, 1);
        EXPECT_EQ(DcbfOutX(0), 1u);
        EXPECT_FALSE(TraceOf(step.trace, "DcbfOutX").empty());
        EXPECT_NE(OpenPort(), kNoPort);
    }
}

TEST_F(SioTest, BootRatesAndXonFlowControlAreSetAndReadBack) {
    ASSERT_TRUE(OpenSerialPort(kPort, 11520, 2));
    DeviceControl dcb;
    ASSERT_TRUE(PortGetState(OpenPort(), dcb));
    EXPECT_EQ(dcb.baudRate, 11520u);
    EXPECT_EQ(dcb.stopBits, 2);
    EXPECT_EQ(dcb.byteSize, 8);
    EXPECT_EQ(dcb.flags & DCB_OUTX, 0u);

    EXPECT_EQ(ChangeBaud(8600), 1u);
    EXPECT_EQ(DcbfOutX(1), 0u);
    ASSERT_TRUE(PortGetState(OpenPort(), dcb));
    EXPECT_EQ(dcb.baudRate, 8600u);
    EXPECT_NE(dcb.flags & DCB_OUTX, 0u);

    EXPECT_EQ(DcbfOutX(2), 0u); // only bit 0 counts
    ASSERT_TRUE(PortGetState(OpenPort(), dcb));
    EXPECT_EQ(dcb.flags & DCB_OUTX, 0u);
}

TEST_F(SioTest, RateChangeLogsAndClearsTheLinkEvenWhenItFails) {
    StartTrace(DEBUG_MAIL_TRACE);
    ASSERT_EQ(OpenComport(kPort, 9600, 0x0001, 0), 1u);
    EXPECT_THAT(TraceText(),
                HasSubstr("\n### OPEN SERIAL COMPORT comport=5, baud=9600, busmode=0x0001 ###\n"));
    EXPECT_EQ(Ctx().mail.openBusmode, 1u);

    peer_->Write({0xAA, 0xBB});
    ASSERT_TRUE(WaitSerialReadable(1000));
    Ctx().mail.echoPending = 7;
    ArmFault(Fault::PortSetState, 1);
    EXPECT_EQ(ChangeComportBaud(19200), 0u);
    EXPECT_THAT(TraceText(), HasSubstr("\n### CHANGE BAUDRATE TO 19200 bit/sec ###\n"));
    EXPECT_EQ(Ctx().mail.echoPending, 0u);
    uint8_t buffer[4];
    uint32_t count = 0;
    EXPECT_EQ(GetSerialData(buffer, sizeof buffer, &count), 0u);
    EXPECT_EQ(count, 0u) << "stale bytes were cleared";

    CloseComport();
    EXPECT_THAT(TraceText(), HasSubstr("\n### CLOSE COMPORT ###\n"));
    EXPECT_EQ(OpenPort(), kNoPort);
}

TEST_F(SioTest, CloseFailures) {
    StartTrace(DEBUG_MAIL_TRACE);
    ASSERT_TRUE(OpenSerialPort(kPort, 9600, 0));
    const PortHandle handle = OpenPort();
    ArmFault(Fault::PortPurge, 1);
    CloseSerialPort();
    EXPECT_EQ(OpenPort(), handle) << "a port whose purge failed still counts as open";
    EXPECT_FALSE(TraceOf("Error: PurgeComm()", "CloseSerialPort").empty());

    ArmFault(Fault::PortClose, 1);
    CloseSerialPort();
    EXPECT_EQ(OpenPort(), kNoPort);
    EXPECT_FALSE(TraceOf("Error: CloseHandler()", "CloseSerialPort").empty());
    EXPECT_THAT(TraceText(), HasSubstr("## ERROR ## CloseHandeler() in Line("));
    platform::Close(handle); // the injected failure left it open
}

TEST_F(SioTest, WriteAndReadFailuresReportNothingTransferred) {
    StartTrace(DEBUG_MAIL_TRACE);
    ASSERT_TRUE(OpenSerialPort(kPort, 115200, 0));
    const uint8_t bytes[2] = {1, 2};
    uint32_t count = 99;
    ArmFault(Fault::PortWrite, 1);
    EXPECT_EQ(SendSerialDataBlock(bytes, 2, &count), 1u);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(TraceOf("Error: WriteFile()", "SendSerialDataBlock").empty());
    ArmFault(Fault::PortWrite, 1);
    EXPECT_EQ(SendSerialData(1), 1u);
    EXPECT_FALSE(TraceOf("Error: WriteFile()", "SendSerialData").empty());
    EXPECT_THAT(TraceText(), HasSubstr("## ERROR ## WriteFile() in Line("));

    peer_->Write({5});
    ASSERT_TRUE(WaitSerialReadable(1000));
    uint8_t buffer[4];
    count = 99;
    ArmFault(Fault::PortRead, 1);
    EXPECT_EQ(GetSerialData(buffer, sizeof buffer, &count), 1u);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(TraceOf("Error: ReadFile()", "GetSerialData").empty());
    EXPECT_THAT(TraceText(), HasSubstr("## ERROR ## ReadFile() in Line("));
}

TEST_F(SioTest, LineOperationsUseTheirEscapeCodesAndNameTheirFailures) {
    StartTrace(DEBUG_MAIL_TRACE);
    ASSERT_TRUE(OpenSerialPort(kPort, 9600, 0));
    TakeEscapeCalls();
    // A pseudo-terminal has a break condition but no modem lines.
    EXPECT_EQ(SioSetBREAK(), 1u);
    EXPECT_EQ(SioClrBREAK(), 1u);
    EXPECT_EQ(SioSetDTR(), 0u);

    struct LineOp {
        uint32_t (*op)();
        const char* name;
    };
    const LineOp ops[] = {{SioSetRTS, "SioSetRTS"},     {SioClrRTS, "SioClrRTS"},
                          {SioSetDTR, "SioSetDTR"},     {SioClrDTR, "SioClrDTR"},
                          {SioSetBREAK, "SioSetBREAK"}, {SioClrBREAK, "SioClrBREAK"}};
    ArmFault(Fault::PortEscape, 1, true);
    for (const LineOp& line : ops) {
        EXPECT_EQ(line.op(), 0u) << line.name;
        EXPECT_FALSE(TraceOf(std::string("Error: ") + line.name, line.name).empty()) << line.name;
        EXPECT_THAT(TraceText(), HasSubstr(std::string("## ERROR ## ") + line.name + "() in"));
    }
    EXPECT_EQ(TakeEscapeCalls(), (std::vector<uint32_t>{8, 9, 5, 3, 4, 5, 6, 8, 9}));
}

TEST_F(SioTest, PurgeNeverLosesBytesAlreadySent) {
    ASSERT_TRUE(OpenSerialPort(kPort, 1000000, 0));
    for (int i = 0; i < 200; ++i) {
        const uint8_t byte = static_cast<uint8_t>(i);
        ASSERT_EQ(SendSerialData(byte), 0u);
        ReInitBuffer();
        ASSERT_EQ(peer_->Read(1, std::chrono::milliseconds(1000)), std::vector<uint8_t>{byte})
            << "try " << i;
    }
}

TEST_F(SioTest, BytesReadAheadAreServedInOrderAndDroppedByAPurge) {
    ASSERT_TRUE(OpenSerialPort(kPort, 115200, 0));
    peer_->Write({1, 2, 3, 4});
    ASSERT_TRUE(WaitSerialReadable(1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // all four in the driver
    uint8_t byte = 0;
    uint32_t count = 0;
    ASSERT_EQ(GetSerialData(&byte, 1, &count), 0u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(byte, 1);
    // The driver is empty now; a wait must not block on bytes already read.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitSerialReadable(1000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    uint8_t rest[8] = {};
    ASSERT_EQ(GetSerialData(rest, 2, &count), 0u);
    EXPECT_EQ(std::vector<uint8_t>(rest, rest + count), (std::vector<uint8_t>{2, 3}));

    ReInitBuffer();
    ASSERT_EQ(GetSerialData(rest, sizeof rest, &count), 0u);
    EXPECT_EQ(count, 0u) << "a purge drops what was read ahead";

    peer_->Write({5, 6});
    ASSERT_TRUE(WaitSerialReadable(1000));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(GetSerialData(&byte, 1, &count), 0u);
    ChangeComportBaud(57600);
    ASSERT_EQ(GetSerialData(rest, sizeof rest, &count), 0u);
    EXPECT_EQ(count, 0u) << "a rate change drops what was read ahead";
}

TEST_F(SioTest, SendReturnsOnceTheBytesWouldHaveLeftTheLine) {
    ASSERT_TRUE(OpenSerialPort(kPort, 9600, 0));
    const std::vector<uint8_t> bytes(96, 0x55); // 100 ms at 9600 baud
    uint32_t written = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(SendSerialDataBlock(bytes.data(), 96, &written), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));
    EXPECT_EQ(written, 96u);
    EXPECT_EQ(peer_->Read(96, std::chrono::milliseconds(1000)), bytes);
}

TEST_F(SioTest, WaitingForInputBlocksUntilDataOrDeadline) {
    auto waited = [](uint32_t ms) {
        const auto start = std::chrono::steady_clock::now();
        const bool readable = WaitSerialReadable(ms);
        return std::make_pair(readable, std::chrono::steady_clock::now() - start);
    };
    auto [noPortReadable, noPortTime] = waited(50);
    EXPECT_FALSE(noPortReadable);
    EXPECT_GE(noPortTime, std::chrono::milliseconds(50));

    ASSERT_TRUE(OpenSerialPort(kPort, 115200, 0));
    auto [idleReadable, idleTime] = waited(50);
    EXPECT_FALSE(idleReadable);
    EXPECT_GE(idleTime, std::chrono::milliseconds(49));

    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        peer_->Write({1});
    });
    auto [readable, time] = waited(5000);
    writer.join();
    EXPECT_TRUE(readable);
    EXPECT_LT(time, std::chrono::milliseconds(4000));
}

TEST_F(SioTest, ShowSerialControlSettingsPrintsTheRecordOfAClosedPort) {
    EXPECT_EQ(ShowSerialControlSettings(0), 0u);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ShowSerialControlSettings(kPort), 1u);
    const std::string shown = ::testing::internal::GetCapturedStdout();
    EXPECT_THAT(shown, StartsWith("\nThe DCB structure defines the control setting for a serial "
                                  "communications device. \n0000001C DWORD DCBlength;"));
    EXPECT_THAT(shown,
                HasSubstr("\n00000008 BYTE  ByteSize;           : number of bits/byte, 4-8"));
    EXPECT_THAT(shown, HasSubstr("\nFFFFFFFF  DWORD ReadIntervalTimeout                   :   "));
    EXPECT_EQ(OpenPort(), kNoPort) << "the dump closes what it opened";

    ArmFault(Fault::PortClearErrors, 1);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ShowSerialControlSettings(kPort), 1u);
    ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(TraceOf("Error: ClearCommError()", "ShowSerialControlSettings").empty());

    ASSERT_TRUE(OpenSerialPort(kPort, 9600, 0));
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ShowSerialControlSettings(kPort), 1u);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}
