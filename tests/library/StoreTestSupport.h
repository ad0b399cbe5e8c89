#pragma once

#include "ManualClock.h"
#include "TestEnvironment.h"
#include "TestValues.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"
#include "library/LinkRow.h"
#include "library/SQLiteStatement.h"
#include "library/SQLiteStore.h"

#include <QStringList>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>

namespace morvane::test {

inline QString libraryFile()
{
    return testHome() + "/library.sqlite";
}

inline LinkItem makeLink(const QString& title, const QString& url = {},
                         const char* updatedAt = "2024-05-01T09:00:00.000Z")
{
    LinkItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.url = url.isEmpty() ? "https://example.com/" + title : url;
    item.type = LinkType::web;
    item.sourceApp = "Browser";
    item.createdAt = at("2024-05-01T08:00:00.000Z");
    item.updatedAt = at(updatedAt);
    return item;
}

// Inserts the link with its tags, as saving a new link does.
inline LinkItem addLink(SQLiteStore& store, LinkItem item)
{
    store.writes().insertLink(item);
    store.writes().replaceTags(item.tags, item.id);
    return item;
}

// The store's library file as another program sees it, for statements the store would never run: a
// connection of the test's own, which sees only what the store committed.
inline SQLiteConnection rawLibrary(const SQLiteStore& store)
{
    return SQLiteConnection::open(store.databasePath());
}

// Writes through a connection of its own what the store would never write, with or without a store.
inline void writeRaw(std::initializer_list<const char*> statements)
{
    SQLiteConnection raw = SQLiteConnection::open(libraryFile());
    for (const char* sql : statements)
        raw.execute(QString::fromUtf8(sql));
}

// The first column of every row the statement gives, as text.
inline QStringList texts(const SQLiteStore& store, const QString& sql)
{
    SQLiteConnection raw = rawLibrary(store);
    SQLiteStatement statement = raw.statement(sql);
    QStringList values;
    while (statement.step())
        values.append(statement.text(0));
    return values;
}

inline qint64 scalar(const SQLiteStore& store, const QString& sql)
{
    return texts(store, sql).value(0, "-1").toLongLong();
}

// Every row of every table as text, in a stable order: equal lists mean nothing changed.
inline QStringList everyRow(const SQLiteStore& store)
{
    QStringList rows;
    for (const QString table :
         {"links", "tags", "link_tags", "link_relations", "link_local_resolutions", "deleted_records"}) {
        const QStringList columns = texts(
            store, QStringLiteral("SELECT 'quote(' || name || ')' FROM pragma_table_info('%1')").arg(table));
        for (const QString& row :
             texts(store,
                   QStringLiteral("SELECT %1 FROM %2 ORDER BY 1").arg(columns.join(" || '|' || "), table)))
            rows.append(table + u':' + row);
    }
    return rows;
}

inline QStringList titles(const QList<LinkItem>& links)
{
    QStringList result;
    for (const LinkItem& link : links)
        result.append(link.title);
    return result;
}

// A library built to provoke differences between statements that should read alike: titles equal but for
// case or holding wildcards, equal and unreadable dates, raw tag names the writer would never make (case,
// the separator, empty), ids not in the written form (lower case, not a UUID), links without tags, self
// relations, undecodable rows and gaps left by deletions.
inline void fillVariedLibrary(SQLiteStore& store, unsigned seed, int linkCount)
{
    std::mt19937 random(seed);
    const auto pick = [&](const QStringList& list) { return list.at(qsizetype(random() % list.size())); };
    const QStringList titles = {
        "Alpha", "alpha",   "ALPHA",  "Beta report",   "beta Report", "a_b", "a%b", "50% off",
        "Zed",   "Ünïcode", "_under", "Mail from Bob", "web notes",   "",    "b"};
    const QStringList notes = {"", "", "alpha in notes", "a report", "50%", "under_score"};
    const QStringList dates = {"2024-01-01T00:00:00.000Z", "2024-01-01T00:00:00.000Z",
                               "2024-02-01T00:00:00.000Z", "2024-03-01T12:00:00.500Z",
                               "2024-03-01T12:00:00Z" /* unreadable */};
    const QStringList types = {"web", "mail", "file", "obsidian", "web", "unknown" /* undecodable */};
    SQLiteConnection raw = rawLibrary(store);
    QStringList tagIds;
    for (const char* name : {"alpha", "Beta", "report", "50%", "t_x", "mail", "zeta", "Ärger", "élan", "ZZ",
                             "a\x1f"
                             "b",
                             "", "~tilde", "10", "9"}) {
        tagIds.append(tagIds.size() == 3 ? QStringLiteral("tag-%1").arg(seed)
                                         : uuidString(QUuid::createUuid()));
        raw.execute("INSERT INTO tags (id, name) VALUES (?, ?)", {tagIds.last(), QString::fromUtf8(name)});
    }
    QStringList ids;
    inTransaction(raw, [&] {
        for (int i = 0; i < linkCount; ++i) {
            const QString uuid = uuidString(QUuid::createUuid());
            ids.append(random() % 10 == 0 ? uuid.toLower() : uuid);
            const QString& id = ids.last();
            raw.execute(
                QStringLiteral("INSERT INTO links (id, title, url, type, notes, created_at, updated_at, "
                               "last_opened_at) VALUES (?, ?, ?, ?, ?, '2023-12-01T00:00:00.000Z', ?, ?)"),
                {id, pick(titles), QStringLiteral("https://site%1.example/%2").arg(i % 7).arg(pick(notes)),
                 random() % 8 == 0 ? pick(types) : "web", pick(notes), pick(dates),
                 random() % 4 == 0 ? std::optional<QString>(pick(dates)) : std::nullopt});
            for (int t = int(random() % 4); t > 0; --t)
                raw.execute("INSERT OR IGNORE INTO link_tags (link_id, tag_id) VALUES (?, ?)",
                            {id, pick(tagIds)});
            const int relation = int(random() % 6);
            const QString other = relation == 0 ? id : pick(ids); // 0: both ends the same link
            if (relation < 3)
                raw.execute("INSERT OR IGNORE INTO link_relations VALUES (?, ?, ?, ?)",
                            {uuidString(QUuid::createUuid()), std::min(id, other), std::max(id, other),
                             QStringLiteral("2024-01-01T00:00:00.000Z")});
        }
    });
    for (int i = 0; i < linkCount / 20; ++i)
        store.writes().deleteLink(QUuid::fromString(pick(ids)));
}

} // namespace morvane::test
