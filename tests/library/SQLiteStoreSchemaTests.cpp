#include "StoreTestSupport.h"
#include "foundation/Paths.h"
#include "library/LinkSearchSeal.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// The schema and rows of the library; SQLite's own statistics, which closing may gather, are not ours.
QStringList schemaAndRows(SQLiteStore& store)
{
    return texts(store, QStringLiteral("SELECT type || name || COALESCE(sql, '') FROM sqlite_master "
                                       "WHERE name NOT LIKE 'sqlite_stat%' ORDER BY name")) +
           everyRow(store);
}

TEST(SQLiteStoreSchema, CreatesTheLibraryInAPrivateDataFolderWithEveryTableColumnAndIndex)
{
    SQLiteStore store;
    EXPECT_EQ(store.databasePath(), dataDirectory() + "/Morvane.sqlite");
    EXPECT_EQ(QFileInfo(dataDirectory()).permissions() & 0x0077, 0); // nothing for group or others
    EXPECT_EQ(texts(store, "PRAGMA journal_mode"), QStringList{"wal"});
    EXPECT_EQ(texts(store, "SELECT name FROM pragma_table_info('links')"),
              QStringList({"id", "title", "url", "type", "source_app", "notes", "created_at", "updated_at",
                           "last_opened_at", "bookmark_data", "file_resource_identifier", "volume_identifier",
                           "last_known_path", "content_hash", "file_size"}));
    EXPECT_EQ(texts(store, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name"),
              QStringList({"deleted_records", "library_changes", "link_local_resolutions", "link_relations",
                           "link_search", "link_search_config", "link_search_data", "link_search_idx",
                           "link_search_progress", "link_search_seal", "link_search_texts_copy", "link_tags",
                           "links", "sqlite_sequence", "sync_point", "sync_records", "tags"}));
    EXPECT_EQ(texts(store, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND name NOT "
                                          "LIKE 'sqlite_autoindex%' ORDER BY rowid")),
              QStringList({"links_search_idx", "links_url_idx", "links_file_identity_idx",
                           "links_content_hash_idx", "local_resolution_file_identity_idx",
                           "local_resolution_content_hash_idx", "relation_from_idx", "relation_to_idx",
                           "deleted_records_deleted_at_idx", "link_tags_tag_idx", "links_title_nocase_idx"}));
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
        EXPECT_EQ(scalar(store, "SELECT COUNT(*) FROM pragma_table_info('links')"), 15);
        const QList<LinkItem> links = store.reads().allLinks();
        ASSERT_EQ(titles(links), QStringList({"Old page", "Old file"}));
        EXPECT_EQ(links[0].notes, "kept");
        EXPECT_EQ(links[1].fileSize, 9);
        EXPECT_EQ(links[1].lastOpenedAt, at("2023-02-01T10:00:00.500Z"));
        // The migrated file takes the new columns and tables like a new one.
        LinkItem item = links[1];
        item.tags = {"kept"};
        store.merge().importRecords({item}, {});
        EXPECT_EQ(store.reads().link(item.id)->tags, item.tags);
        migrated = schemaAndRows(store);
    }
    SQLiteStore again(libraryFile());
    EXPECT_EQ(schemaAndRows(again), migrated);
}

// The tables where sync keeps its point are made as the library opens, before the search index's seal
// is taken: a library sealed by a build without them keeps its index, and the sync's writes do not move
// the schema the seal vouches for.
TEST(SQLiteStoreSchema, TheSyncPointTablesComeWithTheSchemaAndLeaveTheSearchIndexTrusted)
{
    {
        SQLiteStore store(libraryFile());
        fillVariedLibrary(store, 5, 50);
    }
    // So with the table of the texts copy's lineage, which came later still.
    writeRaw({"DROP TABLE sync_point", "DROP TABLE sync_records", "DROP TABLE link_search_texts_copy"});
    {
        SQLiteConnection older = SQLiteConnection::open(libraryFile());
        LinkSearchSeal::take(older);
    }
    {
        SQLiteStore store(libraryFile());
        EXPECT_TRUE(store.searchIndex().buildStep()); // complete: not rebuilt
        EXPECT_EQ(scalar(store, "SELECT count(*) FROM sqlite_master WHERE name = 'link_search_texts_copy'"),
                  1);
        ASSERT_FALSE(store.syncPoint().point());
        store.syncPoint().keep({"place", 7, 1}, {{"record", "version", "kept"}}, {}, true);
    }
    SQLiteStore store(libraryFile());
    EXPECT_TRUE(store.searchIndex().buildStep());
    EXPECT_EQ(store.syncPoint().point()->journalThrough, 7);
    EXPECT_EQ(store.syncPoint().records().size(), 1);
}

// A replacing import empties the library and indexes it again; the indexes it drops and makes again move
// the schema. Its search index, built again from every row, must stay trusted at the next open rather
// than be emptied and built again in steps, and so must an erase's.
TEST(SQLiteStoreSchema, AReplacingImportAndAnEraseLeaveTheSearchIndexTrusted)
{
    QList<LinkItem> backup;
    for (int i = 0; i < 40; ++i)
        backup.append(makeLink(QStringLiteral("Backup %1 quokka").arg(i)));
    {
        SQLiteStore store(libraryFile());
        fillVariedLibrary(store, 3, 60);
        store.transactions().inTransaction([&] {
            store.merge().eraseAll();
            store.merge().importRecords(backup, {});
        });
    }
    {
        SQLiteStore store(libraryFile());
        EXPECT_TRUE(store.searchIndex().isReady());
        EXPECT_EQ(store.searchIndex().search(QStringLiteral("quokka")).value_or(QList<LinkItem>()).size(),
                  backup.size());
        store.merge().eraseAll();
    }
    SQLiteStore store(libraryFile());
    EXPECT_TRUE(store.searchIndex().isReady());
}

TEST(SQLiteStoreSchema, RowsThatDoNotDecodeAreSkipped)
{
    SQLiteStore store(libraryFile());
    SQLiteConnection raw = rawLibrary(store);
    const auto insert = [&](const char* id, const char* type, const char* created, const char* opened) {
        raw.execute(QStringLiteral("INSERT INTO links (id, title, url, type, created_at, updated_at, "
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

    const QList<LinkItem> links = store.reads().allLinks();
    ASSERT_EQ(links.size(), 2);
    EXPECT_FALSE(links[0].bookmarkData.has_value()); // zero bytes read as no bookmark
    EXPECT_EQ(links[1].type, LinkType::mail);
    EXPECT_FALSE(links[1].lastOpenedAt.has_value()); // an unreadable open time is only absent
}

TEST(SQLiteStoreSchema, AReadThatFailsMidwayOrATextOfTwoStatementsThrowsInsteadOfDoingPartOfTheWork)
{
    EXPECT_THROW(SQLiteStore(testHome() + "/no/such/library"), StoreError);
    SQLiteStore store(libraryFile());
    SQLiteConnection raw = rawLibrary(store);
    addLink(store, makeLink("first"));
    addLink(store, makeLink("second"));
    // abs() of the smallest integer overflows when the scan reaches the second row.
    EXPECT_EQ(errorText([&] {
                  queryLinks(raw, linkColumnsSql() + "FROM links WHERE CASE WHEN links.title = 'second' "
                                                     "THEN abs(-9223372036854775807 - 1) ELSE 1 END");
              }),
              "The operation couldn’t be completed. (integer overflow)");

    // A text of two statements is refused whole, where SQLite alone would run the first and drop the
    // rest; a closing comment is no statement.
    EXPECT_EQ(errorText([&] { raw.execute("DELETE FROM links; SELECT 1"); }),
              "The operation couldn’t be completed. (more than one statement in one text: "
              "DELETE FROM links; SELECT 1)");
    EXPECT_NO_THROW(raw.execute("SELECT 1; -- counted"));
    EXPECT_EQ(store.reads().allLinks().size(), 2);
}

} // namespace
