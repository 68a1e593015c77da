// The test-mode exports against a virtual board whose monitor runs: memory,
// flash and CRC requests, the access port and its control lines, raw bytes,
// and the per-thread context a host's test session lives in.
#include "BoardFixture.h"
#include "MailFrames.h"
#include "frame/Faults.h"
#include "frame/ThreadContext.h"
#include "image/Crc32.h"
#include "link/BusAccess.h"
#include "link/MailPrimitives.h"
#include "serial/SioPlatform.h"

#include <gmock/gmock.h>
#include <thread>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class TestModeLinkTest : public BoardTest {
  protected:
    // A board whose monitor already runs, reached with TM_OpenAccessPort.
    void StartMonitorBoard(vtarget::BoardOptions options = {}) {
        options.monitorRunning = true;
        options.plainMemory = true;
        StartBoard(options);
    }
    bool OpenMonitorBoard() {
        StartMonitorBoard();
        return TM_OpenAccessPort(kPort, kFastRate, kBusModeDuplex) == ACCESS_PORT_OPEN;
    }

    static uint32_t PcPortRate() {
        DeviceControl dcb;
        EXPECT_TRUE(PortGetState(Ctx().serial.port, dcb));
        return dcb.baudRate;
    }

    // Board calls return as soon as the bytes are written; the board thread
    // takes a moment to act on them: it counts a mail before it carries it
    // out.
    template <typename Done>
    static bool WaitFor(Done done) {
        for (int i = 0; i < 1000 && !done(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return done();
    }
};

TEST_F(TestModeLinkTest, BytesAndWordsRoundTrip) {
    ASSERT_TRUE(OpenMonitorBoard());
    const auto bytes = testfiles::RandomBytes(600, 11);
    EXPECT_EQ(TM_WriteMemory8(0x1000, 300, bytes.data()), MAIL_NO_ERROR);
    EXPECT_EQ(TM_WriteMemory8_NoConfirm(0x1000 + 300, 300, bytes.data() + 300), MAIL_NO_ERROR);
    std::vector<uint8_t> back(600);
    EXPECT_EQ(TM_ReadMemory8(0x1000, 600, back.data()), MAIL_NO_ERROR);
    EXPECT_EQ(back, bytes);

    const std::vector<uint16_t> words{0x1122, 0x3344, 0x5566, 0x7788};
    EXPECT_EQ(TM_WriteMemory16(0x2000, 2, words.data()), MAIL_NO_ERROR);
    EXPECT_EQ(TM_WriteMemory16_NoConfirm(0x2004, 2, words.data() + 2), MAIL_NO_ERROR);
    std::vector<uint16_t> wordsBack(4);
    EXPECT_EQ(TM_ReadMemory16(0x2000, 4, wordsBack.data()), MAIL_NO_ERROR);
    EXPECT_EQ(wordsBack, words);

    // Values and read counts beyond their width lose the high bits.
    EXPECT_EQ(TM_Wr16(0x3000, 0xABCDBEEF), MAIL_NO_ERROR);
    EXPECT_EQ(TM_Wr8(0x3002, 0x1A5), MAIL_NO_ERROR);
    uint16_t word = 0;
    uint8_t byte = 0;
    EXPECT_EQ(TM_Rd16(0x3000, &word), MAIL_NO_ERROR);
    EXPECT_EQ(TM_Rd8(0x3002, &byte), MAIL_NO_ERROR);
    EXPECT_EQ(word, 0xBEEF);
    EXPECT_EQ(byte, 0xA5);
    std::vector<uint8_t> three(3, 0);
    EXPECT_EQ(TM_ReadMemory8(0x3000, 0x10003, three.data()), MAIL_NO_ERROR);
    EXPECT_EQ(three, (std::vector<uint8_t>{0xEF, 0xBE, 0xA5}));
    EXPECT_EQ(TM_ReadMemory16(0x3000, 0x20001, &word), MAIL_NO_ERROR);
    EXPECT_EQ(Board().Mails().back().payload,
              (std::vector<uint8_t>{READ_MEM16_REQ, 0x00, 0x30, 0, 0, 0x01, 0x00}));
}

TEST_F(TestModeLinkTest, ReadsBeyondOneMailAreRefusedUnsent) {
    ASSERT_TRUE(OpenMonitorBoard());
    std::vector<uint8_t> bytes(4347);
    std::vector<uint16_t> words(2174);
    EXPECT_EQ(TM_ReadMemory8(0, 4346, bytes.data()), MAIL_NO_ERROR);
    EXPECT_EQ(TM_ReadMemory16(0, 2173, words.data()), MAIL_NO_ERROR);
    const size_t mails = Board().MailCount();
    EXPECT_EQ(TM_ReadMemory8(0, 4347, bytes.data()), MAIL_DATA_REQ_LENGTH_TOO_LONG);
    EXPECT_EQ(TM_ReadMemory16(0, 2174, words.data()), MAIL_DATA_REQ_LENGTH_TOO_LONG);
    EXPECT_EQ(Board().MailCount(), mails);
}

TEST_F(TestModeLinkTest, NullHostPointersAreRefusedUnsent) {
    ASSERT_TRUE(OpenMonitorBoard());
    constexpr uint32_t kRefused = MAIL_UNEXPECTED_RETURN_VALUE;
    uint16_t word = 0;
    EXPECT_EQ(TM_ReadMemory8(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_ReadMemory16(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_WriteMemory8(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_WriteMemory8_NoConfirm(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_WriteMemory16(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_WriteMemory16_NoConfirm(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_WriteIntFlash16(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_WriteExtFlash16(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_WriteExtFlash16_2(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_WriteIntFlash8(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_WriteExtFlash8(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_Rd8(0, nullptr), kRefused);
    EXPECT_EQ(TM_Rd16(0, nullptr), kRefused);
    EXPECT_EQ(TM_CalcCRC32(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_CalcChecksum(0, 1, nullptr), kRefused);
    EXPECT_EQ(TM_ExtFlashTypeInfo(nullptr, &word), kRefused);
    EXPECT_EQ(TM_ExtFlashTypeInfo(&word, nullptr), kRefused);
    EXPECT_EQ(TM_SendSerialData(nullptr, 4), 1u);
    EXPECT_EQ(Board().BytesReceived(), 0u);
}

TEST_F(TestModeLinkTest, TargetCrcAndChecksumMatchTheHostsOwn) {
    ASSERT_TRUE(OpenMonitorBoard());
    const auto bytes = testfiles::RandomBytes(2048, 5);
    Board().WriteMemory(0x6000, bytes);
    uint32_t crc = 0;
    uint32_t sum = 0;
    EXPECT_EQ(TM_CalcCRC32(0x6000, 0x6000 + 2047, &crc), MAIL_NO_ERROR);
    EXPECT_EQ(crc, CalcCrc32(bytes.data(), 2048));
    EXPECT_EQ(TM_CalcChecksum(0x6000, 0x6000 + 2047, &sum), MAIL_NO_ERROR);
    uint32_t expected = 0;
    for (uint8_t b : bytes) {
        expected += b;
    }
    EXPECT_EQ(sum, expected);
}

TEST_F(TestModeLinkTest, FlashEraseAndControlRequestsReachTheMonitor) {
    ASSERT_TRUE(OpenMonitorBoard());
    const uint16_t words[2] = {0x0201, 0x0403};
    EXPECT_EQ(TM_WriteIntFlash16(0x100, 2, words), MAIL_NO_ERROR);
    EXPECT_EQ(TM_WriteExtFlash16(0x200, 2, words), MAIL_NO_ERROR);
    EXPECT_EQ(TM_WriteExtFlash16_2(0x300, 2, words), MAIL_NO_ERROR);
    for (uint32_t at : {0x100u, 0x200u, 0x300u}) {
        EXPECT_EQ(Board().ReadMemory(at, 4), (std::vector<uint8_t>{1, 2, 3, 4})) << at;
    }
    EXPECT_EQ(TM_SetExtFlashProgCMDAddress(0x1000000, 0x1005554, 0x100AAAA), MAIL_NO_ERROR);
    EXPECT_EQ(TM_ExtFlashSectorErase(0x10000), MAIL_NO_ERROR);
    EXPECT_EQ(TM_ExtFlashBlockErase(0x20000), MAIL_NO_ERROR);
    EXPECT_EQ(TM_ExtFlashChipErase(), MAIL_NO_ERROR);
    uint16_t manufacturer = 0;
    uint16_t device = 0;
    EXPECT_EQ(TM_ExtFlashTypeInfo(&manufacturer, &device), MAIL_NO_ERROR);
    EXPECT_EQ(manufacturer, 0x0001);
    EXPECT_EQ(device, 0x2249);
    EXPECT_EQ(TM_SetConfiguration(1), MAIL_NO_ERROR);
    EXPECT_EQ(TM_GoFromAddress(0x8000), MAIL_NO_ERROR);
    EXPECT_THAT(ReceivedCodes(),
                ElementsAre(PROG_INT_FLASH_REQ, PROG_EXT_FLASH_REQ, PROG_EXT_2FLASH8_REQ,
                            SET_FLASH_PROG_CMD_ADDRESS_REQ, EXT_SECTOR_ERASE_REQ,
                            EXT_BLOCK_ERASE_REQ, EXT_CHIP_EREASE_REQ, EXT_FLASH_TYPE_REQ,
                            SET_CONFIG_REQ, GO_FROM_ADDRESS_REQ));
    const auto mails = Board().Mails();
    EXPECT_EQ(mails[3].payload,
              (std::vector<uint8_t>{SET_FLASH_PROG_CMD_ADDRESS_REQ, 0x00, 0x00, 0x00, 0x01, 0x54,
                                    0x55, 0x00, 0x01, 0xAA, 0xAA, 0x00, 0x01}));
    EXPECT_EQ(mails[8].payload, (std::vector<uint8_t>{SET_CONFIG_REQ, 1, 0, 0, 0}));
}

TEST_F(TestModeLinkTest, EightBitFlashExportsSendBytes) {
    vtarget::BoardOptions options;
    options.targetType = 3; // MERV: its monitor counts bytes
    StartMonitorBoard(options);
    ASSERT_EQ(TM_OpenAccessPort(kPort, kFastRate, kBusModeDuplex), ACCESS_PORT_OPEN);
    const uint8_t bytes[3] = {9, 8, 7};
    EXPECT_EQ(TM_WriteIntFlash8(0x40, 3, bytes), MAIL_NO_ERROR);
    EXPECT_EQ(TM_WriteExtFlash8(0x50, 3, bytes), MAIL_NO_ERROR);
    EXPECT_EQ(Board().ReadMemory(0x40, 3), (std::vector<uint8_t>{9, 8, 7}));
    EXPECT_EQ(Board().ReadMemory(0x50, 3), (std::vector<uint8_t>{9, 8, 7}));
}

// The monitor confirms with status 1 and moves to the new rate; the PC's
// port must stay at the rate it was opened with.
TEST_F(TestModeLinkTest, SetBaudrateMovesTheMonitorOnly) {
    ASSERT_TRUE(OpenMonitorBoard());
    ASSERT_EQ(PcPortRate(), kFastRate);
    EXPECT_EQ(TM_SetBaudrate(115200), MAIL_NO_ERROR);
    EXPECT_EQ(Board().ExpectedBaudRate(), 115200u);
    EXPECT_EQ(PcPortRate(), kFastRate);
}

TEST_F(TestModeLinkTest, OpenFailsOnAMissingPortAndTellsTheHost) {
    ComPortMapping missing(kPort, "/nonexistent/port");
    EXPECT_EQ(TM_OpenAccessPort(kPort, 9600, kBusModeDuplex), ACCESS_PORT_FAILED);
    EXPECT_EQ(TM_OpenAccessPortEx(kPort, 9600, kBusModeDuplex, 2, 0, 0), ACCESS_PORT_FAILED);
    int failures = 0;
    for (const auto& i : Indications()) {
        failures += i.code == COM_PORT_ACCESS_FAIL_IND;
    }
    EXPECT_EQ(failures, 2);
    EXPECT_EQ(TM_CloseAccessPort(), 1u);
}

TEST_F(TestModeLinkTest, OpenExUsesTheLowByteOfTheStopBitCode) {
    StartMonitorBoard();
    ASSERT_EQ(TM_OpenAccessPortEx(0x100 + kPort, kFastRate, kBusModeDuplex, 0x102, 7, 7),
              ACCESS_PORT_OPEN);
    DeviceControl dcb;
    ASSERT_TRUE(PortGetState(Ctx().serial.port, dcb));
    EXPECT_EQ(dcb.stopBits, 2);
    uint8_t byte = 0;
    EXPECT_EQ(TM_Rd8(0, &byte), MAIL_NO_ERROR);
    EXPECT_EQ(TM_CloseAccessPort(), 1u);
    EXPECT_EQ(Ctx().lines.port, PORT_CLOSED);
}

TEST_F(TestModeLinkTest, DtrSetBeforeOpenIsAppliedAndReportedAtOpen) {
    StartMonitorBoard();
    EXPECT_EQ(TM_SetDTR(), 1u);
    EXPECT_TRUE(LineIndications().empty());
    EXPECT_TRUE(TakeEscapeCalls().empty());
    ASSERT_EQ(TM_OpenAccessPort(kPort, kFastRate, kBusModeDuplex), ACCESS_PORT_OPEN);
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_SETDTR));
    EXPECT_THAT(LineIndications(), ElementsAre(COMPORT_CTRL_DTR_SET));
}

TEST_F(TestModeLinkTest, LineOperationsOnAnOpenPortAreDrivenAndReported) {
    ASSERT_TRUE(OpenMonitorBoard());
    EXPECT_TRUE(TakeEscapeCalls().empty()) << "duplex opens without touching the lines";
    for (auto line : {TM_SetDTR, TM_ClrDTR, TM_SetRTS, TM_ClrRTS, TM_SetBREAK, TM_ClrBREAK}) {
        EXPECT_EQ(line(), 1u);
    }
    EXPECT_THAT(TakeEscapeCalls(), ElementsAre(ESCAPE_SETDTR, ESCAPE_CLRDTR, ESCAPE_SETRTS,
                                               ESCAPE_CLRRTS, ESCAPE_SETBREAK, ESCAPE_CLRBREAK));
    EXPECT_THAT(LineIndications(),
                ElementsAre(COMPORT_CTRL_DTR_SET, COMPORT_CTRL_DTR_CLR, COMPORT_CTRL_RTS_SET,
                            COMPORT_CTRL_RTS_CLR, COMPORT_CTRL_BREAK_SET, COMPORT_CTRL_BREAK_CLR));
}

// A frame built by the host goes out byte for byte: the board sees the
// host's own sequence number and carries the request out.
TEST_F(TestModeLinkTest, SendSerialDataSendsTheBytesUnframed) {
    ASSERT_TRUE(OpenMonitorBoard());
    const auto frame =
        testframes::Frame(0x5C, {WRITE_MEM8_REQ, 0x00, 0x70, 0, 0, 0x02, 0x00, 0xC3, 0x3C});
    EXPECT_EQ(TM_SendSerialData(frame.data(), static_cast<uint32_t>(frame.size())), 1u);
    ASSERT_TRUE(WaitFor([this] {
        return Board().ReadMemory(0x7000, 2) == std::vector<uint8_t>{0xC3, 0x3C};
    })) << "the board carries out the write";
    ASSERT_EQ(Board().MailCount(), 1u);
    EXPECT_EQ(Board().Mails()[0].sequence, 0x5C);
    EXPECT_EQ(Board().BytesReceived(), frame.size());

    ArmFault(Fault::PortWrite, 1);
    EXPECT_EQ(TM_SendSerialData(frame.data(), static_cast<uint32_t>(frame.size())), 1u)
        << "a failed write is not reported to the host";
    EXPECT_EQ(Board().BytesReceived(), frame.size());
}

// The mails, the byte dump and a failed raw write land in the test-mode log.
TEST_F(TestModeLinkTest, TestModeLogRecordsTheLinkTraffic) {
    StartMonitorBoard();
    SetDebug(DEBUG_MAIL_TRACE | DEBUG_TX_DUMP);
    ASSERT_EQ(TM_InitTestMode(3), 0u);
    ASSERT_EQ(TM_OpenAccessPort(kPort, kFastRate, kBusModeDuplex), ACCESS_PORT_OPEN);
    uint8_t byte = 0;
    EXPECT_EQ(TM_Rd8(0x1234, &byte), MAIL_NO_ERROR);
    const uint8_t raw[3] = {0x01, 0x02, 0x03};
    TM_SendSerialData(raw, 3);
    ArmFault(Fault::PortWrite, 1);
    TM_SendSerialData(raw, 3);
    TM_CloseAccessPort();
    TM_StopTestMode();

    const std::string log = testfiles::ReadFile("TestMode_3.log");
    EXPECT_THAT(log, HasSubstr("<-- Lg[010] [00 00 00] READ_MEM8_REQ [(00001234).(0001)"));
    EXPECT_THAT(log, HasSubstr("--> Lg[005] [00 00 00] READ_MEM8_RES ["));
    EXPECT_THAT(log, HasSubstr("\n<TX: 01 02 03 >"));
    EXPECT_THAT(log, HasSubstr("## ERROR ## SendRawData() in Line("));
}

// The port belongs to the thread that opened it: another thread has a fresh
// context whose requests cannot reach the board and whose close and line
// operations leave the first thread's port alone.
TEST_F(TestModeLinkTest, AnotherThreadDoesNotSeeTheOpenPort) {
    ASSERT_TRUE(OpenMonitorBoard());
    uint32_t readResult = 0;
    uint16_t otherPortState = 0;
    std::thread other([&] {
        TM_InitTestMode(8);
        otherPortState = Ctx().lines.port;
        uint8_t byte = 0;
        readResult = TM_Rd8(0, &byte);
        TM_SetRTS();
        TM_CloseAccessPort();
        TM_StopTestMode();
    });
    other.join();
    EXPECT_EQ(otherPortState, PORT_NEVER_OPENED);
    EXPECT_EQ(readResult, MAIL_WRONG_RESPONSE_PRIMITIVE) << "no port to write to";
    EXPECT_EQ(Board().MailCount(), 0u);
    EXPECT_TRUE(LineIndications().empty());

    EXPECT_EQ(Ctx().lines.port, PORT_OPEN);
    uint8_t byte = 0;
    EXPECT_EQ(TM_Rd8(0, &byte), MAIL_NO_ERROR);
    EXPECT_EQ(Board().MailCount(), 1u);
}
