#include "StoreTestSupport.h"
#include "foundation/Paths.h"
#include "foundation/Uuid.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace morvane;
using namespace morvane::test;

namespace {

// Writes through a plain connection of its own what the store would never write.
void writeRaw(std::initializer_list<const char*> statements)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(libraryFile().toUtf8().constData(), &db), SQLITE_OK);
    for (const char* sql : statements)
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

QStringList schemaAndRows(SQLiteStore& store)
{
    QStringList dump = texts(store, QStringLiteral("SELECT type || ' ' || name || ' ' || COALESCE(sql, '') "
                                                   "FROM sqlite_master ORDER BY name"));
    dump += texts(store, QStringLiteral("SELECT id || title || created_at FROM links ORDER BY id"));
    return dump;
}

// The store error the call throws; fails the test when it throws none.
StoreError storeError(const std::function<void()>& call)
{
    try {
        call();
    } catch (const StoreError& error) {
        return error;
    }
    ADD_FAILURE() << "no store error";
    return StoreError(StoreError::Kind::bind, QString());
}

TEST(SQLiteStoreSchema, CreatesTheLibraryInAPrivateDataFolderWithEveryTableAndColumn)
{
    SQLiteStore store;
    EXPECT_EQ(store.databasePath(), dataDirectory() + QStringLiteral("/Morvane.sqlite"));
    EXPECT_EQ(QFileInfo(dataDirectory()).permissions() & 0x0077, 0); // nothing for group or others
    EXPECT_EQ(texts(store, QStringLiteral("PRAGMA journal_mode")), QStringList{QStringLiteral("wal")});
    EXPECT_EQ(scalar(store, QStringLiteral("PRAGMA foreign_keys")), 1);
    EXPECT_EQ(texts(store, QStringLiteral("SELECT name FROM pragma_table_info('links')")),
              QStringList({"id", "title", "url", "type", "source_app", "notes", "created_at", "updated_at",
                           "last_opened_at", "bookmark_data", "file_resource_identifier", "volume_identifier",
                           "last_known_path", "content_hash", "file_size"}));
    EXPECT_EQ(
        texts(store, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")),
        QStringList(
            {"deleted_records", "link_local_resolutions", "link_relations", "link_tags", "links", "tags"}));
}

TEST(SQLiteStoreSchema, MigratesANineColumnLibraryOnceKeepingEveryRow)
{
    // One new column is already there under other capitals: it is not added twice.
    writeRaw({"CREATE TABLE links (id TEXT PRIMARY KEY, title TEXT NOT NULL, url TEXT NOT NULL, "
              "type TEXT NOT NULL, source_app TEXT NOT NULL DEFAULT '', notes TEXT NOT NULL DEFAULT '', "
              "created_at TEXT NOT NULL, updated_at TEXT NOT NULL, last_opened_at TEXT, File_Size INTEGER)",
              "INSERT INTO links VALUES ('6F1C1A34-8D4B-4E43-9C5A-1B7E2F3D4C5B', 'Old page', "
              "'https://old.example/', 'web', 'Browser', 'kept', '2023-01-01T00:00:00.000Z', "
              "'2023-01-02T00:00:00.000Z', NULL, NULL)",
              "INSERT INTO links VALUES ('7F1C1A34-8D4B-4E43-9C5A-1B7E2F3D4C5B', 'Old file', "
              "'file:///tmp/a.txt', 'file', 'Finder', '', '2023-01-01T00:00:00.000Z', "
              "'2023-01-03T00:00:00.000Z', '2023-02-01T10:00:00.5Z', 9)"});
    QStringList migrated;
    {
        SQLiteStore store(libraryFile());
        EXPECT_EQ(scalar(store, QStringLiteral("SELECT COUNT(*) FROM pragma_table_info('links')")), 15);
        const QList<LinkItem> links = store.allLinks();
        ASSERT_EQ(titles(links), QStringList({"Old page", "Old file"}));
        EXPECT_EQ(links[0].notes, QStringLiteral("kept"));
        EXPECT_EQ(links[1].fileSize, 9);
        EXPECT_EQ(links[1].lastOpenedAt, at("2023-02-01T10:00:00.500Z"));
        // The migrated file takes the new columns and tables like a new one.
        LinkItem item = links[1];
        item.tags = {QStringLiteral("kept")};
        store.importLink(item);
        EXPECT_EQ(store.link(item.id)->tags, item.tags);
        migrated = schemaAndRows(store);
    }
    SQLiteStore again(libraryFile());
    EXPECT_EQ(schemaAndRows(again), migrated);
}

TEST(SQLiteStoreSchema, RowsThatDoNotDecodeAreSkipped)
{
    SQLiteStore store(libraryFile());
    const auto insert = [&](const char* id, const char* type, const char* created, const char* opened) {
        store.execute(QStringLiteral("INSERT INTO links (id, title, url, type, created_at, updated_at, "
                                     "last_opened_at, bookmark_data) VALUES (?, 't', 'u', ?, ?, "
                                     "'2024-01-01T00:00:00.000Z', ?, zeroblob(0))"),
                      {QString::fromLatin1(id), QString::fromLatin1(type), QString::fromLatin1(created),
                       opened ? std::optional<QString>(QString::fromLatin1(opened)) : std::nullopt});
    };
    insert("11111111-1111-1111-1111-111111111111", "web", "2024-01-01T00:00:00.000Z", nullptr);
    insert("22222222-2222-2222-2222-222222222222", "web", "2024-01-01T00:00:00Z", nullptr); // no fraction
    insert("33333333-3333-3333-3333-333333333333", "gopher", "2024-01-01T00:00:00.000Z", nullptr);
    insert("not-a-uuid", "web", "2024-01-01T00:00:00.000Z", nullptr);
    insert("44444444-4444-4444-4444-444444444444", "mail", "2024-01-01T00:00:00.000Z", "yesterday");

    const QList<LinkItem> links = store.allLinks();
    ASSERT_EQ(links.size(), 2);
    EXPECT_FALSE(links[0].bookmarkData.has_value()); // zero bytes read as no bookmark
    EXPECT_EQ(links[1].type, LinkType::mail);
    EXPECT_FALSE(links[1].lastOpenedAt.has_value()); // an unreadable open time is only absent
}

TEST(SQLiteStoreSchema, TagNamesKeepTheirCommas)
{
    SQLiteStore store(libraryFile());
    LinkItem item = makeLink(QStringLiteral("Tagged"));
    item.tags = {QStringLiteral("Rust, Go"), QStringLiteral(",,"), QStringLiteral(" alpha ")};
    addLink(store, item);
    EXPECT_EQ(store.link(item.id)->tags, QStringList({",,", "alpha", "rust, go"}));
}

TEST(SQLiteStoreSchema, ErrorsNameTheirStepAndTheSQLiteMessage)
{
    EXPECT_EQ(
        storeError([] { SQLiteStore(testHome() + QStringLiteral("/missing/folder/library.sqlite")); }).kind(),
        StoreError::Kind::openDatabase);
    SQLiteStore store(libraryFile());
    const StoreError prepare = storeError([&] { store.execute(QStringLiteral("SELEKT 1")); });
    EXPECT_EQ(prepare.kind(), StoreError::Kind::prepare);
    EXPECT_TRUE(prepare.message().contains(QStringLiteral("syntax error")));

    // A read that fails midway throws instead of returning a short list: abs() of the smallest
    // integer overflows when the scan reaches the second row.
    addLink(store, makeLink(QStringLiteral("first")));
    addLink(store, makeLink(QStringLiteral("second")));
    const StoreError step = storeError([&] {
        store.queryLinks(linkColumnsSql() +
                         QStringLiteral("FROM links WHERE CASE WHEN links.title = 'second' "
                                        "THEN abs(-9223372036854775807 - 1) ELSE 1 END"));
    });
    EXPECT_EQ(step.kind(), StoreError::Kind::step);
    EXPECT_EQ(step.localizedDescription(),
              QStringLiteral("The operation couldn’t be completed. (integer overflow)"));
}

TEST(SQLiteStoreSchema, AFailingStatementInsideATransactionLeavesTheFileAsItWas)
{
    SQLiteStore store(libraryFile());
    const LinkItem locked = addLink(store, makeLink(QStringLiteral("Locked")));
    const LinkItem other = addLink(store, makeLink(QStringLiteral("Other")));
    store.addRelation(locked.id, other.id);
    store.execute(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON links WHEN old.title = 'Locked' "
                                 "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const QStringList before = schemaAndRows(store);

    EXPECT_THROW(store.deleteLink(locked.id), StoreError);
    EXPECT_EQ(schemaAndRows(store), before);
    EXPECT_TRUE(store.allDeletedRecords().isEmpty()); // the tombstones went with the rollback
    EXPECT_EQ(store.allRelations().size(), 1);
    EXPECT_FALSE(store.connection().inTransaction());
    store.deleteLink(other.id); // the connection is usable again
    EXPECT_EQ(store.allDeletedRecords().size(), 2);
}

TEST(SQLiteStoreSchema, NestedTransactionsRollBackOnlyTheirOwnWork)
{
    SQLiteStore store(libraryFile());
    const LinkItem outer = makeLink(QStringLiteral("Outer"));
    const LinkItem inner = makeLink(QStringLiteral("Inner"));
    store.inTransaction([&] {
        store.insertLink(outer);
        try {
            store.inTransaction([&] {
                store.insertLink(inner);
                throw std::runtime_error("inner failed");
            });
        } catch (const std::runtime_error&) {
        }
        EXPECT_TRUE(store.connection().inTransaction());
    });
    EXPECT_EQ(titles(store.allLinks()), QStringList{QStringLiteral("Outer")});

    // A failure that escapes the outer scope takes the inner, released work with it.
    EXPECT_THROW(store.inTransaction([&] {
        store.inTransaction([&] { store.insertLink(inner); });
        store.insertLink(outer); // duplicate id
    }),
                 StoreError);
    EXPECT_EQ(titles(store.allLinks()), QStringList{QStringLiteral("Outer")});
}

TEST(SQLiteStoreSchema, AWriteWaitsForAnotherConnectionsLock)
{
    SQLiteStore store(libraryFile());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(libraryFile().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread holder([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    EXPECT_NO_THROW(store.insertLink(makeLink(QStringLiteral("Waited"))));
    holder.join();
    sqlite3_close(other);
    EXPECT_EQ(store.allLinks().size(), 1);
}

} // namespace
