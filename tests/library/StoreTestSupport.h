#pragma once

#include "TestEnvironment.h"
#include "foundation/IsoDate.h"
#include "library/LinkRow.h"
#include "library/SQLiteStore.h"

#include <QStringList>

namespace morvane::test {

inline QString libraryFile()
{
    return testHome() + QStringLiteral("/library.sqlite");
}

inline QDateTime at(const char* text)
{
    return *parseLibraryDate(QString::fromLatin1(text));
}

inline LinkItem makeLink(const QString& title, const QString& url = {},
                         const char* updatedAt = "2024-05-01T09:00:00.000Z")
{
    LinkItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.url = url.isEmpty() ? QStringLiteral("https://example.com/") + title : url;
    item.type = LinkType::web;
    item.sourceApp = QStringLiteral("Browser");
    item.createdAt = at("2024-05-01T08:00:00.000Z");
    item.updatedAt = at(updatedAt);
    return item;
}

// Inserts the link with its tags, as saving a new link does.
inline LinkItem addLink(SQLiteStore& store, LinkItem item)
{
    store.insertLink(item);
    store.replaceTags(item.tags, item.id);
    return item;
}

inline qint64 scalar(SQLiteStore& store, const QString& sql)
{
    SQLiteStatement statement = store.prepare(sql);
    return statement.step() ? statement.int64(0) : -1;
}

inline QStringList texts(SQLiteStore& store, const QString& sql)
{
    SQLiteStatement statement = store.prepare(sql);
    QStringList values;
    while (statement.step())
        values.append(statement.text(0));
    return values;
}

inline QStringList titles(const QList<LinkItem>& links)
{
    QStringList result;
    for (const LinkItem& link : links)
        result.append(link.title);
    return result;
}

} // namespace morvane::test
