#include "LocatorQuery.h"

#include "foundation/LocatorUrl.h"

namespace morvane {

namespace {

// "&" and "=" separate the query's items, so inside a name or value they are encoded.
bool isQueryComponentCharacter(unsigned char c)
{
    return (isPathCharacter(c) && c != '&' && c != '=') || c == '?';
}

} // namespace

QString encodedQueryComponent(const QString& text)
{
    return percentEncode(text, isQueryComponentCharacter);
}

QString encodedPathComponent(const QString& text)
{
    return percentEncode(text, isPathCharacter);
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
