// The programs as users run them: ombrel -a, copied into a directory of its
// own beside its ini file, loads a file into vtarget --ombrel and ends by
// itself; the device's dump is the file.
#include "WindowRig.h"

#include <QProcess>
#include <QSettings>
#include <QTest>

class ProgramTest : public QObject {
    Q_OBJECT

  private slots:
    void automaticLoadOfTheProgram();
};

void ProgramTest::automaticLoadOfTheProgram() {
    QTemporaryDir scratch;
    const QString program = scratch.filePath(QStringLiteral("ombrel"));
    QVERIFY(QFile::copy(QStringLiteral(OMBREL_PROGRAM), program));
    const QString board = scratch.filePath(QStringLiteral("board"));
    const QString dump = scratch.filePath(QStringLiteral("dump.bin"));

    QProcess device;
    device.start(QStringLiteral(VTARGET_PROGRAM),
                 {"--ombrel", "--ombrel-run", "\r\nRun\r\n", "--link", board, "--dump", dump});
    QVERIFY(device.waitForReadyRead(5000));
    QCOMPARE(device.readLine().trimmed(), ("vtarget ready on " + board).toUtf8());

    const QByteArray image = ImageBytes(1000);
    QFile file(scratch.filePath(QStringLiteral("firmware.pkx")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();
    {
        QSettings ini(scratch.filePath(QStringLiteral("ombrel.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Settings/COM"), 9);
        ini.setValue(QStringLiteral("Settings/File"), file.fileName());
    }

    QProcess ombrel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ULVEX_COM9"), board);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ombrel.setProcessEnvironment(environment);
    ombrel.start(program, {"-a"});
    QVERIFY(ombrel.waitForFinished(15000));
    QCOMPARE(ombrel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ombrel.exitCode(), 0);

    QFile log(scratch.filePath(QStringLiteral("ombrel.log")));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("OMBREL-LOADER\r\nStart load...\r\nLoad status: OK\r\n"));
    QVERIFY(device.waitForReadyRead(1000) || device.canReadLine());
    QCOMPARE(device.readLine().trimmed(),
             QByteArray("vtarget: board restarted, running from 0x000000"));
    device.terminate();
    QVERIFY(device.waitForFinished(5000));
    QCOMPARE(device.exitCode(), 0);
    QFile dumped(dump);
    QVERIFY(dumped.open(QIODevice::ReadOnly));
    QCOMPARE(dumped.readAll(), image);
}

QTEST_GUILESS_MAIN(ProgramTest)
#include "ProgramTest.moc"
