// Loads through the window against the Ombrel device on a pseudo-terminal:
// the blocks a file becomes, the device's answers and faults, the prompt,
// cancels, the log and automatic mode. Functions named slow* wait out the
// protocol's time-outs.
#include "WindowRig.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

namespace {

const QString kSucceeded = QStringLiteral("Программирование закончено успешно.");
const QString kNoAnswer = QStringLiteral("Ошибка: нет ответа от устройства!");
const QString kLoadFailed = QStringLiteral("Ошибка загрузки!");
const QString kWaitingForReset = QStringLiteral("Ожидание сброса устройства...");
const QString kErrorTitle = QStringLiteral("Ошибка");
// The first word in Cyrillic letters: С, О, М.
const QString kPortUnavailable =
    QStringLiteral("\u0421\u041e\u041c порт не доступен. Возможно он занят!");
const QStringList kLogHead = {QStringLiteral("OMBREL-LOADER"), QStringLiteral("Start load...")};

vtarget::OmbrelOptions Fault(vtarget::OmbrelFault fault, uint16_t block, int64_t count = 1) {
    vtarget::OmbrelOptions options;
    options.fault = fault;
    options.faultBlock = block;
    options.faultCount = count;
    return options;
}

QByteArray ReceivedFile(const WindowRig& rig) {
    const std::vector<uint8_t> bytes = rig.device->ReceivedImage();
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

// Notes when a window gets its close event.
class CloseWatcher : public QObject {
  public:
    explicit CloseWatcher(const QElapsedTimer& clock) : clock_(clock) {}
    qint64 closedAt = -1;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            closedAt = clock_.elapsed();
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    const QElapsedTimer& clock_;
};

} // namespace

class LoadTest : public QObject {
    Q_OBJECT

  private slots:
    void blocksOfAFile_data();
    void blocksOfAFile();
    void answerForAnotherBlockIsAFailedAttempt();
    void threeWrongAnswersEndTheLoad();
    void answerInTwoArrivalsIsGathered();
    void runTextInLowerCaseWithBlanks();
    void promptMustBeSixInARow_data();
    void promptMustBeSixInARow();
    void cancelDuringAnAnswerWaitFailsTheBlock();
    void nothingToSend_data();
    void nothingToSend();
    void portThatCannotBeOpened_data();
    void portThatCannotBeOpened();
    void automaticLoadClosesTheWindow();
    void automaticLoadWithoutFileStaysOpen();
    void slowUnrecognisedAnswerIsWaitedOut_data();
    void slowUnrecognisedAnswerIsWaitedOut();
    void slowSilentDeviceGivesNoAnswer();
    void slowMissingRunTextFailsTheLoad();
};

void LoadTest::blocksOfAFile_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("layout");
    QTest::newRow("300") << 300 << "0000:128 0001:128 FF00:44";
    QTest::newRow("128") << 128 << "FF00:128";
    QTest::newRow("256") << 256 << "0000:128 FF00:128";
}

void LoadTest::blocksOfAFile() {
    QFETCH(int, size);
    QFETCH(QString, layout);
    WindowRig rig;
    QVERIFY(rig.Prepare({}, rig.WriteImage(size)));
    QVERIFY(rig.Load());
    QCOMPARE(rig.Status(), kSucceeded);
    QCOMPARE(rig.BlockLayout(), layout);
    QCOMPARE(ReceivedFile(rig), rig.image);
    QCOMPARE(rig.form->RbProgressBar1->maximum(), size);
    QCOMPARE(rig.form->RbProgressBar1->value(), size);
    QCOMPARE(rig.LogBytes(), QByteArray("OMBREL-LOADER\r\nStart load...\r\nLoad status: OK\r\n"));
    QVERIFY(rig.boxes.texts.isEmpty());
    QVERIFY(rig.form->cmbComPort->isEnabled());
    QVERIFY(rig.form->btnOpen->isEnabled());
}

// An answer naming another block is taken at once and the block written
// again, without waiting out the second.
void LoadTest::answerForAnotherBlockIsAFailedAttempt() {
    WindowRig rig;
    QVERIFY(rig.Prepare(Fault(vtarget::OmbrelFault::WrongBlock, 1), rig.WriteImage(300)));
    QVERIFY(rig.Load());
    QCOMPARE(rig.Status(), kSucceeded);
    QCOMPARE(rig.BlockNumbers(), (std::vector<uint16_t>{0, 1, 1, 0xFF00}));
    QVERIFY2(rig.RetryGap(1) < 500, qPrintable(QString::number(rig.RetryGap(1))));
    QCOMPARE(ReceivedFile(rig), rig.image);
}

void LoadTest::threeWrongAnswersEndTheLoad() {
    WindowRig rig;
    QVERIFY(rig.Prepare(Fault(vtarget::OmbrelFault::WrongBlock, 0, 3), rig.WriteImage(300)));
    QVERIFY(rig.Load());
    QCOMPARE(rig.BlockNumbers(), (std::vector<uint16_t>{0, 0, 0}));
    QCOMPARE(rig.Status(), kNoAnswer);
    QCOMPARE(rig.boxes.titles, QStringList{kErrorTitle});
    QCOMPARE(rig.boxes.texts, QStringList{kNoAnswer});
    QCOMPARE(rig.LogLines(), kLogHead + QStringList{"Load status: " + kNoAnswer});
    QVERIFY(rig.device->ReceivedImage().empty());
}

// Four bytes gathered over two arrivals make an answer.
void LoadTest::answerInTwoArrivalsIsGathered() {
    WindowRig rig;
    QVERIFY(rig.Prepare(Fault(vtarget::OmbrelFault::SplitAnswer, 0), rig.WriteImage(300)));
    QVERIFY(rig.Load());
    QCOMPARE(rig.Status(), kSucceeded);
    QCOMPARE(rig.BlockNumbers(), (std::vector<uint16_t>{0, 1, 0xFF00}));
}

void LoadTest::runTextInLowerCaseWithBlanks() {
    vtarget::OmbrelOptions device;
    device.runText = " run \r\n";
    WindowRig rig;
    QVERIFY(rig.Prepare(device, rig.WriteImage(200)));
    QVERIFY(rig.Load());
    QCOMPARE(rig.Status(), kSucceeded);
    QCOMPARE(rig.LogLines().value(2), QStringLiteral("Load status: OK"));
}

void LoadTest::promptMustBeSixInARow_data() {
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<bool>("enters");
    QTest::newRow("six") << ">>>>>>" << true;
    QTest::newRow("five-other-five") << ">>>>>x>>>>>" << false;
}

// Without the prompt the load waits until the operator cancels it; the
// port stays open and the prompt still watched, as the window leaves them.
void LoadTest::promptMustBeSixInARow() {
    QFETCH(QString, prompt);
    QFETCH(bool, enters);
    vtarget::OmbrelOptions device;
    device.prompt = prompt.toStdString();
    WindowRig rig;
    QVERIFY(rig.Prepare(device, rig.WriteImage(100)));
    if (enters) {
        QVERIFY(rig.Load());
        QCOMPARE(rig.Status(), kSucceeded);
        return;
    }
    QVERIFY(!rig.Load(1600));
    QCOMPARE(rig.Status(), kWaitingForReset);
    QVERIFY(rig.Blocks().empty());
    rig.form->btnConnect->click();
    QCOMPARE(rig.Status(), QStringLiteral("Отменено пользователем."));
    QCOMPARE(rig.form->btnConnect->text(), QStringLiteral("Загрузить"));
    QCOMPARE(rig.LogLines(), kLogHead + QStringList{"Load status: user cancel"});
    QVERIFY(rig.form->ComPort1->isOpen());
    QVERIFY(rig.form->Timer2->isActive());
}

// The cancel comes while block 0 waits for its answer: that attempt and
// the two left fail at once, each writing the frame again.
void LoadTest::cancelDuringAnAnswerWaitFailsTheBlock() {
    WindowRig rig;
    QVERIFY(rig.Prepare(Fault(vtarget::OmbrelFault::Silent, 0, 100), rig.WriteImage(300)));
    rig.WhileWaiting([&rig] {
        if (rig.device->MailCount() == 0) {
            return false;
        }
        rig.form->btnConnect->click();
        return true;
    });
    QVERIFY(rig.Load());
    // The last two attempts leave just before the load ends: the device's
    // thread may still be reading them.
    QTRY_COMPARE(rig.BlockNumbers(), (std::vector<uint16_t>{0, 0, 0}));
    const std::vector<ReceivedBlock> blocks = rig.Blocks();
    const auto spread = blocks.back().at - blocks.front().at;
    QVERIFY(spread < std::chrono::milliseconds(700));
    QCOMPARE(rig.Status(), kNoAnswer);
    QCOMPARE(rig.boxes.texts, QStringList{kNoAnswer});
    QCOMPARE(rig.LogLines(), kLogHead + QStringList{"Load status: user cancel"});
}

void LoadTest::nothingToSend_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("status");
    const QString incorrect = QStringLiteral("Некорректный файл для программирования устройства.");
    QTest::newRow("no-file") << ""
                             << "Не указан файл для программирования устройства.";
    QTest::newRow("empty-file") << "empty.pkx" << incorrect;
    QTest::newRow("missing-file") << "missing.pkx" << incorrect;
}

// The status says why; no box, no block, and the log stays unwritten.
void LoadTest::nothingToSend() {
    QFETCH(QString, file);
    QFETCH(QString, status);
    WindowRig rig;
    const QString path = file.isEmpty() ? QString() : rig.directory.filePath(file);
    if (file == QLatin1String("empty.pkx")) {
        rig.WriteImage(0, file);
    }
    QVERIFY(rig.Prepare({}, path));
    QVERIFY(rig.Load());
    QCOMPARE(rig.Status(), status);
    QVERIFY(rig.boxes.texts.isEmpty());
    QVERIFY(rig.Blocks().empty());
    QVERIFY(!QFile::exists(rig.directory.filePath(QStringLiteral("ombrel.log"))));
}

void LoadTest::portThatCannotBeOpened_data() {
    QTest::addColumn<bool>("inUse");
    QTest::newRow("no-device") << false;
    QTest::newRow("in-use") << true;
}

void LoadTest::portThatCannotBeOpened() {
    QFETCH(bool, inUse);
    WindowRig rig;
    QSerialPort other;
    if (inUse) {
        QVERIFY(rig.StartDevice());
        other.setPortName(QString::fromStdString(rig.device->SlavePath()));
        QVERIFY(other.open(QIODevice::ReadWrite));
    } else {
        WindowRig::PointPortAt(rig.directory.filePath(QStringLiteral("nothing")));
    }
    rig.WriteIni(WindowRig::kPort, rig.WriteImage(100));
    rig.Show();
    QVERIFY(rig.Load());
    QCOMPARE(rig.Status(), kPortUnavailable);
    QCOMPARE(rig.boxes.titles, QStringList{kErrorTitle});
    QCOMPARE(rig.boxes.texts, QStringList{kPortUnavailable});
    QCOMPARE(rig.LogLines(), kLogHead + QStringList{"Load status: " + kPortUnavailable});
    QVERIFY(rig.form->cmbComPort->isEnabled());
    QVERIFY(!rig.form->Timer2->isActive());
}

// "-a" in any case: the load starts by itself and the window closes 500 ms
// after the transfer.
void LoadTest::automaticLoadClosesTheWindow() {
    WindowRig rig;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(rig.Prepare({}, rig.WriteImage(300), QStringLiteral("-A")));
    CloseWatcher watcher(clock);
    rig.form->installEventFilter(&watcher);
    qint64 succeededAt = -1;
    QObject::connect(rig.form->edStatus, &QLineEdit::textChanged, [&](const QString& text) {
        if (text == kSucceeded) {
            succeededAt = clock.elapsed();
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(watcher.closedAt >= 0, 8000);
    QVERIFY(succeededAt >= 0);
    const qint64 delay = watcher.closedAt - succeededAt;
    QVERIFY2(delay >= 450 && delay < 1000, qPrintable(QString::number(delay)));
    QCOMPARE(ReceivedFile(rig), rig.image);
    QCOMPARE(rig.LogLines().value(2), QStringLiteral("Load status: OK"));
}

// Without a file nothing is transferred, and the window stays.
void LoadTest::automaticLoadWithoutFileStaysOpen() {
    WindowRig rig;
    QVERIFY(rig.Prepare({}, QString(), QStringLiteral("-a")));
    QTRY_COMPARE_WITH_TIMEOUT(
        rig.Status(), QStringLiteral("Не указан файл для программирования устройства."), 5000);
    QTest::qWait(800);
    QVERIFY(rig.form->isVisible());
    QVERIFY(!rig.form->Timer3->isActive());
}

void LoadTest::slowUnrecognisedAnswerIsWaitedOut_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("block");
    QTest::newRow("bad-crc") << int(vtarget::OmbrelFault::BadCrc) << 1;
    QTest::newRow("byte-before-it") << int(vtarget::OmbrelFault::LeadByte) << 0;
    QTest::newRow("byte-after-it") << int(vtarget::OmbrelFault::ExtraByte) << 0;
}

// An answer not recognised leaves the attempt to time out after 1000 ms;
// the block is written again and its answer, recognised this time, taken.
void LoadTest::slowUnrecognisedAnswerIsWaitedOut() {
    QFETCH(int, fault);
    QFETCH(int, block);
    WindowRig rig;
    const auto number = static_cast<uint16_t>(block);
    QVERIFY(rig.Prepare(Fault(vtarget::OmbrelFault(fault), number), rig.WriteImage(300)));
    QVERIFY(rig.Load());
    QCOMPARE(rig.Status(), kSucceeded);
    QCOMPARE(rig.Blocks().size(), size_t{4});
    const qint64 gap = rig.RetryGap(number);
    QVERIFY2(gap >= 950 && gap < 1500, qPrintable(QString::number(gap)));
    QCOMPARE(ReceivedFile(rig), rig.image);
}

void LoadTest::slowSilentDeviceGivesNoAnswer() {
    WindowRig rig;
    QVERIFY(rig.Prepare(Fault(vtarget::OmbrelFault::Silent, 0xFF00, 3), rig.WriteImage(300)));
    QVERIFY(rig.Load());
    QCOMPARE(rig.BlockNumbers(), (std::vector<uint16_t>{0, 1, 0xFF00, 0xFF00, 0xFF00}));
    const qint64 gap = rig.RetryGap(0xFF00);
    QVERIFY2(gap >= 950 && gap < 1500, qPrintable(QString::number(gap)));
    QCOMPARE(rig.Status(), kNoAnswer);
    QCOMPARE(rig.boxes.texts, QStringList{kNoAnswer});
    QCOMPARE(rig.LogLines(), kLogHead + QStringList{"Load status: " + kNoAnswer});
}

void LoadTest::slowMissingRunTextFailsTheLoad() {
    vtarget::OmbrelOptions device;
    device.runText.clear();
    WindowRig rig;
    QVERIFY(rig.Prepare(device, rig.WriteImage(300)));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(rig.Load());
    QVERIFY(clock.elapsed() >= 3000);
    QCOMPARE(ReceivedFile(rig), rig.image);
    QCOMPARE(rig.Status(), kLoadFailed);
    QCOMPARE(rig.boxes.titles, QStringList{kErrorTitle});
    QCOMPARE(rig.boxes.texts, QStringList{kLoadFailed});
    QCOMPARE(rig.LogLines(), kLogHead + QStringList{"Load status: " + kLoadFailed});
}

QTEST_MAIN(LoadTest)
#include "LoadTest.moc"
