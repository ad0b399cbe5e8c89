#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

#include <sys/stat.h>

namespace morvane::test {

inline void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(content);
}

inline QString sha256sumOf(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("sha256sum"), {path});
    process.waitForFinished();
    return QString::fromLatin1(process.readAllStandardOutput()).section(u' ', 0, 0);
}

inline bool makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

} // namespace morvane::test
