#include "FileStatus.h"

namespace morvane {

QString timestampText(const FileTimestamp& timestamp)
{
    return QStringLiteral("%1.%2")
        .arg(timestamp.seconds)
        .arg(static_cast<qulonglong>(timestamp.nanoseconds), 9, 10, QLatin1Char('0'));
}

QString fileResourceIdentifierText(const FileStatus& status)
{
    QString text = QString::number(status.inode);
    if (status.birthTime)
        text += u'-' + timestampText(*status.birthTime);
    return text;
}

} // namespace morvane
