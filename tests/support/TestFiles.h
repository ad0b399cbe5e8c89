#pragma once

#include "TestEnvironment.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

#include <sys/stat.h>

namespace morvane::test {

// A path in the test's home.
inline QString homePath(const QString& relative)
{
    return QDir(testHome()).filePath(relative);
}

// Writes the file, making its folders; a relative path is taken in the test's home. Returns the path.
inline QString writeFile(const QString& path, const QByteArray& content)
{
    const QString absolute = homePath(path);
    QDir().mkpath(QFileInfo(absolute).absolutePath());
    QFile file(absolute);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(absolute));
    file.write(content);
    return absolute;
}

// Moves the file, making the target's folders; relative paths are taken in the test's home.
inline QString renameFile(const QString& from, const QString& to)
{
    const QString target = homePath(to);
    QDir().mkpath(QFileInfo(target).absolutePath());
    if (!QFile::rename(homePath(from), target))
        qFatal("cannot rename %s", qPrintable(from));
    return target;
}

// The digest the system's own tool computes.
inline QString sha256sumOf(const QString& path)
{
    QProcess process;
    process.start("sha256sum", {path});
    process.waitForFinished();
    return QString::fromLatin1(process.readAllStandardOutput()).section(u' ', 0, 0);
}

inline bool makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

} // namespace morvane::test
