// Where the window keeps ombrel.ini and ombrel.log, and how it writes the
// log. Both live in the program's directory, as users of the program expect;
// an installed program's directory is not writable, and then they live in
// the user's configuration directory instead.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace ombrel {

inline QString WithSeparator(const QString& directory) {
    return directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/');
}

inline QString SettingsDirectory(const QString& programDirectory) {
    const QFileInfo program(programDirectory);
    if (program.isDir() && program.isWritable()) {
        return WithSeparator(programDirectory);
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return WithSeparator(config);
}

// Replaces the file with the lines, each ended by carriage return and line feed.
inline bool SaveLines(const QString& path, const QStringList& lines) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    for (const QString& line : lines) {
        file.write(line.toUtf8());
        file.write("\r\n");
    }
    return file.flush();
}

} // namespace ombrel
