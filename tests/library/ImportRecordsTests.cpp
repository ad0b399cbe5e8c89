#include "StoreTestSupport.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

// Everything a reader of the library can see; tag rows by name, since their ids are random.
std::string content(SQLiteStore& store)
{
    QStringList rows;
    for (const char* query :
         {"SELECT quote(id) || quote(title) || quote(url) || quote(type) || quote(source_app) || "
          "quote(notes) || "
          "quote(bookmark_data) || quote(last_known_path) || quote(content_hash) || quote(file_size) || "
          "quote(created_at) || quote(updated_at) || quote(last_opened_at) FROM links",
          "SELECT link_id || ':' || tags.name FROM link_tags JOIN tags ON tags.id = link_tags.tag_id",
          "SELECT name FROM tags",
          "SELECT id || from_link_id || to_link_id || created_at FROM link_relations",
          "SELECT link_id || local_path FROM link_local_resolutions",
          "SELECT record_type || record_name || deleted_at FROM deleted_records"})
        rows += texts(store, QString::fromLatin1(query) + QStringLiteral(" ORDER BY 1"))
                << QStringLiteral("--");
    return rows.join(u'\n').toStdString();
}

LinkItem tagged(const char* title, QStringList tags = {})
{
    LinkItem item = makeLink(QString::fromLatin1(title));
    item.tags = std::move(tags);
    return item;
}

// The whole-import path shares tag ids across links and writes without a savepoint per link; it must
// leave the library as link-by-link imports do: duplicates in the file, tombstones, existing pairs, tags
// stored in another case.
TEST(ImportRecords, OneImportLeavesTheLibraryAsLinkByLinkImportsDo)
{
    LinkItem kept = tagged("kept", {"old"});
    kept.bookmarkData = QByteArray("bookmark");
    const LinkItem other = tagged("other");
    const LinkItem deleted = tagged("deleted", {"old"});
    const QString existingRelation = uuidString(QUuid::createUuid());
    const auto [low, high] = std::minmax({uuidString(kept.id), uuidString(other.id)});
    const auto clock = std::make_shared<ManualClock>(at("2024-05-05T00:00:00.000Z"));
    SQLiteStore whole(testHome() + QStringLiteral("/whole.sqlite"), clock);
    SQLiteStore oneByOne(testHome() + QStringLiteral("/one-by-one.sqlite"), clock);
    for (SQLiteStore* store : {&whole, &oneByOne}) {
        for (const LinkItem& item : {kept, other, deleted})
            addLink(*store, item);
        store->execute(QStringLiteral("INSERT INTO tags (id, name) VALUES ('T1', 'Work')"));
        store->execute(
            QStringLiteral("INSERT INTO link_relations VALUES (?, ?, ?, '2024-05-01T00:00:00.000Z')"),
            {existingRelation, low, high});
        store->upsertLocalResolution(kept.id, FileIdentity{"bm", {}, {}, "/kept", {}, {}}, true);
        store->addRelation(deleted.id, kept.id);
        store->deleteLink(deleted.id);
    }

    LinkItem keptInFile = kept;
    keptInFile.title = QStringLiteral("renamed");
    keptInFile.tags = {" Work ", "new", "NEW", ""};
    keptInFile.bookmarkData.reset();
    keptInFile.lastKnownPath = QStringLiteral("/in/file");
    keptInFile.fileSize = 9;
    keptInFile.lastOpenedAt = at("2024-05-03T00:00:00.000Z");
    LinkItem twiceFirst = tagged("twice", {"first", "new"});
    LinkItem twiceLast = twiceFirst;
    twiceLast.title = QStringLiteral("twice, last");
    twiceLast.tags = {"last"};
    const LinkItem fresh = tagged("fresh", {"WORK", "first"});
    const QList<LinkItem> links = {keptInFile, deleted, twiceFirst, fresh, twiceLast};
    auto relation = [day = 0](const LinkItem& from, const LinkItem& to) mutable {
        return LinkRelation{QUuid::createUuid(), from.id, to.id,
                            at("2024-06-01T00:00:00.000Z").addDays(++day)};
    };
    const QList<LinkRelation> relations = {relation(other, kept), relation(deleted, kept),
                                           relation(twiceFirst, fresh), relation(fresh, twiceFirst)};

    whole.importRecords(links, relations);
    for (const LinkItem& item : links)
        oneByOne.importLink(item);
    oneByOne.importRecords({}, relations);
    EXPECT_EQ(content(whole), content(oneByOne));
    EXPECT_EQ(scalar(whole, QStringLiteral("SELECT COUNT(*) FROM tags WHERE id = 'T1'")), 1);
}

// A replacing import erases and imports in the caller's one transaction: the tags the erase removed
// must be written anew, not found again by a stale id.
TEST(ImportRecords, TagsErasedInTheSameTransactionAreWrittenAgain)
{
    SQLiteStore store(libraryFile());
    const LinkItem link = addLink(store, tagged("imported", {"shared"}));
    store.inTransaction([&] {
        store.importRecords({link}, {});
        store.eraseAll();
        store.importRecords({link}, {});
    });
    EXPECT_EQ(store.link(link.id)->tags, QStringList{"shared"});
}

} // namespace
