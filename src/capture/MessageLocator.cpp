#include "MessageLocator.h"

#include "capture/CaptureText.h"
#include "foundation/Text.h"

#include <QByteArray>
#include <QStringDecoder>
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

std::optional<QByteArray> messageIDOfHeader(const QByteArray& value)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(value);
    if (!utf8.hasError()) {
        const std::optional<QString> id = normalizedMessageID(text);
        return id ? std::optional(id->toUtf8()) : std::nullopt;
    }
    // Any other bytes are kept as they are: a mail client finds the message by these very bytes. Only
    // ASCII tells white space and control characters here.
    QByteArray id = value.trimmed();
    if (id.startsWith('<') && id.endsWith('>') && id.size() >= 2)
        id = id.mid(1, id.size() - 2).trimmed();
    if (id.isEmpty() || id.size() > maxMessageIDLength || !id.contains('@'))
        return std::nullopt;
    for (const char byte : id) {
        if (quint8(byte) <= 0x20 || quint8(byte) == 0x7f)
            return std::nullopt;
    }
    return '<' + id + '>';
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
    return messageLocator(normalizedId.toUtf8());
}

QString messageLocator(const QByteArray& normalizedId)
{
    return QStringLiteral("message://") +
           QString::fromLatin1(normalizedId.toPercentEncoding(QByteArray(), QByteArray(), '%'));
}

std::optional<QByteArray> messageIDOfLocator(const QString& locator)
{
    static const QLatin1String scheme("message:");
    if (!locator.startsWith(scheme, Qt::CaseInsensitive))
        return std::nullopt;
    QString rest = locator.mid(scheme.size());
    while (rest.startsWith(u'/'))
        rest.remove(0, 1);
    // Only what the locator spells out in ASCII, each other byte as %XX, names an ID.
    for (const QChar character : rest) {
        if (character.unicode() > 0x7e || character.unicode() < 0x21)
            return std::nullopt;
    }
    const std::optional<QByteArray> id = messageIDOfHeader(QByteArray::fromPercentEncoding(rest.toLatin1()));
    if (!id)
        return std::nullopt;
    return id->mid(1, id->size() - 2);
}

QString mailClientMessageID(const QByteArray& id)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(id);
    if (!utf8.hasError())
        return text;
    QByteArray escaped;
    for (const char byte : id) {
        if (quint8(byte) > 0x20 && quint8(byte) < 0x7f && byte != '%')
            escaped += byte;
        else
            escaped += '%' + QByteArray::number(quint8(byte), 16).toUpper().rightJustified(2, '0');
    }
    return QString::fromLatin1(escaped);
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
