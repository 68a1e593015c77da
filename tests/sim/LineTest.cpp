// The serial line between PC and board: echo, the baud rate check, rate
// switching, line timing, the adapter's latency, and the PC side coming
// and going.
#include "BoardFixture.h"
#include "TestFiles.h"

#include <filesystem>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

class LineTest : public BoardTest {};

TEST_F(LineTest, EchoPrecedesTheAnswer) {
    vtarget::BoardOptions options = RunningMonitor();
    options.echo = true;
    StartBoard(options);
    const auto frame = Frame(5, Request(kGetVersion));
    ASSERT_TRUE(port_.Write(frame));
    EXPECT_EQ(port_.Read(frame.size(), 2000ms), frame);
    const auto answer = ReadAnswer(port_, 2000ms);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload[0], 36);
    EXPECT_EQ(board_->BytesReceived(), frame.size());
}

TEST_F(LineTest, RateWithinToleranceIsUnderstood) {
    StartBoard(RunningMonitor());
    ASSERT_TRUE(port_.SetRate(117'000)); // 1.6 % fast
    EXPECT_TRUE(Exchange(Request(kGetVersion)));
    EXPECT_EQ(board_->GarbledBytes(), 0u);
}

TEST_F(LineTest, WrongRateGarblesBothWays) {
    vtarget::BoardOptions options = RunningMonitor();
    options.echo = true;
    StartBoard(options);
    ASSERT_TRUE(port_.SetRate(119'000)); // 3.3 % fast
    const auto frame = Frame(1, Request(kGetVersion));
    ASSERT_TRUE(port_.Write(frame));
    // The echo comes back garbled, and no answer follows it.
    const auto back = port_.ReadUntilQuiet(300ms);
    ASSERT_EQ(back.size(), frame.size());
    EXPECT_NE(back, frame);
    EXPECT_EQ(board_->MailCount(), 0u);
    EXPECT_EQ(board_->GarbledBytes(), 2 * frame.size());
}

TEST_F(LineTest, BaudRateSwitchAnswersAtTheOldRate) {
    StartBoard(RunningMonitor());
    EXPECT_EQ(Confirm(Request(kSetBaudRate).U32(460'800), 34), 1);
    EXPECT_EQ(board_->ExpectedBaudRate(), 460'800u);
    // The PC has not switched yet: its request does not get through.
    Send(Request(kGetVersion));
    EXPECT_TRUE(StaysQuiet());
    EXPECT_GT(board_->GarbledBytes(), 0u);
    ASSERT_TRUE(port_.SetRate(460'800));
    EXPECT_TRUE(Exchange(Request(kGetVersion)));
    // A rate of 0 is refused and changes nothing.
    EXPECT_EQ(Confirm(Request(kSetBaudRate).U32(0), 34), 0);
    EXPECT_EQ(board_->ExpectedBaudRate(), 460'800u);
}

// 1008 bytes at 9600 baud, 10 bits each: 1.05 s on the line.
TEST_F(LineTest, WireTimingPacesTheAnswer) {
    vtarget::BoardOptions options = RunningMonitor();
    options.baudRate = 9600;
    options.wireTiming = true;
    StartBoard(options);
    const auto start = Clock::now();
    const auto answer = Exchange(ReadMem8(0, 1000));
    const auto elapsed = Clock::now() - start;
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->size(), 1001u);
    EXPECT_GE(elapsed, 1000ms);
}

// Two stop bits make each byte 11 bits long: a 114-byte request at 1200
// baud then takes 1.045 s to arrive, against 0.95 s with one stop bit.
TEST_F(LineTest, WireTimingDelaysArrivalByTheLineTime) {
    vtarget::BoardOptions options = RunningMonitor();
    options.baudRate = 1200;
    options.wireTiming = true;
    StartBoard(options);
    ASSERT_TRUE(port_.SetRate(1200, true));
    const auto sent = Clock::now();
    Send(WriteMem8(0x10, std::vector<uint8_t>(100, 1)));
    ASSERT_EQ(board_->MailCount(), 0u); // the frame is still on the line
    ASSERT_TRUE(ReadAnswer(port_, 3000ms));
    const auto mails = board_->Mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_GE(mails[0].at - sent, 1000ms);
}

// At 115200 baud the answer is ready as soon as the request's bytes are
// read, long before they could have come down the line; it leaves only
// once they have, and the recorded line spans cover both directions.
TEST_F(LineTest, WireTimingAnswersOnlyOnceTheRequestHasArrived) {
    vtarget::BoardOptions options = RunningMonitor();
    options.wireTiming = true;
    options.recordSpans = true;
    StartBoard(options);
    const auto request = WriteMem8(0x10, std::vector<uint8_t>(1000, 1));
    const auto requestBytes = Frame(sequence_, request).size();
    const auto sent = Clock::now();
    Send(request);
    const auto answer = ReadAnswer(port_, 3000ms);
    ASSERT_TRUE(answer);
    const auto elapsed = Clock::now() - sent;
    const auto answerBytes = Frame(answer->sequence, answer->payload).size();
    const auto byteTime = std::chrono::nanoseconds(1'000'000'000 / 11'520);
    EXPECT_GE(elapsed, byteTime * static_cast<int64_t>(requestBytes + answerBytes));

    Clock::duration onLine{};
    for (const vtarget::TimeSpan& span : board_->LineSpans()) {
        onLine += span.end - span.begin;
    }
    EXPECT_GE(onLine, byteTime * static_cast<int64_t>(requestBytes + answerBytes - 1));
    EXPECT_LE(onLine, elapsed);
}

// Without line timing the board answers at once, so what keeps the answer
// from the PC is the adapter: it passes on full packets of 62 bytes at once
// and the rest once its latency has run out. The PC looks at what has come
// by peekAt, then reads the rest. Bounds are loose above: the machine may
// be busy, which delays the bytes but never speeds them up.
TEST_F(LineTest, AdapterHoldsShortAnswersForItsLatency) {
    struct Row {
        uint32_t latencyMs;
        uint16_t count; // bytes read back: a frame of count + 8
        std::chrono::milliseconds peekAt;
        size_t byPeek; // bytes the PC has by then
        std::chrono::milliseconds completeFrom;
    };
    const Row rows[] = {
        {0, 4, 300ms, 12, 0ms},        // nothing held
        {16, 4, 0ms, 0, 14ms},         // a short answer waits out the latency
        {250, 200, 150ms, 186, 240ms}, // three packets go at once, the tail waits
    };
    std::vector<uint8_t> pattern(200);
    for (size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    for (const Row& row : rows) {
        vtarget::BoardOptions options = RunningMonitor();
        options.adapterLatencyMs = row.latencyMs;
        StartBoard(options);
        board_->WriteMemory(0x100, pattern);
        std::vector<uint8_t> expected = {2};
        expected.insert(expected.end(), pattern.begin(), pattern.begin() + row.count);
        const auto frame = Frame(static_cast<uint8_t>(sequence_ + 1), expected);
        const auto sent = Clock::now();
        Send(ReadMem8(0x100, row.count));
        auto seen = port_.Read(frame.size(), row.peekAt);
        const size_t byPeek = seen.size();
        const auto rest = port_.Read(frame.size() - byPeek, 2000ms);
        const bool lateEnough = Clock::now() - sent >= row.completeFrom;
        seen.insert(seen.end(), rest.begin(), rest.end());
        EXPECT_EQ(std::tuple(byPeek, lateEnough, seen), std::tuple(row.byPeek, true, frame))
            << row.latencyMs << " ms";
    }
}

TEST_F(LineTest, PcSideClosesAndReopens) {
    testfiles::TempDir dir;
    vtarget::BoardOptions options = RunningMonitor();
    options.linkPath = dir.file("ttyV0");
    StartBoard(options);
    EXPECT_EQ(std::filesystem::read_symlink(options.linkPath), board_->SlavePath());
    EXPECT_TRUE(Exchange(Request(kGetVersion)));
    // Gone before the answer came: the reopened port starts clean.
    Send(ReadMem8(0, 100));
    port_.Close();
    ASSERT_TRUE(WaitFor([&] { return board_->MailCount() == 2; }));
    std::this_thread::sleep_for(100ms); // the answer goes into the empty port
    ASSERT_TRUE(port_.Open(options.linkPath, options.baudRate));
    EXPECT_EQ(Confirm(WriteMem8(0x40, {9}), 4), 1);
    port_.Close();
    ASSERT_TRUE(port_.Open(options.linkPath, options.baudRate));
    EXPECT_EQ(Exchange(ReadMem8(0x40, 1)), (std::vector<uint8_t>{2, 9}));
}

TEST_F(LineTest, StopHangsUpAndRemovesTheLink) {
    testfiles::TempDir dir;
    vtarget::BoardOptions options = RunningMonitor();
    options.linkPath = dir.file("ttyV1");
    testfiles::WriteFile(dir.file("other"), "");
    ASSERT_EQ(symlink(dir.file("other").c_str(), options.linkPath.c_str()), 0);
    StartBoard(options); // an old link is replaced
    EXPECT_EQ(std::filesystem::read_symlink(options.linkPath), board_->SlavePath());
    board_->Stop();
    EXPECT_TRUE(port_.SeesHangUp(2000ms));
    EXPECT_FALSE(std::filesystem::is_symlink(options.linkPath));
    board_->Stop(); // idempotent
    std::string error;
    EXPECT_FALSE(board_->Start(error));
}

TEST_F(LineTest, LinkOverAFileIsRefused) {
    testfiles::TempDir dir;
    vtarget::BoardOptions options = RunningMonitor();
    options.linkPath = dir.file("plain");
    testfiles::WriteFile(options.linkPath, "keep");
    vtarget::Board board(options);
    std::string error;
    EXPECT_FALSE(board.Start(error));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    EXPECT_EQ(testfiles::ReadFile(options.linkPath), "keep");
}

} // namespace
