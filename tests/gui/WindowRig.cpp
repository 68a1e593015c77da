#include "WindowRig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTest>

namespace {

QByteArray PortVariable() {
    return "ULVEX_COM" + QByteArray::number(WindowRig::kPort);
}

} // namespace

MessageBoxCatcher::MessageBoxCatcher() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        titles.append(box->windowTitle());
        texts.append(box->text());
        box->button(QMessageBox::Ok)->click();
    });
    timer_.start();
}

QByteArray ImageBytes(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 37 + i / 256 + 0x7E) & 0xFF);
    }
    return bytes;
}

WindowRig::WindowRig() {
    helper_.setInterval(10);
}

WindowRig::~WindowRig() {
    form.reset();
    if (device) {
        device->Stop();
    }
    qunsetenv(PortVariable().constData());
}

void WindowRig::PointPortAt(const QString& path) {
    qputenv(PortVariable().constData(), path.toUtf8());
}

bool WindowRig::StartDevice(vtarget::OmbrelOptions device_) {
    vtarget::BoardOptions options;
    options.ombrel = std::move(device_);
    options.ombrel.enabled = true;
    device = std::make_unique<vtarget::Board>(options);
    std::string error;
    if (!device->Start(error)) {
        qWarning("the device did not start: %s", error.c_str());
        return false;
    }
    PointPortAt(QString::fromStdString(device->SlavePath()));
    return true;
}

void WindowRig::WriteIni(int port, const QString& file) {
    QSettings ini(directory.filePath(QStringLiteral("ombrel.ini")), QSettings::IniFormat);
    ini.beginGroup("Settings");
    ini.setValue("COM", port);
    ini.setValue("File", file);
}

QString WindowRig::WriteImage(int size, const QString& name) {
    image = ImageBytes(size);
    const QString path = directory.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size()) {
        qWarning("cannot write %s", qPrintable(path));
    }
    return path;
}

void WindowRig::Show(const QString& argument) {
    form = std::make_unique<TForm1>(directory.path(), argument);
    form->show();
}

bool WindowRig::Prepare(const vtarget::OmbrelOptions& options, const QString& file,
                        const QString& argument) {
    if (!StartDevice(options)) {
        return false;
    }
    WriteIni(kPort, file);
    Show(argument);
    return true;
}

bool WindowRig::LoadEnded() const {
    return form->btnConnect->text() == QStringLiteral("Загрузить") && !form->ComPort1->isOpen();
}

bool WindowRig::Load(int timeoutMs) {
    form->btnConnect->click();
    QElapsedTimer clock;
    clock.start();
    while (!LoadEnded() && clock.elapsed() < timeoutMs) {
        QTest::qWait(10);
    }
    return LoadEnded();
}

void WindowRig::WhileWaiting(std::function<bool()> work) {
    QObject::disconnect(&helper_, nullptr, nullptr, nullptr);
    QObject::connect(&helper_, &QTimer::timeout, [this, work = std::move(work)] {
        if (work()) {
            helper_.stop();
        }
    });
    helper_.start();
}

QString WindowRig::Status() const {
    return form->edStatus->text();
}

QByteArray WindowRig::LogBytes() const {
    QFile file(directory.filePath(QStringLiteral("ombrel.log")));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

QStringList WindowRig::LogLines() const {
    QStringList lines = QString::fromUtf8(LogBytes()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.constLast().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

std::vector<ReceivedBlock> WindowRig::Blocks() const {
    std::vector<ReceivedBlock> blocks;
    for (const vtarget::ReceivedMail& mail : device->Mails()) {
        const auto number = static_cast<uint16_t>(mail.payload.at(0) << 8 | mail.payload.at(1));
        blocks.push_back({number, mail.payload.at(2), mail.at});
    }
    return blocks;
}

std::vector<uint16_t> WindowRig::BlockNumbers() const {
    std::vector<uint16_t> numbers;
    for (const ReceivedBlock& block : Blocks()) {
        numbers.push_back(block.number);
    }
    return numbers;
}

QString WindowRig::BlockLayout() const {
    QStringList parts;
    for (const ReceivedBlock& block : Blocks()) {
        parts.append(QStringLiteral("%1:%2")
                         .arg(block.number, 4, 16, QLatin1Char('0'))
                         .arg(block.size)
                         .toUpper());
    }
    return parts.join(QLatin1Char(' '));
}

qint64 WindowRig::RetryGap(uint16_t number) const {
    std::vector<std::chrono::steady_clock::time_point> times;
    for (const ReceivedBlock& block : Blocks()) {
        if (block.number == number) {
            times.push_back(block.at);
        }
    }
    if (times.size() < 2) {
        return -1;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(times[1] - times[0]).count();
}
