// The window without a device: what it shows, ombrel.ini from one start to
// the next, the file dialog, and where the files go when the program's
// directory is not writable.
#include "WindowRig.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

namespace {

QVariant IniValue(const QString& path, const QString& key) {
    QSettings ini(path, QSettings::IniFormat);
    return ini.value(QStringLiteral("Settings/") + key);
}

QString IniPath(const WindowRig& rig) {
    return rig.directory.filePath(QStringLiteral("ombrel.ini"));
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void windowAsShown();
    void firstStartCreatesTheIni();
    void closingKeepsPortAndFileForTheNextStart();
    void choosingAFileLeavesTheIniAlone();
    void portOutsideTheList_data();
    void portOutsideTheList();
    void unwritableProgramDirectory();
};

void SettingsTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setQuitOnLastWindowClosed(false);
}

void SettingsTest::windowAsShown() {
    WindowRig rig;
    rig.Show();
    TForm1& form = *rig.form;
    QCOMPARE(form.windowTitle(), QStringLiteral("OmbrelLoader 2010 v1.1"));
    QCOMPARE(form.size(), QSize(505, 137));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.Label1->text(), QStringLiteral("Порт:"));
    QCOMPARE(form.Label4->text(), QStringLiteral("Файл:"));
    QCOMPARE(form.Label5->text(), QStringLiteral("Индикатор:"));
    QCOMPARE(form.Label6->text(), QStringLiteral("Состояние:"));
    QCOMPARE(form.btnConnect->text(), QStringLiteral("Загрузить"));
    QCOMPARE(form.btnOpen->text(), QStringLiteral("Выбрать файл..."));
    QCOMPARE(form.cmbComPort->count(), 30);
    QCOMPARE(form.cmbComPort->itemText(0), QStringLiteral("COM 1"));
    QCOMPARE(form.cmbComPort->itemText(29), QStringLiteral("COM 30"));
    QCOMPARE(form.cmbComPort->currentIndex(), 0);
    QVERIFY(form.edName->isReadOnly());
    QVERIFY(form.edStatus->isReadOnly());
    QCOMPARE(form.OpenDialog1->nameFilters(), QStringList{QStringLiteral("PKX (*.pkx)")});
    QVERIFY(form.OpenDialog1->testOption(QFileDialog::HideNameFilterDetails));
}

void SettingsTest::firstStartCreatesTheIni() {
    WindowRig rig;
    rig.Show();
    QCOMPARE(rig.form->SettingsDirectory(), rig.directory.path() + QLatin1Char('/'));
    QVERIFY(QFile::exists(IniPath(rig)));
    QCOMPARE(IniValue(IniPath(rig), QStringLiteral("COM")).toInt(), 1);
    QCOMPARE(IniValue(IniPath(rig), QStringLiteral("File")).toString(), QString());
}

void SettingsTest::closingKeepsPortAndFileForTheNextStart() {
    WindowRig rig;
    const QString file = rig.WriteImage(10, QStringLiteral("образ.pkx"));
    rig.WriteIni(3, file);
    rig.Show();
    QCOMPARE(rig.form->cmbComPort->currentIndex(), 2);
    QCOMPARE(rig.form->edName->text(), file);
    rig.form->cmbComPort->setCurrentIndex(11);
    rig.form->close();
    QCOMPARE(IniValue(IniPath(rig), QStringLiteral("COM")).toInt(), 12);
    QCOMPARE(IniValue(IniPath(rig), QStringLiteral("File")).toString(), file);

    rig.Show();
    QCOMPARE(rig.form->cmbComPort->currentIndex(), 11);
    QCOMPARE(rig.form->edName->text(), file);
}

// The dialog's choice is shown at once and reaches the ini when the window
// closes.
void SettingsTest::choosingAFileLeavesTheIniAlone() {
    WindowRig rig;
    const QString chosen = rig.WriteImage(10, QStringLiteral("chosen.pkx"));
    rig.Show();
    QFileDialog* dialog = rig.form->OpenDialog1;
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // The operator types the file's name and confirms.
    rig.WhileWaiting([dialog, chosen] {
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!dialog->isVisible() || name == nullptr) {
            return false;
        }
        name->setText(chosen);
        static_cast<QDialog*>(dialog)->accept();
        return true;
    });
    rig.form->btnOpen->click();
    QCOMPARE(rig.form->edName->text(), chosen);
    QCOMPARE(IniValue(IniPath(rig), QStringLiteral("File")).toString(), QString());
    rig.form->close();
    QCOMPARE(IniValue(IniPath(rig), QStringLiteral("File")).toString(), chosen);
}

void SettingsTest::portOutsideTheList_data() {
    QTest::addColumn<QString>("port");
    QTest::newRow("0") << "0";
    QTest::newRow("31") << "31";
    QTest::newRow("not-a-number") << "COM5";
}

void SettingsTest::portOutsideTheList() {
    QFETCH(QString, port);
    WindowRig rig;
    {
        QSettings ini(IniPath(rig), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Settings/COM"), port);
    }
    rig.Show();
    QCOMPARE(rig.form->cmbComPort->currentIndex(), 0);
    rig.form->close();
    QCOMPARE(IniValue(IniPath(rig), QStringLiteral("COM")).toInt(), 1);
}

// A program directory that cannot be written to (here: one that is gone)
// sends the ini to the user's configuration directory.
void SettingsTest::unwritableProgramDirectory() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir(config).removeRecursively();
    QTemporaryDir scratch;
    const QString gone = scratch.filePath(QStringLiteral("gone"));
    {
        TForm1 form(gone, QString());
        form.show();
        QCOMPARE(form.SettingsDirectory(), config + QLatin1Char('/'));
        form.cmbComPort->setCurrentIndex(4);
        form.close();
    }
    QVERIFY(!QFileInfo::exists(gone));
    QCOMPARE(IniValue(config + QStringLiteral("/ombrel.ini"), QStringLiteral("COM")).toInt(), 5);
    QDir(config).removeRecursively();
}

QTEST_MAIN(SettingsTest)
#include "SettingsTest.moc"
