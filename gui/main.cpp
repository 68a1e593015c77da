// Ombrel, the window loader: sends an image file to a device over a serial
// port with the device's block protocol. With "-a" as the first argument
// it loads at once and ends 500 ms after the transfer.
#include "Unit1.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Names the configuration directory, used when the program's own is not writable.
    QApplication::setApplicationName(QStringLiteral("ombrel"));
    TForm1 form(QApplication::applicationDirPath(), QApplication::arguments().value(1));
    form.show();
    return QApplication::exec();
}
