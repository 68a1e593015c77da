// The virtual board's Ombrel device, driven over its pseudo-terminal byte by
// byte as a PC would, and its vtarget options.
#include "PcPort.h"
#include "board/Options.h"

#include <vtarget/Board.h>

#include <QTest>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

const Bytes kReset = {0x10, 0x00, 0x07, 0x00, 0x00, 0x00, 0x5D, 0x00, 0x00, 0x00, 0x5D};

// CRC-8/MAXIM, bit by bit as published: reflected polynomial 8Ch.
uint8_t Crc8(const Bytes& bytes) {
    uint8_t crc = 0;
    for (const uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<uint8_t>((crc >> 1) ^ 0x8C)
                                 : static_cast<uint8_t>(crc >> 1);
        }
    }
    return crc;
}

Bytes Frame(uint16_t block, const Bytes& data) {
    Bytes frame = {0x7E, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block),
                   static_cast<uint8_t>(data.size())};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(Crc8(frame));
    return frame;
}

Bytes Answer(uint16_t block) {
    Bytes answer = {0x7E, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)};
    answer.push_back(Crc8(answer));
    return answer;
}

Bytes Data(size_t size, uint8_t seed) {
    Bytes data(size);
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return data;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A started device and the PC's end of its port.
struct Rig {
    std::unique_ptr<vtarget::Board> device;
    PcPort port;

    bool Start(vtarget::OmbrelOptions options = {}) {
        vtarget::BoardOptions board;
        board.ombrel = std::move(options);
        board.ombrel.enabled = true;
        device = std::make_unique<vtarget::Board>(board);
        std::string error;
        return device->Start(error) && port.Open(device->SlavePath(), 115200);
    }

    // Resets the device and reads its whole prompt.
    Bytes Reset() {
        port.Write(kReset);
        return port.Read(8, 1000ms);
    }
};

} // namespace

class DeviceTest : public QObject {
    Q_OBJECT

  private slots:
    void resetStartsTheBootLoader();
    void blocksAreTakenOnceAndAnsweredAgain();
    void brokenFramesGoUnanswered();
    void options();
    void slowQuietBootLoaderReturnsToTheApplication();
};

// Only the whole reset sequence, even in pieces, starts the boot loader.
void DeviceTest::resetStartsTheBootLoader() {
    Rig rig;
    QVERIFY(rig.Start());
    QCOMPARE(rig.device->CurrentStage(), vtarget::Stage::Monitor);
    Bytes almost = kReset;
    almost.back() = 0x5C;
    rig.port.Write(almost);
    QVERIFY(rig.port.ReadUntilQuiet(150ms).empty());
    rig.port.Write({kReset.begin(), kReset.begin() + 4});
    rig.port.Write({kReset.begin() + 4, kReset.end()});
    QCOMPARE(rig.port.Read(8, 1000ms), Bytes(8, '>'));
    QCOMPARE(rig.device->CurrentStage(), vtarget::Stage::BootLoader);
}

// A block sent again (its answer was lost) is answered again but stored
// once; the last one makes the device run the file and say "RUN".
void DeviceTest::blocksAreTakenOnceAndAnsweredAgain() {
    Rig rig;
    QVERIFY(rig.Start());
    QCOMPARE(rig.Reset(), Bytes(8, '>'));
    const Bytes first = Data(128, 1);
    const Bytes last = Data(3, 9);
    for (int copy = 0; copy < 2; ++copy) {
        rig.port.Write(Frame(0, first));
        QCOMPARE(rig.port.Read(4, 1000ms), Answer(0));
    }
    rig.port.Write(Frame(0xFF00, last));
    QCOMPARE(rig.port.Read(4, 1000ms), Answer(0xFF00));
    QCOMPARE(rig.port.ReadUntilQuiet(300ms), Bytes({'R', 'U', 'N'}));
    QCOMPARE(rig.device->ReceivedImage(), Concat(first, last));
    QCOMPARE(rig.device->RestartAddress(), std::optional<uint32_t>(0));
    QCOMPARE(rig.device->CurrentStage(), vtarget::Stage::Monitor);
    QCOMPARE(rig.device->MailCount(), size_t{3});
}

void DeviceTest::brokenFramesGoUnanswered() {
    Rig rig;
    QVERIFY(rig.Start());
    QCOMPARE(rig.Reset(), Bytes(8, '>'));
    Bytes badCrc = Frame(0, Data(10, 2));
    badCrc.back() ^= 1;
    rig.port.Write(badCrc);
    rig.port.Write({0x7E, 0x00, 0x00, 0x00}); // no data
    rig.port.Write({0x7E, 0x00, 0x00, 129});  // too much data
    rig.port.Write(Frame(5, Data(10, 3)));    // not the next block
    QVERIFY(rig.port.ReadUntilQuiet(200ms).empty());
    rig.port.Write(Frame(0, Data(10, 4)));
    QCOMPARE(rig.port.Read(4, 1000ms), Answer(0));
    QCOMPARE(rig.device->DroppedFrames(), uint64_t{4});
}

void DeviceTest::options() {
    vtarget::BoardOptions options;
    std::string message;
    const auto status = vtarget::ParseOptions(
        {"--link", "/tmp/x", "--ombrel-fault", "split", "--ombrel-fault-block", "ff00",
         "--ombrel-fault-count", "2", "--ombrel-run=", "--ombrel-prompt", ">>"},
        options, message);
    QCOMPARE(status, vtarget::ParseStatus::Run);
    QVERIFY(options.ombrel.enabled);
    QCOMPARE(options.ombrel.fault, vtarget::OmbrelFault::SplitAnswer);
    QCOMPARE(options.ombrel.faultBlock, uint16_t{0xFF00});
    QCOMPARE(options.ombrel.faultCount, int64_t{2});
    QCOMPARE(options.ombrel.runText, std::string());
    QCOMPARE(options.ombrel.prompt, std::string(">>"));

    vtarget::BoardOptions other;
    QCOMPARE(vtarget::ParseOptions({"--link", "x", "--ombrel-fault", "loud"}, other, message),
             vtarget::ParseStatus::Error);
    QVERIFY(message.find("--ombrel-fault") != std::string::npos);
    QVERIFY(vtarget::UsageText().find("--ombrel ") != std::string::npos);
}

// A load given up half way leaves the device ready for the next reset.
void DeviceTest::slowQuietBootLoaderReturnsToTheApplication() {
    Rig rig;
    QVERIFY(rig.Start());
    QCOMPARE(rig.Reset(), Bytes(8, '>'));
    rig.port.Write(Frame(0, Data(128, 7)));
    QCOMPARE(rig.port.Read(4, 1000ms), Answer(0));
    std::this_thread::sleep_for(3200ms);
    QCOMPARE(rig.device->CurrentStage(), vtarget::Stage::Monitor);
    QCOMPARE(rig.Reset(), Bytes(8, '>'));
}

QTEST_APPLESS_MAIN(DeviceTest)
#include "DeviceTest.moc"
