#include "CaptureReason.h"

#include <QFile>

namespace morvane {

WindowReading WindowReading::nothingBecause(QString reason)
{
    WindowReading reading;
    reading.reason = std::move(reason);
    return reading;
}

namespace captureReason {

QString accessibilityBusOff()
{
    return QStringLiteral("Morvane reads this window over the accessibility bus, which is off: turn it on in "
                          "Preferences › About › Permissions.");
}

QString applicationNotRead(const QString& windowClass)
{
    return QStringLiteral("Morvane cannot read items from %1. Type to search all links.").arg(windowClass);
}

QString nothingSelected(const QString& fileManager)
{
    return QStringLiteral("Select a file in %1 to capture it.").arg(fileManager);
}

QString selectionNotShown(const QString& fileManager)
{
    return QStringLiteral("%1's icon views do not show their selection to other programs: switch to the "
                          "list view (Ctrl+2) to capture the selected file.")
        .arg(fileManager);
}

QString folderNotKnown(const QString& fileManager)
{
    return QStringLiteral("%1 does not say which folder this window shows, so its selection cannot be "
                          "captured.")
        .arg(fileManager);
}

QString pagesNotShown(const QString& browser)
{
    return QStringLiteral("Start %1 with --force-renderer-accessibility to let Morvane read its pages.")
        .arg(browser);
}

QString noMessageSelected(const QString& mailClient)
{
    return QStringLiteral("Select a message in %1's mail view to capture it.").arg(mailClient);
}

QString bridgeNotLoaded(const QString& application)
{
    return QStringLiteral("Start %1 with GTK_MODULES=gail:atk-bridge to let Morvane read it.")
        .arg(application);
}

QString accountNotRead(const QString& mailClient)
{
    return QStringLiteral("Morvane captures messages only from %1's local and IMAP accounts.")
        .arg(mailClient);
}

} // namespace captureReason

namespace {

// What the process was started with, from /proc: its arguments ("cmdline") or its environment
// ("environ"), each string ending with a zero byte; empty when it cannot be read. Either is a few
// kilobytes at most.
QList<QByteArray> startStrings(qint64 processId, const char* entry)
{
    if (processId <= 0)
        return {};
    QFile file(QStringLiteral("/proc/%1/%2").arg(processId).arg(QLatin1String(entry)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(1 << 20).split('\0');
}

} // namespace

bool startedWithRendererAccessibility(qint64 processId)
{
    return startStrings(processId, "cmdline").contains(QByteArrayLiteral("--force-renderer-accessibility"));
}

bool startedWithAccessibilityBridge(qint64 processId)
{
    for (const QByteArray& variable : startStrings(processId, "environ")) {
        if (variable.startsWith("GTK_MODULES="))
            return variable.mid(12).split(':').contains("atk-bridge");
    }
    return false;
}

} // namespace morvane
