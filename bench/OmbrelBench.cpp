// Ombrel benchmark: loads a file of random bytes through the real window
// (TForm1, on the offscreen platform unless QT_QPA_PLATFORM says otherwise)
// into the virtual board's Ombrel device in this process, which plays every
// byte at its line time, at the window's 115200 baud. It prints, from one
// run:
//   - the transfer, from the start of the first block (status "programming")
//     to the success status after the device's run text, against the line
//     time of every byte exchanged in it, frames and answers, 10 bits each;
//     the same with the device's start-up before its run text added;
//   - the processor time of the window's thread, and of the whole process
//     (the board's thread included), against the transfer time.
//
//   build/bench/ombrel_bench [file KiB, default 1024]
#include "BenchClock.h"
#include "BlockFrame.h"
#include "OmbrelTexts.h"
#include "Unit1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vtarget/Board.h>

namespace {

using bench::Clock;
using bench::Ms;
using bench::ProcessCpuMs;
using bench::ThreadCpuMs;

constexpr int kPort = 11;
constexpr double kBaudRate = 115200; // the window's fixed rate
constexpr double kBitsPerByte = 10;
// The device's start-up between the last block's answer and its run text.
constexpr double kDeviceStartUpMs = 100;
// Bytes around each block's data: the frame's start, number, count and
// CRC, and the four-byte answer.
constexpr double kBlockOverhead = 5 + 4;
// Boxes are looked for this often; none comes up in a load that succeeds.
constexpr int kBoxCheckMs = 250;

void Fail(const char* what) {
    std::fprintf(stderr, "ombrel_bench: %s\n", what);
    std::exit(1);
}

// Where the transfer stands at one moment.
struct Mark {
    Clock::time_point at;
    double windowCpuMs = 0;
    double processCpuMs = 0;
    uint64_t lineBytes = 0;

    static Mark Now(const vtarget::Board& board) {
        return {Clock::now(), ThreadCpuMs(), ProcessCpuMs(),
                board.BytesReceived() + board.BytesSent()};
    }
};

// Follows the window's status line: the transfer starts with the
// programming status and ends with the next status, success or failure.
struct Transfer {
    Mark start, end;
    bool started = false;
    bool ended = false;
    QString outcome;
    QStringList boxes;
};

QByteArray RandomFile(int size) {
    std::mt19937 random(7);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random());
    }
    return bytes;
}

QString WriteFile(const QTemporaryDir& directory, const QByteArray& bytes) {
    const QString path = directory.filePath(QStringLiteral("image.pkx"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        Fail("cannot write the file");
    }
    QSettings ini(directory.filePath(QStringLiteral("ombrel.ini")), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Settings/COM"), kPort);
    ini.setValue(QStringLiteral("Settings/File"), path);
    return path;
}

std::unique_ptr<vtarget::Board> StartDevice() {
    vtarget::BoardOptions options;
    options.ombrel.enabled = true;
    options.wireTiming = true;
    options.baudRate = static_cast<uint32_t>(kBaudRate);
    auto board = std::make_unique<vtarget::Board>(options);
    std::string error;
    if (!board->Start(error)) {
        Fail(error.c_str());
    }
    qputenv(("ULVEX_COM" + QByteArray::number(kPort)).constData(),
            QByteArray::fromStdString(board->SlavePath()));
    return board;
}

void Follow(TForm1& form, const vtarget::Board& board, Transfer& transfer) {
    const QString programming = QString::fromUtf8(ombrel::kProgramming);
    QObject::connect(form.edStatus, &QLineEdit::textChanged, [&, programming](const QString& text) {
        if (!transfer.started && text == programming) {
            transfer.started = true;
            transfer.start = Mark::Now(board);
        } else if (transfer.started && !transfer.ended) {
            transfer.end = Mark::Now(board);
            transfer.ended = true;
            transfer.outcome = text;
        }
    });
}

// Answers an error box as an operator would, noting its text.
void AnswerBoxes(QTimer& timer, Transfer& transfer) {
    QObject::connect(&timer, &QTimer::timeout, [&transfer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && box->isVisible()) {
            transfer.boxes.append(box->text());
            box->button(QMessageBox::Ok)->click();
        }
    });
    timer.start(kBoxCheckMs);
}

// Presses the button and runs events until the window closes its port.
void RunLoad(TForm1& form, int limitMs) {
    QEventLoop loop;
    QObject::connect(form.ComPort1, &QIODevice::aboutToClose, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    QTimer::singleShot(0, form.btnConnect, &QPushButton::click);
    loop.exec();
}

void Report(const Transfer& transfer, const vtarget::Board& board, const QByteArray& file) {
    const auto received = board.ReceivedImage();
    const bool intact = received.size() == static_cast<size_t>(file.size()) &&
                        std::equal(received.begin(), received.end(), file.begin(),
                                   [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
    const double transferMs = Ms(transfer.end.at - transfer.start.at);
    const uint64_t bytes = transfer.end.lineBytes - transfer.start.lineBytes;
    const double wireMs = bytes * kBitsPerByte / kBaudRate * 1e3;
    const double windowCpu = transfer.end.windowCpuMs - transfer.start.windowCpuMs;
    const double processCpu = transfer.end.processCpuMs - transfer.start.processCpuMs;
    const size_t frames = board.MailCount();
    std::printf("%lld KiB in %zu frames at %.0f baud: %s, file %s\n",
                static_cast<long long>(file.size() / 1024), frames, kBaudRate,
                transfer.outcome.toUtf8().constData(),
                intact ? "received intact" : "NOT RECEIVED INTACT");
    std::printf("  transfer, first block to success      %9.0f ms\n", transferMs);
    std::printf("  line time of the %8llu bytes exchanged %9.0f ms\n",
                static_cast<unsigned long long>(bytes), wireMs);
    std::printf("  line time / transfer                  %9.4f\n", wireMs / transferMs);
    std::printf("  (line time + device start-up) / transfer %6.4f\n",
                (wireMs + kDeviceStartUpMs) / transferMs);
    std::printf("  beyond the line, per frame            %9.3f ms\n",
                (transferMs - wireMs - kDeviceStartUpMs) / static_cast<double>(frames));
    std::printf("  window thread CPU / transfer          %9.4f (%.0f ms)\n", windowCpu / transferMs,
                windowCpu);
    std::printf("  process CPU / transfer                %9.4f (%.0f ms)\n",
                processCpu / transferMs, processCpu);
    for (const QString& box : transfer.boxes) {
        std::printf("  error box: %s\n", box.toUtf8().constData());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const int kib = argc > 1 ? std::atoi(argv[1]) : 1024;
    if (kib <= 0 || kib > 64 * 1024) {
        Fail("the file size must be 1 to 65536 KiB");
    }
    QApplication app(argc, argv);
    QTemporaryDir directory;
    const QByteArray file = RandomFile(kib * 1024);
    WriteFile(directory, file);
    const auto board = StartDevice();

    TForm1 form(directory.path(), QString());
    form.show();
    Transfer transfer;
    Follow(form, *board, transfer);
    QTimer boxTimer;
    AnswerBoxes(boxTimer, transfer);
    // Twice the line time of the frames and answers, and time for the start.
    const auto frames =
        static_cast<double>((file.size() + ombrel::kBlockSize - 1) / ombrel::kBlockSize);
    const double lineMs = (file.size() + frames * kBlockOverhead) * kBitsPerByte / kBaudRate * 1e3;
    RunLoad(form, static_cast<int>(2 * lineMs) + 30000);
    if (!transfer.ended) {
        Fail("the load did not end in time");
    }
    Report(transfer, *board, file);
    board->Stop();
    return 0;
}
