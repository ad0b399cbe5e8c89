#include "MailMessageMatch.h"

#include <QRegularExpression>
#include <QUrl>

namespace morvane {

namespace {

const QString cellSeparator = QStringLiteral(", ");

// Whether the text is one whole cell of the row: at its start or after a separator, and at its end
// or before one. Cells may hold the separator themselves, so every occurrence is tried.
bool holdsCell(const QString& row, const QString& cell)
{
    if (cell.isEmpty())
        return false;
    for (qsizetype at = row.indexOf(cell); at >= 0; at = row.indexOf(cell, at + 1)) {
        const bool starts =
            at == 0 || row.mid(at - cellSeparator.size(), cellSeparator.size()) == cellSeparator;
        const qsizetype end = at + cell.size();
        const bool ends = end == row.size() || row.mid(end, cellSeparator.size()) == cellSeparator;
        if (starts && ends)
            return true;
    }
    return false;
}

bool senderShown(const QString& row, const StoredMessage& message)
{
    if (!message.senderName.isEmpty() && !message.senderAddress.isEmpty() &&
        holdsCell(row, message.senderName + QStringLiteral(" <") + message.senderAddress + u'>'))
        return true;
    return holdsCell(row, message.senderName) || holdsCell(row, message.senderAddress);
}

// The times of day the row shows ("09:15", "9:15 AM"); the list shows no seconds.
bool timeShown(const QString& row, const QDateTime& date)
{
    static const QRegularExpression time(
        QStringLiteral("(?:^|[^0-9])([0-9]{1,2}):([0-9]{2})(?![0-9:])\\s*([AaPp][Mm])?"));
    auto matches = time.globalMatch(row);
    if (!matches.hasNext())
        return true; // the list shows only a day, or nothing: the time cannot tell messages apart
    if (!date.isValid())
        return false;
    const QTime local = date.toLocalTime().time();
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        int hour = match.captured(1).toInt();
        const int minute = match.captured(2).toInt();
        if (const QString half = match.captured(3).toLower(); !half.isEmpty())
            hour = hour % 12 + (half == QLatin1String("pm") ? 12 : 0);
        if (hour == local.hour() && minute == local.minute())
            return true;
    }
    return false;
}

} // namespace

std::optional<QString> mailFolderOfMessageUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != QLatin1String("mailbox") || !parsed.host().isEmpty())
        return std::nullopt;
    const QString path = parsed.path(QUrl::FullyDecoded);
    if (!path.startsWith(u'/') || path.contains(QChar(u'\0')) ||
        path.split(u'/').contains(QLatin1String("..")))
        return std::nullopt;
    return path;
}

bool isMailMessageUrl(const QString& url)
{
    return url.startsWith(QLatin1String("mailbox:")) || url.startsWith(QLatin1String("imap:")) ||
           url.startsWith(QLatin1String("imap-message:"));
}

std::optional<StoredMessage> messageOfRow(const QList<StoredMessage>& messages, const QString& rowName)
{
    std::optional<StoredMessage> found;
    for (const StoredMessage& message : messages) {
        if (!holdsCell(rowName, message.subject) || !senderShown(rowName, message) ||
            !timeShown(rowName, message.date))
            continue;
        // A look-alike without a usable Message-ID may be the one shown: that is ambiguity too.
        if (message.messageID.isEmpty() || (found && found->messageID != message.messageID))
            return std::nullopt;
        found = message;
    }
    return found;
}

} // namespace morvane
