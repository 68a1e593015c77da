#include "Unit1.h"

#include "BlockFrame.h"
#include "ComPortPath.h"
#include "OmbrelFiles.h"
#include "OmbrelTexts.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QShowEvent>
#include <algorithm>
#include <climits>
#include <span>
#include <sys/resource.h>
#include <utility>

using namespace ombrel;

namespace {

constexpr int kPortCount = 30;
constexpr int kWindowWidth = 505;
constexpr int kWindowHeight = 137;
constexpr int kTimerInterval = 50; // Timer1 and Timer2
constexpr int kEndDelay = 500;     // Timer3: from an automatic load's end to the program's
constexpr qint32 kBaudRate = 115200;
// The reset goes out three times in case the device misses one; it needs
// the pause after each to restart.
constexpr int kResetCount = 3;
constexpr int kResetPause = 300;
constexpr int kPromptsNeeded = 6; // consecutive ">" that show the boot loader runs
constexpr int kAttempts = 3;      // writes of a block before the device counts as silent
constexpr int kAckTimeout = 1000;
constexpr int kRunTimeout = 3000; // for the device's text once the file is in
constexpr char kRunText[] = "RUN";
constexpr char kIniName[] = "ombrel.ini";
constexpr char kLogName[] = "ombrel.log";
constexpr char kIniGroup[] = "Settings";
constexpr char kPortKey[] = "COM";
constexpr char kFileKey[] = "File";
// The priority asked for at start, so that the device's bytes are handled
// promptly; without the right to raise it the program runs as it is.
constexpr int kRaisedNice = -5;

// Where the components sit in the window.
constexpr int kLabelLeft = 8;
constexpr int kFieldLeft = 96;
constexpr int kButtonLeft = 368;
constexpr int kButtonWidth = 129;
constexpr int kRightEdge = 497;

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const QByteArray& ResetSequence() {
    static const QByteArray sequence = QByteArray::fromHex("1000070000005d0000005d");
    return sequence;
}

int ProgressOf(qsizetype bytes) {
    return static_cast<int>(std::min<qsizetype>(bytes, INT_MAX));
}

} // namespace

TForm1::TForm1(const QString& programDirectory, const QString& firstArgument, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      programDirectory_(WithSeparator(programDirectory)), firstArgument_(firstArgument) {
    setWindowTitle(Text(kCaption));
    setFixedSize(kWindowWidth, kWindowHeight);
    CreateComponents();
    ConnectEvents();
}

QLabel* TForm1::NewLabel(const char* text, int top) {
    auto* label = new QLabel(Text(text), this);
    label->setGeometry(kLabelLeft, top, kFieldLeft - kLabelLeft - 4, 24);
    return label;
}

QTimer* TForm1::NewTimer(int interval) {
    auto* timer = new QTimer(this);
    timer->setInterval(interval);
    return timer;
}

void TForm1::CreateComponents() {
    Label1 = NewLabel(kPortLabel, 8);
    Label4 = NewLabel(kFileLabel, 40);
    Label5 = NewLabel(kProgressLabel, 72);
    Label6 = NewLabel(kStatusLabel, 104);
    cmbComPort = new QComboBox(this);
    cmbComPort->setGeometry(kFieldLeft, 8, 100, 24);
    btnConnect = new QPushButton(Text(kLoadCaption), this);
    btnConnect->setGeometry(kButtonLeft, 7, kButtonWidth, 26);
    edName = new QLineEdit(this);
    edName->setReadOnly(true);
    edName->setGeometry(kFieldLeft, 40, kButtonLeft - kFieldLeft - 8, 24);
    btnOpen = new QPushButton(Text(kChooseFileCaption), this);
    btnOpen->setGeometry(kButtonLeft, 39, kButtonWidth, 26);
    RbProgressBar1 = new QProgressBar(this);
    RbProgressBar1->setGeometry(kFieldLeft, 73, kRightEdge - kFieldLeft, 22);
    RbProgressBar1->setTextVisible(true);
    RbProgressBar1->setValue(0);
    edStatus = new QLineEdit(this);
    edStatus->setReadOnly(true);
    edStatus->setGeometry(kFieldLeft, 104, kRightEdge - kFieldLeft, 24);
    ComPort1 = new QSerialPort(this);
    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setNameFilter(QStringLiteral("PKX (*.pkx)"));
    OpenDialog1->setOption(QFileDialog::HideNameFilterDetails); // shows "PKX"
    Timer1 = NewTimer(kTimerInterval);
    Timer2 = NewTimer(kTimerInterval);
    Timer3 = NewTimer(kEndDelay);
}

void TForm1::ConnectEvents() {
    connect(btnConnect, &QPushButton::clicked, this, &TForm1::btnConnectClick);
    connect(btnOpen, &QPushButton::clicked, this, &TForm1::btnOpenClick);
    connect(ComPort1, &QSerialPort::readyRead, this, &TForm1::ComPort1RxChar);
    connect(ComPort1, &QSerialPort::errorOccurred, this, &TForm1::ComPort1Error);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    connect(Timer3, &QTimer::timeout, this, &TForm1::Timer3Timer);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm1::FormShow() {
    automatic_ = false;
    settingsDirectory_ = ombrel::SettingsDirectory(programDirectory_);
    for (int port = 1; port <= kPortCount; ++port) {
        cmbComPort->addItem(Text(kPortEntryPrefix) + QString::number(port));
    }
    cmbComPort->setCurrentIndex(0);
    loading_ = false;
    ReadSettings();
    setpriority(PRIO_PROCESS, 0, kRaisedNice);
    if (firstArgument_.compare(QLatin1String("-a"), Qt::CaseInsensitive) == 0) {
        automatic_ = true;
        // Once the window is up, as if the button had been pressed.
        QMetaObject::invokeMethod(this, &TForm1::btnConnectClick, Qt::QueuedConnection);
    }
}

void TForm1::FormClose() {
    Timer2->stop();
    ComPort1->close();
    if (shown_) {
        WriteSettings();
    }
}

void TForm1::ReadSettings() {
    const QString path = settingsDirectory_ + kIniName;
    const bool exists = QFileInfo::exists(path);
    QSettings ini(path, QSettings::IniFormat);
    ini.beginGroup(kIniGroup);
    if (!exists) {
        ini.setValue(kPortKey, cmbComPort->currentIndex() + 1);
        ini.setValue(kFileKey, QString());
        return;
    }
    // A port number outside the list leaves the first entry selected.
    const int port = ini.value(kPortKey, 1).toInt();
    if (port >= 1 && port <= kPortCount) {
        cmbComPort->setCurrentIndex(port - 1);
    }
    fileName_ = ini.value(kFileKey, QString()).toString();
    edName->setText(fileName_);
}

void TForm1::WriteSettings() {
    QSettings ini(settingsDirectory_ + kIniName, QSettings::IniFormat);
    ini.beginGroup(kIniGroup);
    ini.setValue(kPortKey, cmbComPort->currentIndex() + 1);
    ini.setValue(kFileKey, fileName_);
}

void TForm1::btnOpenClick() {
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) {
        return;
    }
    fileName_ = OpenDialog1->selectedFiles().constFirst();
    edName->setText(fileName_);
}

void TForm1::btnConnectClick() {
    if (loading_) {
        CancelLoad();
        return;
    }
    StartLoad();
}

void TForm1::StartLoad() {
    // Leftovers of a cancelled load must not act while the reset goes out.
    Timer1->stop();
    Timer2->stop();
    cmbComPort->setEnabled(false);
    btnOpen->setEnabled(false);
    btnConnect->setText(Text(kCancelCaption));
    loading_ = true;
    receiver_.Restart();
    RbProgressBar1->setValue(0);
    SetStatus(Text(kWaitingForReset));
    log_ = QStringList{Text(kLogHeader), Text(kLogStart)};
    if (!OpenPort()) {
        FailToOpen();
        return;
    }
    for (int reset = 0; reset < kResetCount; ++reset) {
        SendReset();
        Pause(kResetPause);
    }
    Timer2->start();
}

void TForm1::CancelLoad() {
    EndLoadControls();
    SetStatus(Text(kCancelled));
    FinishLog(Text(kLogUserCancel));
    WakeWait();
}

bool TForm1::OpenPort() {
    if (ComPort1->isOpen()) {
        return true;
    }
    ComPort1->setPortName(ComPortPath(cmbComPort->currentIndex() + 1));
    ComPort1->setBaudRate(kBaudRate);
    ComPort1->setParity(QSerialPort::NoParity);
    ComPort1->setStopBits(QSerialPort::OneStop);
    ComPort1->setDataBits(QSerialPort::Data8);
    ComPort1->setFlowControl(QSerialPort::NoFlowControl);
    if (!ComPort1->open(QIODevice::ReadWrite)) {
        return false;
    }
    // Linux raises DTR and RTS at open; the device wants them left low.
    // Pseudo-terminals have no such lines and refuse, which does no harm.
    ComPort1->setDataTerminalReady(false);
    ComPort1->setRequestToSend(false);
    ComPort1->clearError();
    return true;
}

void TForm1::FailToOpen() {
    EndLoadControls();
    const QString message = Text(kPortUnavailable);
    SetStatus(message);
    ShowError(message);
    FinishLog(Text(kLogStatusPrefix) + message);
}

void TForm1::EndLoadControls() {
    cmbComPort->setEnabled(true);
    btnOpen->setEnabled(true);
    btnConnect->setText(Text(kLoadCaption));
    loading_ = false;
    Timer1->stop();
}

void TForm1::SendReset() {
    Write(ResetSequence());
}

// Each write leaves at once, not when the event loop next runs, so that
// the pauses and waits that follow start after the bytes went out.
void TForm1::Write(QByteArrayView bytes) {
    ComPort1->write(bytes.data(), bytes.size());
    ComPort1->flush();
}

void TForm1::ComPort1RxChar() {
    const QByteArray bytes = ComPort1->readAll();
    receiver_.OnArrival(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                  static_cast<size_t>(bytes.size())));
    WakeWait();
}

// A port that fails while open (a read error, a device unplugged) says why.
void TForm1::ComPort1Error(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
        SetStatus(ComPort1->errorString());
    }
}

void TForm1::Timer2Timer() {
    if (receiver_.PromptCount() < kPromptsNeeded) {
        return;
    }
    SetStatus(Text(kInLoader));
    Timer2->stop();
    Timer1->start();
    receiver_.EnterLoader();
}

void TForm1::Timer1Timer() {
    Timer1->stop();
    Timer2->stop();
    SendFile();
    Timer2->stop();
    ComPort1->close();
    EndLoadControls();
}

void TForm1::Timer3Timer() {
    Timer3->stop();
    close();
}

void TForm1::SendFile() {
    if (!loading_) {
        return;
    }
    QByteArray image;
    if (!LoadImage(image)) {
        return;
    }
    SetStatus(Text(kProgramming));
    RbProgressBar1->setMaximum(ProgressOf(image.size()));
    RbProgressBar1->setValue(0);
    QString failure = TransferBlocks(image);
    if (failure.isEmpty()) {
        failure = AwaitRun();
    }
    if (failure.isEmpty()) {
        SetStatus(Text(kSucceeded));
    } else {
        SetStatus(failure);
        ShowError(failure);
    }
    FinishLog(failure.isEmpty() ? Text(kLogOk) : Text(kLogStatusPrefix) + edStatus->text());
    if (automatic_) {
        Timer3->start();
    }
}

// A file that cannot be read counts as an empty one.
bool TForm1::LoadImage(QByteArray& image) {
    if (fileName_.isEmpty()) {
        SetStatus(Text(kNoFile));
        return false;
    }
    QFile file(fileName_);
    if (file.open(QIODevice::ReadOnly)) {
        image = file.readAll();
    }
    if (image.isEmpty()) {
        SetStatus(Text(kBadFile));
        return false;
    }
    return true;
}

QString TForm1::TransferBlocks(const QByteArray& image) {
    qsizetype sent = 0;
    uint16_t number = 0;
    while (sent < image.size()) {
        if (!loading_) {
            return Text(kInterrupted);
        }
        const QByteArrayView data =
            QByteArrayView(image).sliced(sent, std::min(kBlockSize, image.size() - sent));
        sent += data.size();
        if (sent == image.size()) {
            number = kLastBlockNumber;
        }
        if (!SendBlock(number, data)) {
            return Text(kNoAnswer);
        }
        ++number;
        RbProgressBar1->setValue(ProgressOf(sent));
    }
    return {};
}

// The frame goes out as two writes, the CRC byte last. A cancel makes the
// waits of this and the remaining attempts fail at once.
bool TForm1::SendBlock(uint16_t number, QByteArrayView data) {
    const QByteArray frame = BlockFrame(number, data);
    const QByteArrayView bytes(frame);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        Write(bytes.chopped(1));
        Write(bytes.last(1));
        if (WaitForAck(kAckTimeout) == WaitResult::Done &&
            receiver_.AcknowledgedBlock() == number) {
            return true;
        }
    }
    return false;
}

QString TForm1::AwaitRun() {
    receiver_.GatherText();
    if (WaitForText(kRunTimeout, kRunText) != WaitResult::Done) {
        return Text(kLoadFailed);
    }
    return {};
}

TForm1::WaitResult TForm1::WaitForAck(int limit) {
    const QDeadlineTimer deadline(limit, Qt::PreciseTimer);
    for (;;) {
        if (deadline.hasExpired()) {
            return WaitResult::TimedOut;
        }
        if (receiver_.TakeAcknowledgement()) {
            return WaitResult::Done;
        }
        if (!loading_ || !WaitForEvents(deadline)) {
            return WaitResult::TimedOut;
        }
    }
}

TForm1::WaitResult TForm1::WaitForText(int limit, const char* text) {
    receiver_.ClearText();
    const QDeadlineTimer deadline(limit, Qt::PreciseTimer);
    for (;;) {
        if (deadline.hasExpired()) {
            return WaitResult::TimedOut;
        }
        if (receiver_.TextContains(text)) {
            return WaitResult::Done;
        }
        if (!loading_) {
            return WaitResult::Cancelled;
        }
        if (!WaitForEvents(deadline)) {
            return WaitResult::TimedOut;
        }
    }
}

// Handles events until the device's bytes or a cancel wake the wait, or
// the deadline passes. False once the program is ending and events no
// longer run.
bool TForm1::WaitForEvents(const QDeadlineTimer& deadline) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(std::max<qint64>(0, deadline.remainingTime()));
    QEventLoop* outer = std::exchange(wait_, &loop);
    const int result = loop.exec();
    wait_ = outer;
    return result == 0;
}

void TForm1::WakeWait() {
    if (wait_ != nullptr) {
        wait_->quit();
    }
}

// Lets the window repaint and the device's bytes in while time passes; the
// operator's input waits until the pause is over.
void TForm1::Pause(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void TForm1::SetStatus(const QString& text) {
    edStatus->setText(text);
}

void TForm1::ShowError(const QString& message) {
    QMessageBox box(QMessageBox::Critical, Text(kErrorTitle), message, QMessageBox::Ok, this);
    box.exec();
}

void TForm1::FinishLog(const QString& resultLine) {
    if (!log_) {
        return;
    }
    log_->append(resultLine);
    SaveLines(settingsDirectory_ + kLogName, *log_);
    log_.reset();
}
