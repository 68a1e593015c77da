// The chip and ARM boot loaders over the board's pseudo-terminal, the PC's
// side played by hand: prompt, header, image, checksum and what follows.
#include "BootFixture.h"

#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using vtarget::Stage;

class ImageBootTest : public BootTest {};

TEST_F(ImageBootTest, ChipDownloadRunsTheMonitorAtTheBootRate) {
    StartBootLoader(13);
    EXPECT_EQ(board_->CurrentStage(), Stage::BootLoader);
    const auto image = MonitorImage(0, 200);
    EXPECT_EQ(Download(image), Stage::Monitor);
    EXPECT_EQ(board_->ReceivedImage(), image);
    EXPECT_EQ(Exchange(WriteMem8(0x20, {7})), (std::vector<uint8_t>{4, 1}));
    EXPECT_EQ(Exchange(ReadMem8(0x20, 1)), (std::vector<uint8_t>{2, 7}));
    // Only some chips move to 9600 at SET_CONFIG; this one stays.
    Send(Request(kSetConfig).U32(0));
    EXPECT_TRUE(Exchange(Request(kGetVersion)));
    EXPECT_EQ(board_->RateHistory(), std::vector<uint32_t>{9600});
}

TEST_F(ImageBootTest, IdleBootLoaderPromptsFourTimesASecond) {
    vtarget::BoardOptions options;
    options.bootPrompt = 0x03;
    StartBootLoader(2, options);
    ASSERT_TRUE(SeesPrompt(800ms, 0x03));
    const auto first = Clock::now();
    ASSERT_TRUE(SeesPrompt(800ms, 0x03));
    const auto period = Clock::now() - first;
    EXPECT_GT(period, 200ms);
    EXPECT_LT(period, 350ms);
}

// The PC that saw the checksum but sends no 0x06 gets no prompt during the
// 1000 ms it would wait for a lost checksum, and one within its 800 ms
// wait for a prompt after that.
TEST_F(ImageBootTest, UnacknowledgedChecksumBringsThePromptBackAfterTheHoldOff) {
    StartBootLoader(0);
    const auto image = MonitorImage(0, 64);
    ASSERT_EQ(SendImage(image), XorOf(image));
    const auto checksumAt = Clock::now();
    ASSERT_TRUE(SeesPrompt(2000ms));
    const auto silence = Clock::now() - checksumAt;
    EXPECT_GT(silence, 1200ms);
    EXPECT_LT(silence, 1600ms);
    EXPECT_EQ(board_->CurrentStage(), Stage::BootLoader);
    EXPECT_EQ(Download(image), Stage::Monitor);
}

TEST_F(ImageBootTest, AnyOtherAnswerToTheChecksumKeepsTheBootLoader) {
    StartBootLoader(1);
    const auto image = MonitorImage(0, 64);
    ASSERT_EQ(SendImage(image), XorOf(image));
    ASSERT_TRUE(port_.Write({0x15, kAcknowledge})); // the late 0x06 finds it idle
    EXPECT_TRUE(StaysQuiet(300ms));
    EXPECT_EQ(board_->CurrentStage(), Stage::BootLoader);
}

TEST_F(ImageBootTest, WithheldChecksumIsAnsweredOnThePcsRetry) {
    vtarget::BoardOptions options;
    options.withheldChecksums = 1;
    StartBootLoader(19, options);
    const auto image = MonitorImage(4, 100);
    EXPECT_EQ(SendImage(image), std::nullopt); // nothing, not even a prompt, for 1000 ms
    EXPECT_EQ(Download(image), Stage::Monitor);
}

TEST_F(ImageBootTest, ImageThatStopsArrivingIsGivenUp) {
    StartBootLoader(0);
    const auto image = MonitorImage(0, 64);
    ASSERT_TRUE(SeesPrompt());
    ASSERT_TRUE(port_.Write({0x01, 64, 0}));
    ASSERT_EQ(port_.Read(1, 500ms), std::vector<uint8_t>{kAcknowledge});
    ASSERT_TRUE(port_.Write({image.begin(), image.begin() + 32}));
    std::this_thread::sleep_for(1100ms);
    ASSERT_TRUE(port_.Write({image.begin() + 32, image.end()}));
    EXPECT_TRUE(StaysQuiet(300ms)); // no checksum, and no prompt yet
    EXPECT_TRUE(board_->ReceivedImage().empty());
}

// A chip that jumps into something other than its monitor runs away: it
// neither answers nor prompts any more.
TEST_F(ImageBootTest, DownloadThatIsNotThisChipsMonitorHangsTheBoard) {
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"another kind", MonitorImage(1, 64)},
        {"another size", MonitorImage(0, 64, 2252)},
        {"no header", std::vector<uint8_t>(64, 0x5A)},
    };
    for (const auto& [what, image] : cases) {
        TearDown();
        StartBootLoader(0);
        EXPECT_EQ(Download(image), Stage::Hung) << what;
        Send(Request(kGetVersion));
        EXPECT_TRUE(StaysQuiet(400ms)) << what;
    }
}

TEST_F(ImageBootTest, BytesAtAnotherRateAreGarbledBothWays) {
    StartBootLoader(6); // boots at 8600
    ASSERT_TRUE(port_.SetRate(9600));
    EXPECT_EQ(port_.Read(1, 800ms), std::vector<uint8_t>{0x00}); // the prompt
    ASSERT_TRUE(port_.Write({0x01, 64, 0}));
    // Prompts go on coming, garbled, and nothing else: the header got lost.
    const auto seen = port_.Read(100, 600ms);
    EXPECT_GE(seen.size(), 2u);
    EXPECT_EQ(seen, std::vector<uint8_t>(seen.size(), 0x00));
    EXPECT_GE(board_->GarbledBytes(), 4u);
    ASSERT_TRUE(port_.SetRate(8600));
    EXPECT_TRUE(SeesPrompt());
}

// The ARM boot loader's line has two stop bits; the PC asks for the
// working rate right after its 0x06.
TEST_F(ImageBootTest, ArmDownloadRunsTheMonitor) {
    StartBootLoader(22);
    ASSERT_TRUE(port_.SetRate(115200, true));
    const auto image = MonitorImage(6, 300);
    ASSERT_EQ(SendImage(image), XorOf(image));
    std::vector<uint8_t> bytes{kAcknowledge};
    const auto request = Frame(++sequence_, Request(kSetBaudRate).U32(230400));
    bytes.insert(bytes.end(), request.begin(), request.end());
    ASSERT_TRUE(port_.Write(bytes));
    const auto confirm = ReadAnswer(port_, 1000ms);
    ASSERT_TRUE(confirm);
    EXPECT_EQ(confirm->payload, (std::vector<uint8_t>{34, 1}));
    EXPECT_EQ(board_->CurrentStage(), Stage::Monitor);
    ASSERT_TRUE(port_.SetRate(230400, true));
    EXPECT_TRUE(Exchange(ReadMem8(0, 1)));
    EXPECT_EQ(board_->RateHistory(), (std::vector<uint32_t>{115200, 230400}));
}

TEST_F(ImageBootTest, ArmBootLoaderCanRefuseTheHeader) {
    vtarget::BoardOptions options;
    options.refuseArmHeader = true;
    StartBootLoader(18, options);
    ASSERT_TRUE(port_.SetRate(115200, true));
    ASSERT_TRUE(SeesPrompt());
    ASSERT_TRUE(port_.Write({0x01, 0x98, 0x1D}));
    EXPECT_EQ(port_.Read(1, 500ms), std::vector<uint8_t>{0x15});
    EXPECT_TRUE(SeesPrompt(600ms));
    EXPECT_EQ(board_->CurrentStage(), Stage::BootLoader);
}

TEST_F(ImageBootTest, TypeWithoutBootLoaderDoesNotStart) {
    vtarget::BoardOptions options;
    options.targetType = 24;
    vtarget::Board board(options);
    std::string error;
    EXPECT_FALSE(board.Start(error));
    EXPECT_NE(error.find("target type 24 has no boot loader"), std::string::npos) << error;
}

} // namespace
