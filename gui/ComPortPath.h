// The device behind COM port n on this platform: the path in the
// environment variable ULVEX_COM<n> if it is set, else the n-th standard
// UART, /dev/ttyS<n-1>.
#pragma once

#include <QByteArray>
#include <QString>

namespace ombrel {

inline QString ComPortPath(int number) {
    const QByteArray variable = "ULVEX_COM" + QByteArray::number(number);
    const QString path = qEnvironmentVariable(variable.constData());
    if (!path.isEmpty()) {
        return path;
    }
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

} // namespace ombrel
