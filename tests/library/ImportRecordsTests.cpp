#include "StoreTestSupport.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// Everything a reader of the library can see; tag rows by name, since their ids are random.
std::string content(SQLiteStore& store)
{
    const char* queries[] = {
        "SELECT quote(id) || quote(title) || quote(url) || quote(type) || quote(source_app) || quote(notes) "
        "|| quote(bookmark_data) || quote(last_known_path) || quote(content_hash) || quote(file_size) || "
        "quote(created_at) || quote(updated_at) || quote(last_opened_at) FROM links ORDER BY 1",
        "SELECT link_id || ':' || tags.name FROM link_tags JOIN tags ON tags.id = link_tags.tag_id ORDER BY "
        "1",
        "SELECT name FROM tags ORDER BY 1",
        "SELECT id || from_link_id || to_link_id || created_at FROM link_relations ORDER BY 1",
        "SELECT link_id || local_path FROM link_local_resolutions ORDER BY 1",
        "SELECT record_type || record_name || deleted_at FROM deleted_records ORDER BY 1",
    };
    QStringList rows;
    for (const char* query : queries) {
        rows += texts(store, QString::fromLatin1(query));
        rows.append(QStringLiteral("--"));
    }
    return rows.join(u'\n').toStdString();
}

LinkItem tagged(const char* title, QStringList tags = {})
{
    LinkItem item = makeLink(QString::fromLatin1(title));
    item.tags = std::move(tags);
    return item;
}

// The whole-import path shares tag ids across links and writes without a savepoint per link; it must
// leave the library exactly as importing the same records one at a time does, on the cases where the
// two could part: duplicates in the file, tombstones, existing pairs, tags stored in another case.
TEST(ImportRecords, OneImportLeavesTheLibraryAsLinkByLinkImportsDo)
{
    LinkItem kept = tagged("kept", {QStringLiteral("old")});
    kept.bookmarkData = QByteArray("bookmark");
    const LinkItem other = tagged("other");
    const LinkItem deleted = tagged("deleted", {QStringLiteral("old")});
    const QUuid existingRelationID = QUuid::createUuid();

    const auto prepareLibrary = [&](SQLiteStore& store) {
        store.setClock([] { return at("2024-05-05T00:00:00.000Z"); });
        for (const LinkItem& item : {kept, other, deleted})
            addLink(store, item);
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
    LinkItem twiceFirst = tagged("twice", {QStringLiteral("first"), QStringLiteral("new")});
    LinkItem twiceLast = twiceFirst;
    twiceLast.title = QStringLiteral("twice, last");
    twiceLast.tags = {QStringLiteral("last")};
    const LinkItem fresh = tagged("fresh", {QStringLiteral("WORK"), QStringLiteral("first")});
    const QList<LinkItem> links = {keptInFile, deleted, twiceFirst, fresh, twiceLast};
    const QList<LinkRelation> relations = {
        {QUuid::createUuid(), other.id, kept.id, at("2024-06-01T00:00:00.000Z")},
        {QUuid::createUuid(), deleted.id, kept.id, at("2024-06-02T00:00:00.000Z")},
        {QUuid::createUuid(), twiceFirst.id, fresh.id, at("2024-06-03T00:00:00.000Z")},
        {QUuid::createUuid(), fresh.id, twiceFirst.id, at("2024-06-04T00:00:00.000Z")},
        {QUuid::createUuid(), fresh.id, fresh.id, at("2024-06-05T00:00:00.000Z")},
    };

    SQLiteStore whole(testHome() + QStringLiteral("/whole.sqlite"));
    SQLiteStore oneByOne(testHome() + QStringLiteral("/one-by-one.sqlite"));
    prepareLibrary(whole);
    prepareLibrary(oneByOne);
    ASSERT_EQ(content(whole), content(oneByOne));

    whole.importRecords(links, relations);
    for (const LinkItem& item : links)
        oneByOne.importLink(item);
    oneByOne.importRecords({}, relations);

    EXPECT_EQ(content(whole), content(oneByOne));
    EXPECT_EQ(whole.link(kept.id)->tags, (QStringList{QStringLiteral("new"), QStringLiteral("Work")}));
    EXPECT_EQ(whole.link(fresh.id)->tags, (QStringList{QStringLiteral("first"), QStringLiteral("Work")}));
    EXPECT_EQ(scalar(whole, QStringLiteral("SELECT COUNT(*) FROM tags WHERE id = 'T1'")), 1);
}

// A replacing import erases and imports in the caller's one transaction: the tags the erase removed
// must be written anew, not found again by a stale id.
TEST(ImportRecords, TagsErasedInTheSameTransactionAreWrittenAgain)
{
    SQLiteStore store(libraryFile());
    const LinkItem before = addLink(store, tagged("before", {QStringLiteral("shared")}));
    LinkItem imported = tagged("imported", {QStringLiteral("shared")});
    store.inTransaction([&] {
        store.importRecords({before}, {});
        store.eraseAll();
        store.importRecords({imported}, {});
    });
    EXPECT_EQ(store.link(imported.id)->tags, QStringList{QStringLiteral("shared")});
    EXPECT_EQ(scalar(store, QStringLiteral("SELECT COUNT(*) FROM link_tags")), 1);
}

} // namespace
