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

bool startedWithRendererAccessibility(qint64 processId)
{
    if (processId <= 0)
        return false;
    QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(processId));
    if (!commandLine.open(QIODevice::ReadOnly))
        return false;
    // Arguments end with a zero byte each; a command line is a few kilobytes at most.
    const QList<QByteArray> arguments = commandLine.read(1 << 20).split('\0');
    return arguments.contains(QByteArrayLiteral("--force-renderer-accessibility"));
}

bool startedWithAccessibilityBridge(qint64 processId)
{
    if (processId <= 0)
        return false;
    QFile environment(QStringLiteral("/proc/%1/environ").arg(processId));
    if (!environment.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& variable : environment.read(1 << 20).split('\0')) {
        if (variable.startsWith("GTK_MODULES="))
            return variable.mid(12).split(':').contains("atk-bridge");
    }
    return false;
}

} // namespace morvane
