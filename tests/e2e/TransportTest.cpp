// The mail transport against a virtual board: framing limits, sequence
// numbers, the receiver's handling of odd responses, deadlines and
// retransmissions, echo removal and the trace it writes.
#include "BoardFixture.h"
#include "MailFrames.h"
#include "frame/Faults.h"
#include "frame/ThreadContext.h"
#include "link/BusAccess.h"
#include "link/MailPrimitives.h"
#include "link/MailTransport.h"
#include "link/Primitives.h"

#include <chrono>
#include <gmock/gmock.h>

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

using testframes::Frame;

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    for (uint8_t x : b) {
        a.push_back(x);
    }
    return a;
}

long long MsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration_cast<milliseconds>(b - a).count();
}

} // namespace

class TransportTest : public BoardTest {
  protected:
    // Every answer of the board replaced by these raw bytes.
    void ReplyWith(std::vector<uint8_t> bytes) {
        Board().SetReplyOverride([bytes](const vtarget::ReceivedMail&) { return bytes; });
    }
};

TEST_F(TransportTest, LargestRequestsGoOutWholeAndLargerOnesAreRefusedUnsent) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    const auto bytes = testfiles::RandomBytes(4338, 1);
    EXPECT_EQ(MonWriteMem8(0x20000, 4338, bytes.data()), MAIL_NO_ERROR);
    EXPECT_EQ(Board().ReadMemory(0x20000, 4338), bytes);
    ASSERT_EQ(Board().MailCount(), 1u);
    EXPECT_EQ(Board().Mails()[0].payload.size(), 4345u) << "a 4352-byte frame";

    std::vector<uint16_t> words(2170, 0xA55A);
    EXPECT_EQ(MonWriteMem16(0x30000, 2169, words.data()), MAIL_NO_ERROR);
    const uint64_t received = Board().BytesReceived();
    EXPECT_EQ(MonWriteMem8(0x20000, 4339, bytes.data()), MAIL_TOO_LONG);
    EXPECT_EQ(MonWriteMem16(0x30000, 2170, words.data()), MAIL_TOO_LONG);
    const std::vector<uint8_t> payload(4346, READ_MEM8_REQ);
    EXPECT_EQ(MailTransaction(payload.data(), 4346, Ctx().mail.response), MAIL_TOO_LONG);
    EXPECT_EQ(Board().BytesReceived(), received) << "nothing was sent";
    EXPECT_EQ(Board().MailCount(), 2u);
}

TEST_F(TransportTest, SequenceNumbersWrapAndRetransmissionsRepeatTheirs) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    uint32_t version = 0;
    for (int i = 0; i < 257; ++i) {
        ASSERT_EQ(MonGetVersion(&version), MAIL_NO_ERROR) << i;
    }
    EXPECT_EQ(version, 0x00010000u);
    const auto mails = Board().Mails();
    ASSERT_EQ(mails.size(), 257u);
    for (size_t i = 0; i < mails.size(); ++i) {
        EXPECT_EQ(mails[i].sequence, static_cast<uint8_t>(i));
    }

    // The first two sends of the next mail go unanswered.
    int sends = 0;
    Board().SetReplyOverride([&sends](const vtarget::ReceivedMail&) {
        return ++sends <= 2 ? std::optional<std::vector<uint8_t>>(std::vector<uint8_t>{})
                            : std::nullopt;
    });
    EXPECT_EQ(MonGetVersion(&version), MAIL_NO_ERROR);
    const auto all = Board().Mails();
    ASSERT_EQ(all.size(), 260u);
    EXPECT_EQ(all[257].sequence, 1);
    EXPECT_EQ(all[258].sequence, 1);
    EXPECT_EQ(all[259].sequence, 1);
    EXPECT_NEAR(MsBetween(all[257].at, all[258].at), 900, 150);
}

TEST_F(TransportTest, ReceiverSkipsNoiseAndRejectsBadFrames) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    uint32_t version = 0;

    ReplyWith(Concat({0x00, 0xFF, 0x13, 0x24}, Frame(0, {GET_VERSION_RES, 4, 3, 2, 1})));
    EXPECT_EQ(MonGetVersion(&version), MAIL_NO_ERROR);
    EXPECT_EQ(version, 0x01020304u);

    // A length high byte of 0x11 or more drops what came so far.
    ReplyWith(Concat({0x10, 0x11, 0x22}, Frame(0, {GET_VERSION_RES, 8, 7, 6, 5})));
    EXPECT_EQ(MonGetVersion(&version), MAIL_NO_ERROR);
    EXPECT_EQ(version, 0x05060708u);

    const size_t before = Board().MailCount();
    ReplyWith({0x10, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(MonGetVersion(&version), MAIL_TOO_SHORT);
    auto bad = Frame(0, {GET_VERSION_RES, 1, 1, 1, 1});
    bad.back() ^= 0x01;
    ReplyWith(bad);
    EXPECT_EQ(MonGetVersion(&version), MAIL_CHECKSUM_ERROR);
    EXPECT_EQ(Board().MailCount(), before + 2) << "no retransmission";
    EXPECT_EQ(version, 0x05060708u) << "failures leave the output alone";
}

TEST_F(TransportTest, ResponsesAreCheckedAgainstTheirRequest) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    uint8_t byte = 0x77;
    ReplyWith(Frame(0, {WRITE_MEM8_CFM, 0}));
    EXPECT_EQ(MonWriteByte(0x100, 1), MAIL_NEGATIVE_CONFIRM);
    ReplyWith(Frame(0, {WRITE_MEM8_CFM, 1}));
    EXPECT_EQ(MonWriteByte(0x100, 1), MAIL_NO_ERROR);
    ReplyWith(Frame(0, {READ_MEM16_RES, 0x12}));
    EXPECT_EQ(MonReadByte(0x100, &byte), MAIL_WRONG_RESPONSE_PRIMITIVE);
    // A response shorter than its own layout is not read beyond its end.
    ReplyWith(Frame(0, {READ_MEM8_RES, 0x12}));
    uint8_t two[2] = {0, 0};
    EXPECT_EQ(MonReadMem8(0x100, 2, two), MAIL_WRONG_RESPONSE_PRIMITIVE);
    EXPECT_EQ(byte, 0x77);

    uint16_t word = 0;
    ReplyWith(Frame(0, {READ_MEM16_RES, 0x34, 0x12}));
    EXPECT_EQ(MonReadWord(0x100, &word), MAIL_NO_ERROR);
    EXPECT_EQ(word, 0x1234);
}

TEST_F(TransportTest, UnansweredRequestGoesOutThreeTimesThenTimesOut) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    options.faults.silentAfter = 0;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    StartTrace(DEBUG_MAIL_TRACE);
    uint32_t version = 0;
    const auto start = Clock::now();
    EXPECT_EQ(MonGetVersion(&version), MAIL_TIMEOUT);
    const auto elapsed = MsBetween(start, Clock::now());
    EXPECT_GE(elapsed, 2700);
    EXPECT_LT(elapsed, 3300);
    const auto mails = Board().Mails();
    ASSERT_EQ(mails.size(), 3u);
    EXPECT_NEAR(MsBetween(start, mails[0].at), 0, 100);
    EXPECT_NEAR(MsBetween(start, mails[1].at), 900, 100);
    EXPECT_NEAR(MsBetween(start, mails[2].at), 1800, 100);
    const std::string log = TraceText();
    EXPECT_THAT(log, HasSubstr("<-- Lg[004] [00 00 00] GET_VERSION_REQ [] \n"
                               "\n### Retransmit mail ### \n"
                               "<-- Lg[004] [00 00 00] GET_VERSION_REQ [] \n"
                               "\n### Retransmit mail ### \n"));
    EXPECT_THAT(log, HasSubstr("\n### TIMEOUT ERROR  mail lost ### \n"));
}

TEST_F(TransportTest, PortFailuresEndTheTransactionAtOnce) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    StartTrace(DEBUG_MAIL_TRACE);
    uint32_t version = 0;
    ArmFault(Fault::PortRead, 1);
    EXPECT_EQ(MonGetVersion(&version), MAIL_WRONG_RESPONSE_PRIMITIVE);
    ArmFault(Fault::PortWrite, 1);
    EXPECT_EQ(MonGetVersion(&version), MAIL_WRONG_RESPONSE_PRIMITIVE);
    const std::string log = TraceText();
    EXPECT_THAT(log, HasSubstr("## ERROR ## GetRawData() in Line("));
    EXPECT_THAT(log, HasSubstr("## ERROR ## SendRawData() in Line("));
    EXPECT_EQ(MonGetVersion(&version), MAIL_NO_ERROR);
}

TEST_F(TransportTest, EchoIsRemovedOnlyOnTheSingleWireBus) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    options.echo = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink(kBusModeSingleWire));
    EXPECT_EQ(MonSectorErase(0x10000), MAIL_NO_ERROR) << "12-byte request, its echo removed";
    CloseAccessPort();

    ASSERT_TRUE(OpenLink(kBusModeDuplex));
    EXPECT_EQ(MonSectorErase(0x10000), MAIL_WRONG_RESPONSE_PRIMITIVE)
        << "the echo reads as a response carrying the request's own code";
}

TEST_F(TransportTest, UnconfirmedRequestsAreNotLostToTheNextPurge) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    uint32_t version = 0;
    for (uint32_t i = 0; i < 50; ++i) {
        ASSERT_EQ(MonSetConfig(i), MAIL_NO_ERROR);
        ASSERT_EQ(MonGetVersion(&version), MAIL_NO_ERROR);
    }
    const auto codes = ReceivedCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), SET_CONFIG_REQ), 50);

    const uint8_t bytes[2] = {0xC0, 0xDE};
    EXPECT_EQ(MonWriteMem8NoConfirm(0x40, 2, bytes), MAIL_NO_ERROR);
    EXPECT_EQ(MonGetVersion(&version), MAIL_NO_ERROR);
    EXPECT_EQ(Board().ReadMemory(0x40, 2), (std::vector<uint8_t>{0xC0, 0xDE}));
}

TEST_F(TransportTest, LateConfirmOfAnUnconfirmedWriteIsNotTakenForTheNextAnswer) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    // The write's confirm comes late, just ahead of the next answer.
    const auto late = Frame(0, {WRITE_MEM8_CFM, 1});
    Board().SetReplyOverride([late](const vtarget::ReceivedMail& mail) {
        if (mail.payload[0] == WRITE_MEM8_REQ) {
            return std::optional<std::vector<uint8_t>>(std::vector<uint8_t>{});
        }
        return std::optional<std::vector<uint8_t>>(
            Concat(late, Frame(mail.sequence, {GET_VERSION_RES, 1, 0, 0, 0})));
    });
    const uint8_t byte = 1;
    uint32_t version = 0;
    EXPECT_EQ(MonWriteMem8NoConfirm(0x40, 1, &byte), MAIL_NO_ERROR);
    EXPECT_EQ(MonGetVersion(&version), MAIL_NO_ERROR);
    EXPECT_EQ(version, 1u);
    // Only right after an unconfirmed request is such a frame expected.
    EXPECT_EQ(MonGetVersion(&version), MAIL_WRONG_RESPONSE_PRIMITIVE);
}

// A slow adapter: every confirm reaches the PC only after the next request
// has cleared the line. The confirmed write of the same width takes the
// unconfirmed one's confirm; its own comes during the request after it.
TEST_F(TransportTest, LateConfirmOfTheSameCodeIsSkippedOneRequestLater) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    const auto confirm16 = Frame(0, {WRITE_MEM16_CFM, 1});
    Board().SetReplyOverride([confirm16](const vtarget::ReceivedMail& mail) {
        if (mail.payload[0] == WRITE_MEM16_REQ) {
            return std::optional<std::vector<uint8_t>>(mail.sequence == 0 ? std::vector<uint8_t>{}
                                                                          : confirm16);
        }
        return std::optional<std::vector<uint8_t>>(
            Concat(confirm16, Frame(mail.sequence, {WRITE_MEM8_CFM, 1})));
    });
    const uint16_t word = 0x1234;
    EXPECT_EQ(MonWriteMem16NoConfirm(0x40, 1, &word), MAIL_NO_ERROR);
    EXPECT_EQ(MonWriteWord(0x42, word), MAIL_NO_ERROR);
    EXPECT_EQ(MonWriteByte(0x44, 0x56), MAIL_NO_ERROR);
    EXPECT_EQ(Board().ReadMemory(0x40, 5), (std::vector<uint8_t>{0x34, 0x12, 0x34, 0x12, 0x56}));
}

TEST_F(TransportTest, TraceShowsDumpsAndDecodedMails) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    StartBoard(options);
    ASSERT_TRUE(OpenLink());
    StartTrace(DEBUG_RX_DUMP | DEBUG_TX_DUMP | DEBUG_MAIL_TRACE);
    uint16_t word = 0;
    Board().WriteMemory(0x200, {0x34, 0x12});
    ASSERT_EQ(MonReadWord(0x200, &word), MAIL_NO_ERROR);
    const std::string log = TraceText();
    EXPECT_THAT(log, HasSubstr("<-- Lg[010] [00 00 00] READ_MEM16_REQ [(00000200).(0001).()] \n"
                               "\n<TX: 10 00 0A 00 00 00 05 00 02 00 00 01 00 08 >"));
    EXPECT_THAT(log, HasSubstr("\n<RX: 10 00 06 00 00 00 06 34 12 4C "
                               "--> Lg[006] [00 00 00] READ_MEM16_RES [1234 ] \n"));
}
