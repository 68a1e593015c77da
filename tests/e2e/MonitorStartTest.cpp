// Starting the monitor on every kind of target against the virtual board's
// boot loaders: downloads, the rate steps the board checks, the ATmega
// search, the failures the boot loaders can cause, and monitors supplied
// from a directory.
#include "BoardFixture.h"
#include "MonitorFormat.h"
#include "api/FLoader.h"
#include "boot/BootLoader.h"
#include "boot/MonitorImages.h"
#include "frame/ThreadContext.h"
#include "link/BusAccess.h"
#include "link/MailPrimitives.h"
#include "link/Primitives.h"
#include "serial/Sio.h"
#include "serial/SioPlatform.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

using ::testing::Contains;
using ::testing::Not;

namespace {

constexpr uint32_t kDuplex = 2;

bool Has(const std::vector<uint16_t>& codes, uint16_t code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace

class MonitorStartTest : public BoardTest {
  protected:
    void StartBootLoader(int type, vtarget::BoardOptions options = {}) {
        options.targetType = type;
        options.monitorRunning = false;
        StartBoard(options);
    }

    static std::vector<uint16_t> Codes() {
        std::vector<uint16_t> codes;
        for (const auto& i : Indications()) {
            codes.push_back(i.code);
        }
        return codes;
    }

    // A write and read back through the started monitor at the PC's rate,
    // at an address that is RAM on every board (the S3C44B0X has its flash
    // at 0).
    static void ExpectMonitorAnswers() {
        constexpr uint32_t kRamAddress = 0x0C002000;
        const uint16_t word = 0xA55A;
        ASSERT_EQ(MonWriteMem16(kRamAddress, 1, &word), 0u);
        uint16_t back = 0;
        ASSERT_EQ(MonReadMem16(kRamAddress, 1, &back), 0u);
        EXPECT_EQ(back, word);
    }
};

// Every type with a boot procedure, at three working rates.
struct StartCase {
    int type;
    uint32_t rate;
};

class EveryTargetTest : public MonitorStartTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(EveryTargetTest, MonitorRunsAtTheWorkingRate) {
    const auto [type, rate] = GetParam();
    StartBootLoader(type);
    ASSERT_EQ(TM_StartMonitorProgram(kPort, kDuplex, rate, static_cast<uint32_t>(type)), 0u);
    ExpectMonitorAnswers();
    EXPECT_EQ(Board().ExpectedBaudRate(), rate);
    EXPECT_EQ(Board().GarbledBytes(), 0u) << "the PC talked at a rate the board did not expect";

    const auto rates = Board().RateHistory();
    ASSERT_FALSE(rates.empty());
    EXPECT_EQ(rates.back(), rate);
    const bool steps = (type >= 5 && type <= 7) || type == 20 || type == 21 || type == 23;
    if (steps) {
        ASSERT_GE(rates.size(), 3u);
        EXPECT_EQ(rates[0], type <= 7 ? 8600u : 11520u);
        EXPECT_EQ(rates[1], 9600u);
    }
    const auto codes = Codes();
    const bool chip = type != 10 && type != 14 && type != 17 && type != 18 && type != 22;
    EXPECT_EQ(Has(codes, DOWNLOAD_SUCCESS_IND), chip);
    EXPECT_EQ(Has(codes, TARGET_FOUND_IND), type == 18 || type == 22);
    EXPECT_EQ(Has(codes, COM_PORT_FOUND_IND), type == 10 || type == 17);
    if (type == 10 || type == 17) {
        const auto requests = ReceivedCodes();
        EXPECT_EQ(std::count(requests.begin(), requests.end(), SET_BAUDRATE_REQ),
                  rate == 115200 ? 0 : 1)
            << "an ATmega already at 115200 is not moved";
    }
}

std::vector<StartCase> AllStartCases() {
    std::vector<StartCase> cases;
    for (int type : {0, 1, 2, 3, 5, 6, 7, 10, 11, 12, 13, 14, 16, 17, 18, 19, 20, 21, 22, 23}) {
        for (uint32_t rate : {57600u, 115200u, 230400u}) {
            cases.push_back({type, rate});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Types, EveryTargetTest, ::testing::ValuesIn(AllStartCases()),
                         [](const ::testing::TestParamInfo<StartCase>& info) {
                             return "Type" + std::to_string(info.param.type) + "At" +
                                    std::to_string(info.param.rate);
                         });

// Types the session refuses still boot when asked directly.
TEST_F(MonitorStartTest, RefusedTypesBootThroughStartMonitor) {
    for (int type : {4, 8, 9}) {
        StartBootLoader(type);
        ASSERT_EQ(StartMonitor(kPort, kDuplex, 115200, static_cast<uint32_t>(type)), 0u)
            << "type " << type;
        ExpectMonitorAnswers();
        EXPECT_EQ(Board().GarbledBytes(), 0u);
        CloseAccessPort();
    }
}

TEST_F(MonitorStartTest, TypesWithoutBootProcedureAreUnknown) {
    for (uint32_t type : {15u, 24u, 0xFFFFu}) {
        EXPECT_EQ(TM_StartMonitorProgram(kPort, kDuplex, 115200, type), 1u);
    }
    EXPECT_EQ(Codes(), std::vector<uint16_t>(3, LOADER_ID_UNKNOWN_IND));
    EXPECT_EQ(Ctx().serial.port, kNoPort);
}

TEST_F(MonitorStartTest, WrongPromptFailsTheDownload) {
    vtarget::BoardOptions options;
    options.bootPrompt = 0x03;
    StartBootLoader(0, options);
    ASSERT_EQ(OpenAccessPort(kPort, 9600, kDuplex, 0), 1u);
    EXPECT_EQ(BootDownload(0, 8), 5u);
    CloseAccessPort();

    EXPECT_EQ(StartMonitor(kPort, kDuplex, 115200, 0), 1u);
    EXPECT_THAT(Codes(), Contains(DOWNLOAD_FAILED_IND));
    EXPECT_EQ(Ctx().serial.port, kNoPort) << "a failed chip download closes the port";
}

TEST_F(MonitorStartTest, BadArgumentsAndSilenceOfTheBootLoader) {
    EXPECT_EQ(BootDownload(0, 0), 1u);
    EXPECT_EQ(BootDownload(0, 10), 1u);
    EXPECT_EQ(BootDownload(3, 8), 1u) << "an ARM image is not for the chip boot loader";
    EXPECT_EQ(ArmBootDownload(0), 1u);

    StartBootLoader(10); // mails only: never prompts
    ASSERT_EQ(OpenAccessPort(kPort, 9600, kDuplex, 0), 1u);
    EXPECT_EQ(BootDownload(0, 8), 2u);
}

TEST_F(MonitorStartTest, MissedChecksumIsRetriedWithShortPacing) {
    vtarget::BoardOptions options;
    options.withheldChecksums = 1;
    StartBootLoader(0, options);
    ASSERT_EQ(StartMonitor(kPort, kDuplex, 115200, 0), 0u);
    ExpectMonitorAnswers();
    EXPECT_THAT(Codes(), Contains(DOWNLOAD_SUCCESS_IND));
}

TEST_F(MonitorStartTest, SecondMissedChecksumFails) {
    vtarget::BoardOptions options;
    options.withheldChecksums = 2;
    StartBootLoader(0, options);
    EXPECT_EQ(StartMonitor(kPort, kDuplex, 115200, 0), 1u);
    EXPECT_THAT(Codes(), Contains(DOWNLOAD_FAILED_IND));
    EXPECT_THAT(Codes(), Not(Contains(DOWNLOAD_SUCCESS_IND)));
}

TEST_F(MonitorStartTest, RefusedArmHeader) {
    vtarget::BoardOptions options;
    options.refuseArmHeader = true;
    StartBootLoader(18, options);
    ASSERT_EQ(OpenAccessPort(kPort, 115200, kDuplex, 2), 1u);
    EXPECT_EQ(ArmBootDownload(3), 8u);
    EXPECT_THAT(Codes(), Contains(TARGET_FOUND_IND));
}

// A board that was found but whose start then fails is reported as a
// failed download, so that no session ends without a reason.
TEST_F(MonitorStartTest, FailedStartsOfFoundBoardsAreReported) {
    vtarget::BoardOptions refusing;
    refusing.refuseArmHeader = true;
    StartBootLoader(18, refusing);
    EXPECT_EQ(StartMonitor(kPort, kDuplex, 115200, 18), 1u);
    EXPECT_EQ(Codes(), (std::vector<uint16_t>{TARGET_FOUND_IND, DOWNLOAD_FAILED_IND}));

    vtarget::BoardOptions silent;
    silent.faults.silentAfter = 0;
    StartBootLoader(10, silent);
    SetBootLoaderTimeout(2);
    EXPECT_EQ(StartMonitor(kPort, kDuplex, 115200, 10), 1u);
    SetBootLoaderTimeout(kDefaultBootLoaderTimeoutMs / 1000);
    EXPECT_EQ(Codes(),
              (std::vector<uint16_t>{TARGET_FOUND_IND, DOWNLOAD_FAILED_IND, COM_PORT_SEARCHING_IND,
                                     COM_PORT_FOUND_IND, DOWNLOAD_FAILED_IND}));
}

TEST_F(MonitorStartTest, HexMonitorIsSentWithoutItsEndMark) {
    StartBootLoader(14);
    StartTrace(0x04);
    ASSERT_EQ(StartMonitor(kPort, kDuplex, 115200, 14), 0u) << TraceText();
    const auto stored = BuiltInMl675001Monitor();
    ASSERT_EQ(stored.size(), monitors::kMl675001TextSize + 1);
    EXPECT_EQ(stored.back(), 0xFF);
    const auto received = Board().ReceivedImage();
    EXPECT_EQ(received.size(), monitors::kMl675001TextSize);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), stored.begin()));
    EXPECT_THAT(TraceText(), ::testing::HasSubstr("\nDownload Monitor program. Code size = 16087"));
    DeviceControl dcb;
    ASSERT_TRUE(PortGetState(Ctx().serial.port, dcb));
    EXPECT_EQ(dcb.flags & DCB_OUTX, 0u) << "flow control ends with the download";
    ExpectMonitorAnswers();
}

TEST_F(MonitorStartTest, ControlLinesAreDrivenAgainAfterEachRateChange) {
    vtarget::BoardOptions options;
    options.echo = true;
    StartBootLoader(5, options);
    ASSERT_EQ(StartMonitor(kPort, 1, 115200, 5), 0u) << "single wire, with echo";
    const auto lines = LineIndications();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), COMPORT_CTRL_DTR_SET), 3)
        << "at the open, at 9600 and at the working rate";
    ExpectMonitorAnswers();
}

TEST_F(MonitorStartTest, AtmegaVersionAndRateChangeInTheTrace) {
    vtarget::BoardOptions options;
    options.version = 0x0123;
    StartBootLoader(17, options);
    StartTrace(0x04);
    ASSERT_EQ(StartMonitor(kPort, kDuplex, 57600, 17), 0u);
    EXPECT_THAT(TraceText(), ::testing::HasSubstr("\n### Bootloader (version = 0123) is running "
                                                  "....###\n### Change bootloader baudrate ###"));
}

TEST_F(MonitorStartTest, AtmegaSearchWithoutTimeEndsAtOnce) {
    SetBootLoaderTimeout(0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StartMonitor(kPort, kDuplex, 115200, 10), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(Codes(),
              (std::vector<uint16_t>{COM_PORT_SEARCHING_IND, COM_PORT_SEARCHING_TIMEOUT_IND}));
    EXPECT_FALSE(Ctx().link.searching);
    SetBootLoaderTimeout(kDefaultBootLoaderTimeoutMs / 1000);
}

TEST_F(MonitorStartTest, AtmegaSearchFindsABoardThatAppearsLater) {
    const std::string link = dir_->file("late-board");
    ComPortMapping mapping(kPort, link);
    vtarget::BoardOptions options;
    options.targetType = 10;
    options.linkPath = link;
    vtarget::Board board(options);
    std::thread plugIn([&board] {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        std::string error;
        board.Start(error);
    });
    const uint32_t result = StartMonitor(kPort, kDuplex, 115200, 10);
    plugIn.join();
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(Codes(), (std::vector<uint16_t>{COM_PORT_SEARCHING_IND, COM_PORT_FOUND_IND}))
        << "failed opens while searching are not reported";
    CloseAccessPort();
}

TEST_F(MonitorStartTest, NarrowedTraceDuringTheStart) {
    StartBootLoader(10);
    SetDebug(DEBUG_NARROW_MONITOR | DEBUG_MAIL_TRACE | DEBUG_TX_DUMP);
    StartTrace(DebugMask);
    ASSERT_EQ(StartMonitorNarrowed(kPort, kDuplex, 115200, 10), 0u);
    EXPECT_EQ(Ctx().trace.mask, DebugMask.load()) << "restored afterwards";
    const std::string during = TraceText();
    EXPECT_THAT(during, ::testing::HasSubstr("<TX: "));
    EXPECT_THAT(during, Not(::testing::HasSubstr("GET_VERSION_REQ")));
    uint8_t byte = 0;
    EXPECT_EQ(MonReadByte(0, &byte), 0u);
    EXPECT_THAT(TraceText(), ::testing::HasSubstr("READ_MEM8_REQ"));
    SetDebug(0);
}

class MonitorDirTest : public MonitorStartTest {
  protected:
    void SetUp() override {
        MonitorStartTest::SetUp();
        monitorDir_ = dir_->file("monitors");
        std::filesystem::create_directory(monitorDir_);
        setenv("ULVEX_MONITOR_DIR", monitorDir_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ULVEX_MONITOR_DIR");
        MonitorStartTest::TearDown();
    }
    std::string monitorDir_;
};

TEST_F(MonitorDirTest, ImageFromTheDirectoryIsTheOneDownloaded) {
    auto image = std::vector<uint8_t>(BuiltInMonitorImage(1).begin(), BuiltInMonitorImage(1).end());
    image[12] ^= 0x5A; // another build of the same monitor
    image.back() ^= 0xFF;
    WriteFile(monitorDir_ + "/monitor1.bin", image);
    StartBootLoader(3);
    ASSERT_EQ(StartMonitor(kPort, kDuplex, 115200, 3), 0u);
    EXPECT_EQ(Board().ReceivedImage(), image);
    ExpectMonitorAnswers();
}

TEST_F(MonitorDirTest, MissingMonitorFileIsReported) {
    StartBootLoader(18);
    EXPECT_EQ(StartMonitor(kPort, kDuplex, 115200, 18), 1u);
    EXPECT_THAT(Codes(), Contains(DOWNLOAD_FAILED_IND));
    EXPECT_THAT(ErrorTraces(), Contains(::testing::HasSubstr(monitorDir_ + "/monitor3.bin")));

    StartBootLoader(14);
    EXPECT_EQ(StartMonitor(kPort, kDuplex, 115200, 14), 1u);
    EXPECT_THAT(ErrorTraces(),
                Contains(::testing::HasSubstr(monitorDir_ + "/ml675001_monitor.hex")));
    EXPECT_EQ(Board().BytesReceived(), 0u) << "nothing is sent without a monitor";
}

TEST_F(MonitorStartTest, RomDownloadOfAUserFileClosesThePortAfterwards) {
    StartBootLoader(15);
    const std::string text = ":020000040000FA\r\n:0400100001020304E2\r\n:00000001FF\r\n";
    const std::vector<uint8_t> bytes(text.begin(), text.end());
    EXPECT_EQ(Ml675001OpenDownloadClose(kPort, kDuplex, 115200, bytes.data(),
                                        static_cast<uint32_t>(bytes.size())),
              0u);
    EXPECT_EQ(Ctx().serial.port, kNoPort);
    EXPECT_EQ(Board().ReceivedImage(), bytes);

    Board().Stop();
    EXPECT_EQ(Ml675001OpenDownloadClose(kPort, kDuplex, 115200, bytes.data(),
                                        static_cast<uint32_t>(bytes.size())),
              1u)
        << "no port";
    EXPECT_THAT(Codes(), Contains(COM_PORT_ACCESS_FAIL_IND));
}
