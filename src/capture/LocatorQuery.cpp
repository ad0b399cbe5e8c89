#include "LocatorQuery.h"

#include "foundation/LocatorUrl.h"

namespace morvane {

namespace {

bool isUnreservedOrSubDelimiter(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case ':':
    case '@':
    case '/':
        return true;
    default:
        return false; // "&" and "=" separate the items; the rest is not allowed in a URL at all
    }
}

template <class Allowed> QString percentEncoded(const QString& text, Allowed allowed)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = text.toUtf8();
    QString encoded;
    encoded.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (allowed(c)) {
            encoded.append(QChar(c));
        } else {
            encoded.append(u'%');
            encoded.append(QChar(hex[c >> 4]));
            encoded.append(QChar(hex[c & 0xf]));
        }
    }
    return encoded;
}

} // namespace

QString encodedQueryComponent(const QString& text)
{
    return percentEncoded(text, [](unsigned char c) { return isUnreservedOrSubDelimiter(c) || c == '?'; });
}

QString encodedPathComponent(const QString& text)
{
    return percentEncoded(
        text, [](unsigned char c) { return isUnreservedOrSubDelimiter(c) || c == '&' || c == '='; });
}

QString queryLocator(QStringView scheme, QStringView host, const QList<std::pair<QString, QString>>& items)
{
    QString text = scheme.toString() + QStringLiteral("://") + host.toString() + u'?';
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0)
            text.append(u'&');
        text += encodedQueryComponent(items[i].first) + u'=' + encodedQueryComponent(items[i].second);
    }
    return text;
}

std::optional<QHash<QString, QString>> queryOfLocator(const QString& text, QStringView scheme,
                                                      QStringView host)
{
    const std::optional<LocatorUrl> url = LocatorUrl::parse(text);
    if (!url || url->scheme() != scheme || url->host() != host)
        return std::nullopt;
    const QList<QueryItem> items = url->queryItems();
    if (items.isEmpty())
        return std::nullopt;
    QHash<QString, QString> query;
    for (const QueryItem& item : items) {
        if (query.contains(item.name))
            return std::nullopt;
        query.insert(item.name, item.value.value_or(QString()));
    }
    return query;
}

} // namespace morvane
