#include "MessageLocator.h"

#include "capture/CaptureText.h"
#include "foundation/Text.h"

#include <QByteArray>
#include <QStringList>

namespace morvane {

std::optional<QString> normalizedMessageID(const QString& raw)
{
    QString id = trimmedText(raw);
    if (id.startsWith(u'<') && id.endsWith(u'>') && id.size() >= 2)
        id = trimmedText(id.mid(1, id.size() - 2));
    if (id.isEmpty() || graphemeCount(id) > maxMessageIDLength)
        return std::nullopt;
    if (!id.contains(u'@') || containsControlCharacter(id) || containsWhiteSpace(id))
        return std::nullopt;
    return u'<' + id + u'>';
}

std::optional<QString> messageLocator(const QString& normalizedId)
{
    for (qsizetype i = 0; i < normalizedId.size(); ++i) {
        if (normalizedId[i].isHighSurrogate() && i + 1 < normalizedId.size() &&
            normalizedId[i + 1].isLowSurrogate())
            ++i;
        else if (normalizedId[i].isSurrogate())
            return std::nullopt;
    }
    return QStringLiteral("message://") +
           QString::fromLatin1(normalizedId.toUtf8().toPercentEncoding(QByteArray(), QByteArray(), '%'));
}

std::optional<QString> messageIDOfLocator(const QString& locator)
{
    static const QLatin1String scheme("message:");
    if (!locator.startsWith(scheme, Qt::CaseInsensitive))
        return std::nullopt;
    QString rest = locator.mid(scheme.size());
    while (rest.startsWith(u'/'))
        rest.remove(0, 1);
    const QByteArray bytes = QByteArray::fromPercentEncoding(rest.toLatin1());
    const QString text = QString::fromUtf8(bytes);
    // Undecodable bytes would reach the mail client as replacement characters: refuse them.
    if (text.toUtf8() != bytes || containsControlCharacter(rest))
        return std::nullopt;
    const std::optional<QString> id = normalizedMessageID(text);
    if (!id)
        return std::nullopt;
    return id->mid(1, id->size() - 2);
}

QString mailMessageTitle(const QString& subject, const QString& sender)
{
    QStringList parts;
    for (const QString& field : {subject, sender}) {
        if (const QString part = trimmedText(field); !part.isEmpty())
            parts.append(part);
    }
    return parts.isEmpty() ? QStringLiteral("Mail message") : parts.join(QStringLiteral(" - "));
}

} // namespace morvane
