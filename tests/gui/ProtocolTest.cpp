// The window's side of the block protocol without a port: the CRC-8, and
// how the device's arrivals become prompts, answers and the final text.
#include "DeviceReceiver.h"

#include <QTest>
#include <cstring>
#include <vector>

using ombrel::DeviceReceiver;
using Bytes = std::vector<uint8_t>;
using Arrivals = std::vector<Bytes>;

namespace {

uint8_t Crc8(const Bytes& bytes) {
    uint8_t crc = 0;
    for (const uint8_t byte : bytes) {
        crc = ombrel::Crc8Update(crc, byte);
    }
    return crc;
}

// The device's answer for the block.
Bytes Answer(uint16_t block) {
    Bytes answer = {0x7E, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
    answer.push_back(Crc8(answer));
    return answer;
}

DeviceReceiver InLoader() {
    DeviceReceiver receiver;
    receiver.EnterLoader();
    return receiver;
}

void Feed(DeviceReceiver& receiver, const Arrivals& arrivals) {
    for (const Bytes& arrival : arrivals) {
        receiver.OnArrival(arrival);
    }
}

Bytes Text(const char* text) {
    return Bytes(text, text + strlen(text));
}

} // namespace

Q_DECLARE_METATYPE(Arrivals)

class ProtocolTest : public QObject {
    Q_OBJECT

  private slots:
    void crc8();
    void answers_data();
    void answers();
    void answerAfterAnOverlongArrival();
    void prompts_data();
    void prompts();
    void finalText_data();
    void finalText();
    void floodedTextKeepsItsEnd();
};

// 7Eh 00h 00h followed by its CRC gives 0; "123456789" gives the published
// check value of CRC-8/MAXIM, A1h.
void ProtocolTest::crc8() {
    Bytes head = {0x7E, 0x00, 0x00};
    head.push_back(Crc8(head));
    QCOMPARE(Crc8(head), uint8_t{0});
    QCOMPARE(Crc8(Text("123456789")), uint8_t{0xA1});
}

void ProtocolTest::answers_data() {
    QTest::addColumn<Arrivals>("arrivals");
    QTest::addColumn<bool>("recognised");
    const Bytes good = Answer(0x0102);
    Bytes badCrc = good;
    badCrc[3] ^= 0x40;
    QTest::newRow("one-arrival") << Arrivals{good} << true;
    QTest::newRow("two-arrivals") << Arrivals{{good[0], good[1]}, {good[2], good[3]}} << true;
    QTest::newRow("after-other-bytes") << Arrivals{{'>', '>'}, good} << true;
    QTest::newRow("wrong-crc") << Arrivals{badCrc} << false;
    QTest::newRow("byte-before-it")
        << Arrivals{{0x00, good[0], good[1], good[2], good[3]}} << false;
    QTest::newRow("five-bytes") << Arrivals{{good[0], good[1], good[2], good[3], 0x00}} << false;
    QTest::newRow("three-then-two")
        << Arrivals{{good[0], good[1], good[2]}, {good[3], 0x7E}} << false;
    QTest::newRow("tilde-not-first") << Arrivals{{0x00}, {good[1], good[2], good[3]}} << false;
}

void ProtocolTest::answers() {
    QFETCH(Arrivals, arrivals);
    QFETCH(bool, recognised);
    DeviceReceiver receiver = InLoader();
    Feed(receiver, arrivals);
    QCOMPARE(receiver.TakeAcknowledgement(), recognised);
    if (recognised) {
        QCOMPARE(receiver.AcknowledgedBlock(), uint16_t{0x0102});
    }
}

// Five bytes are no answer, but they do not stop the next one from being
// recognised.
void ProtocolTest::answerAfterAnOverlongArrival() {
    DeviceReceiver receiver = InLoader();
    Bytes overlong = Answer(7);
    overlong.push_back(0x00);
    Feed(receiver, {overlong});
    QVERIFY(!receiver.TakeAcknowledgement());
    Feed(receiver, {Answer(7)});
    QVERIFY(receiver.TakeAcknowledgement());
    QCOMPARE(receiver.AcknowledgedBlock(), uint16_t{7});
}

void ProtocolTest::prompts_data() {
    QTest::addColumn<Arrivals>("arrivals");
    QTest::addColumn<int>("count");
    QTest::newRow("six-in-a-row") << Arrivals{Text(">>>>>>")} << 6;
    QTest::newRow("six-in-six-arrivals") << Arrivals(6, Text(">")) << 6;
    QTest::newRow("five-another-five") << Arrivals{Text(">>>>>x>>>>>")} << 5;
    QTest::newRow("ending-in-another-byte") << Arrivals{Text(">>>>>>>\r")} << 0;
}

void ProtocolTest::prompts() {
    QFETCH(Arrivals, arrivals);
    QFETCH(int, count);
    DeviceReceiver receiver;
    Feed(receiver, arrivals);
    QCOMPARE(receiver.PromptCount(), count);
}

void ProtocolTest::finalText_data() {
    QTest::addColumn<Arrivals>("arrivals");
    QTest::addColumn<bool>("found");
    QTest::newRow("RUN") << Arrivals{Text("RUN")} << true;
    QTest::newRow("lower-case-blanks-line-end") << Arrivals{Text(" run \r\n")} << true;
    QTest::newRow("in-pieces") << Arrivals{Text("\r\nR"), Text("u"), Text("N\r\n")} << true;
    QTest::newRow("broken-up") << Arrivals{Text("R UN")} << false;
}

void ProtocolTest::finalText() {
    QFETCH(Arrivals, arrivals);
    QFETCH(bool, found);
    DeviceReceiver receiver = InLoader();
    receiver.GatherText();
    Feed(receiver, arrivals);
    QCOMPARE(receiver.TextContains("RUN"), found);
}

void ProtocolTest::floodedTextKeepsItsEnd() {
    DeviceReceiver receiver = InLoader();
    receiver.GatherText();
    const Bytes noise(256 * 1024, '.');
    Feed(receiver, {noise, noise, Text("RUN")});
    QVERIFY(receiver.TextContains("RUN"));
}

QTEST_APPLESS_MAIN(ProtocolTest)
#include "ProtocolTest.moc"
