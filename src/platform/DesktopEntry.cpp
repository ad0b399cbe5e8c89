#include "DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace morvane::desktop_entry {

namespace {

// The [Desktop Entry] group's key of a line, or nothing for any other line.
QString keyOfLine(const QString& line)
{
    const qsizetype equals = line.indexOf(u'=');
    return equals > 0 ? line.left(equals).trimmed() : QString();
}

} // namespace

QHash<QString, QString> keys(const QByteArray& contents)
{
    QHash<QString, QString> found;
    bool inEntry = false;
    for (const QByteArray& rawLine : contents.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const QString key = keyOfLine(line);
        if (inEntry && !key.isEmpty())
            found.insert(key, line.mid(line.indexOf(u'=') + 1).trimmed());
    }
    return found;
}

QString program(const QString& execValue)
{
    // The string value's own escapes first, then the Exec quoting.
    QString value;
    for (qsizetype i = 0; i < execValue.size(); ++i) {
        if (execValue[i] == u'\\' && i + 1 < execValue.size()) {
            const QChar next = execValue[++i];
            value += next == u's'   ? QChar(u' ')
                     : next == u'n' ? QChar(u'\n')
                     : next == u't' ? QChar(u'\t')
                                    : next;
        } else {
            value += execValue[i];
        }
    }
    QString word;
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'"') {
            quoted = !quoted;
        } else if (quoted && c == u'\\' && i + 1 < value.size()) {
            word += value[++i];
        } else if (!quoted && (c == u' ' || c == u'\t')) {
            if (!word.isEmpty())
                break;
        } else {
            word += c;
        }
    }
    return word.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

bool isMorvaneEntry(const QHash<QString, QString>& keys)
{
    const QFileInfo started(program(keys.value(QStringLiteral("Exec"))));
    return keys.value(QStringLiteral("Name")) == QLatin1String("Morvane") && started.isAbsolute() &&
           started.fileName() == QLatin1String("morvane");
}

QByteArray withExec(const QByteArray& contents, const QString& execValue)
{
    QByteArrayList lines = contents.split('\n');
    bool inEntry = false;
    for (QByteArray& line : lines) {
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.startsWith(u'['))
            inEntry = text == QLatin1String("[Desktop Entry]");
        else if (inEntry && keyOfLine(text) == QLatin1String("Exec"))
            line = "Exec=" + execValue.toUtf8();
    }
    return lines.join('\n');
}

std::optional<QByteArray> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

bool write(const QString& path, const QByteArray& contents)
{
    QSaveFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(contents) == contents.size() && file.commit();
}

QString execValue(const QString& executablePath)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes = std::any_of(executablePath.cbegin(), executablePath.cend(),
                                         [](QChar c) { return reserved.contains(c); });
    QString argument;
    if (needsQuotes) {
        argument += u'"';
        for (const QChar c : executablePath) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                argument += u'\\';
            argument += c;
        }
        argument += u'"';
    } else {
        argument = executablePath;
    }
    argument.replace(u'%', QStringLiteral("%%"));
    // The escapes of every string value of a desktop entry come on top of the quoting.
    QString value;
    for (const QChar c : argument) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else if (c == u'\r')
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

QStringList systemDataDirectories()
{
    const QString configured = qEnvironmentVariable("XDG_DATA_DIRS");
    QStringList directories = configured.split(u':', Qt::SkipEmptyParts);
    if (directories.isEmpty())
        directories = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    return directories;
}

} // namespace morvane::desktop_entry
