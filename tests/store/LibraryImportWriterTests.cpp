#include "TestEnvironment.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"
#include "library/SQLiteStore.h"
#include "store/LibraryImportWriter.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

QDateTime at(const char* text)
{
    return *parseLibraryDate(QString::fromLatin1(text));
}

LinkItem link(const char* title, QStringList tags = {})
{
    LinkItem item;
    item.id = QUuid::createUuid();
    item.title = QString::fromLatin1(title);
    item.url = QStringLiteral("https://example.com/") + item.title;
    item.sourceApp = QStringLiteral("Browser");
    item.tags = std::move(tags);
    item.createdAt = at("2024-05-01T08:00:00.000Z");
    item.updatedAt = at("2024-05-01T09:00:00.000Z");
    return item;
}

// Everything a reader of the library can see; tag rows by name, since their ids are random.
QStringList content(SQLiteStore& store)
{
    const char* queries[] = {
        "SELECT quote(id) || quote(title) || quote(url) || quote(type) || quote(source_app) || quote(notes) "
        "|| quote(bookmark_data) || quote(last_known_path) || quote(content_hash) || quote(file_size) || "
        "quote(created_at) || quote(updated_at) || quote(last_opened_at) FROM links ORDER BY 1",
        "SELECT link_id || ':' || tags.name FROM link_tags JOIN tags ON tags.id = link_tags.tag_id ORDER BY "
        "1",
        "SELECT id || from_link_id || to_link_id || created_at FROM link_relations ORDER BY 1",
        "SELECT link_id || local_path FROM link_local_resolutions ORDER BY 1",
        "SELECT record_type || record_name || deleted_at FROM deleted_records ORDER BY 1",
    };
    QStringList rows;
    for (const char* query : queries) {
        SQLiteStatement statement = store.prepare(QString::fromLatin1(query));
        while (statement.step())
            rows.append(statement.text(0));
        rows.append(QStringLiteral("--"));
    }
    return rows;
}

// The multi-row writer must leave the library exactly as the record-by-record import does, on the
// cases where the two could part: duplicates, tombstones, existing pairs, tags in other cases.
TEST(LibraryImportWriter, LeavesTheLibraryAsTheRecordByRecordImportDoes)
{
    LinkItem kept = link("kept", {QStringLiteral("old")});
    kept.bookmarkData = QByteArray("bookmark");
    const LinkItem other = link("other");
    const LinkItem deleted = link("deleted");
    const QUuid existingRelationID = QUuid::createUuid();

    const auto prepareLibrary = [&](SQLiteStore& store) {
        store.setClock([] { return at("2024-05-05T00:00:00.000Z"); });
        for (const LinkItem& item : {kept, other, deleted}) {
            store.insertLink(item);
            store.replaceTags(item.tags, item.id);
        }
        store.execute(QStringLiteral("INSERT INTO tags (id, name) VALUES ('T1', 'Work')"));
        store.executeValues(QStringLiteral("INSERT INTO link_relations VALUES (?, ?, ?, ?)"),
                            {SQLiteValue::text(uuidString(existingRelationID)),
                             SQLiteValue::text(std::min(uuidString(kept.id), uuidString(other.id))),
                             SQLiteValue::text(std::max(uuidString(kept.id), uuidString(other.id))),
                             SQLiteValue::text(QStringLiteral("2024-05-01T00:00:00.000Z"))});
        store.upsertLocalResolution(kept.id,
                                    FileIdentity{QByteArray("bm"), std::nullopt, std::nullopt,
                                                 QStringLiteral("/kept"), std::nullopt, std::nullopt},
                                    true);
        store.addRelation(deleted.id, kept.id);
        store.deleteLink(deleted.id);
    };

    LinkItem keptInFile = kept;
    keptInFile.title = QStringLiteral("renamed");
    keptInFile.tags = {QStringLiteral(" Work "), QStringLiteral("new"), QStringLiteral("NEW"), QString()};
    keptInFile.bookmarkData.reset();
    keptInFile.lastKnownPath = QStringLiteral("/in/file");
    keptInFile.fileSize = 9;
    keptInFile.lastOpenedAt = at("2024-05-03T00:00:00.000Z");
    LinkItem twiceFirst = link("twice", {QStringLiteral("first")});
    LinkItem twiceLast = twiceFirst;
    twiceLast.title = QStringLiteral("twice, last");
    twiceLast.tags = {QStringLiteral("last")};
    const LinkItem fresh = link("fresh");
    const QList<LinkItem> links = {keptInFile, deleted, twiceFirst, fresh, twiceLast};
    const QList<LinkRelation> relations = {
        {QUuid::createUuid(), other.id, kept.id, at("2024-06-01T00:00:00.000Z")},
        {QUuid::createUuid(), deleted.id, kept.id, at("2024-06-02T00:00:00.000Z")},
        {QUuid::createUuid(), twiceFirst.id, fresh.id, at("2024-06-03T00:00:00.000Z")},
        {QUuid::createUuid(), fresh.id, twiceFirst.id, at("2024-06-04T00:00:00.000Z")},
        {QUuid::createUuid(), fresh.id, fresh.id, at("2024-06-05T00:00:00.000Z")},
    };

    SQLiteStore byRecord(test::testHome() + QStringLiteral("/by-record.sqlite"));
    SQLiteStore byChunk(test::testHome() + QStringLiteral("/by-chunk.sqlite"));
    prepareLibrary(byRecord);
    prepareLibrary(byChunk);
    ASSERT_EQ(content(byRecord), content(byChunk));

    byRecord.importRecords(links, relations);
    byChunk.inTransaction([&] { LibraryImportWriter(byChunk).write(links, relations); });
    EXPECT_EQ(content(byChunk), content(byRecord));
    EXPECT_EQ(byChunk.link(kept.id)->tags, (QStringList{QStringLiteral("new"), QStringLiteral("Work")}));
}

TEST(LibraryImportWriter, WritesMoreRowsThanOneStatementHolds)
{
    SQLiteStore store(test::testHome() + QStringLiteral("/many.sqlite"));
    QList<LinkItem> links;
    QList<LinkRelation> relations;
    for (int i = 0; i < 700; ++i) {
        links.append(link(QByteArray::number(i).constData(), {QStringLiteral("t%1").arg(i % 3)}));
        if (i > 0)
            relations.append(
                {QUuid::createUuid(), links[i - 1].id, links[i].id, at("2024-06-01T00:00:00.000Z")});
    }
    store.inTransaction([&] { LibraryImportWriter(store).write(links, relations); });
    EXPECT_EQ(store.allLinks().size(), 700);
    EXPECT_EQ(store.allRelations().size(), 699);
    SQLiteStatement tagged = store.prepare(QStringLiteral("SELECT COUNT(*) FROM link_tags"));
    ASSERT_TRUE(tagged.step());
    EXPECT_EQ(tagged.int64(0), 700);
}

} // namespace
