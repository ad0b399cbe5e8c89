#include "StoreTestSupport.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

class SQLiteStoreOperations : public ::testing::Test {
protected:
    SQLiteStoreOperations()
        : store(libraryFile())
    {
        store.setClock([this] { return clock; });
    }

    LinkItem add(const QString& title, const QStringList& tags = {},
                 const char* updatedAt = "2024-05-01T09:00:00.000Z")
    {
        LinkItem item = makeLink(title, {}, updatedAt);
        item.tags = tags;
        return addLink(store, item);
    }

    qint64 count(const char* sql) { return scalar(store, QString::fromLatin1(sql)); }

    SQLiteStore store;
    QDateTime clock = at("2024-06-01T12:00:00.000Z");
};

FileIdentity identity(const char* resource, const char* hash, qint64 size)
{
    FileIdentity result;
    result.bookmarkData = QByteArray("bookmark");
    result.fileResourceIdentifier = QString::fromLatin1(resource);
    result.volumeIdentifier = QStringLiteral("volume-1");
    result.lastKnownPath = QStringLiteral("/tmp/some file.txt");
    result.contentHash = QString::fromLatin1(hash);
    result.fileSize = size;
    return result;
}

TEST_F(SQLiteStoreOperations, DeletingALinkTakesItsRowsAlongAndLeavesTombstones)
{
    const LinkItem a = add(QStringLiteral("A"), {QStringLiteral("work")});
    const LinkItem b = add(QStringLiteral("B"), {QStringLiteral("work")});
    const LinkItem c = add(QStringLiteral("C"));
    store.addRelation(a.id, b.id);
    store.addRelation(c.id, a.id);
    store.addRelation(b.id, c.id);
    store.upsertLocalResolution(a.id, identity("r1", "h1", 1), false);

    store.deleteLink(a.id);

    EXPECT_FALSE(store.link(a.id).has_value());
    EXPECT_EQ(count("SELECT COUNT(*) FROM link_tags"), 1); // b's
    EXPECT_EQ(count("SELECT COUNT(*) FROM link_local_resolutions"), 0);
    ASSERT_EQ(store.allRelations().size(), 1);
    EXPECT_EQ(store.link(b.id)->linkedItemCount, 1);
    EXPECT_EQ(store.link(b.id)->tags, QStringList{QStringLiteral("work")});

    const auto byId = [](QList<DeletedRecord> records) {
        std::sort(records.begin(), records.end(),
                  [](const DeletedRecord& x, const DeletedRecord& y) { return x.id() < y.id(); });
        return records;
    };
    EXPECT_EQ(byId(store.allDeletedRecords()),
              byId({{QStringLiteral("Link"), uuidString(a.id), clock},
                    {QStringLiteral("LinkRelation"), LinkRelation::recordName(a.id, b.id), clock},
                    {QStringLiteral("LinkRelation"), LinkRelation::recordName(a.id, c.id), clock}}));
}

TEST_F(SQLiteStoreOperations, TombstonesKeepTheLaterTime)
{
    const QString name = QStringLiteral("00000000-0000-0000-0000-00000000000A");
    store.upsertTombstone(QStringLiteral("Link"), name, at("2024-03-01T00:00:00.000Z"));
    store.upsertTombstone(QStringLiteral("Link"), name, at("2024-02-01T00:00:00.000Z"));
    ASSERT_EQ(store.allDeletedRecords().size(), 1);
    EXPECT_EQ(store.allDeletedRecords()[0].deletedAt, at("2024-03-01T00:00:00.000Z"));
    store.upsertTombstone(QStringLiteral("Link"), name, at("2024-04-01T00:00:00.000Z"));
    EXPECT_EQ(store.allDeletedRecords()[0].deletedAt, at("2024-04-01T00:00:00.000Z"));
    EXPECT_TRUE(store.isTombstoned(QStringLiteral("Link"), name));
    EXPECT_FALSE(store.isTombstoned(QStringLiteral("LinkRelation"), name));
}

TEST_F(SQLiteStoreOperations, RelationsAreStoredOncePerPairSmallerIdFirstAndNeverToItself)
{
    const LinkItem a = add(QStringLiteral("Zulu"));
    const LinkItem b = add(QStringLiteral("alpha"));
    const LinkItem c = add(QStringLiteral("Mike"));
    store.addRelation(b.id, a.id);
    store.addRelation(a.id, b.id);
    store.addRelation(a.id, a.id);
    store.addRelation(c.id, a.id);

    const QList<LinkRelation> relations = store.allRelations();
    ASSERT_EQ(relations.size(), 2);
    for (const LinkRelation& relation : relations)
        EXPECT_LT(uuidString(relation.fromLinkID), uuidString(relation.toLinkID));
    EXPECT_EQ(store.link(a.id)->linkedItemCount, 2);
    EXPECT_EQ(titles(store.relatedLinks(a.id)), QStringList({"alpha", "Mike"}));

    // Removing writes its tombstone whether or not the relation exists.
    store.removeRelation(a.id, b.id);
    store.removeRelation(b.id, c.id);
    EXPECT_EQ(store.allRelations().size(), 1);
    EXPECT_TRUE(store.isTombstoned(QStringLiteral("LinkRelation"), LinkRelation::recordName(a.id, b.id)));
    EXPECT_TRUE(store.isTombstoned(QStringLiteral("LinkRelation"), LinkRelation::recordName(c.id, b.id)));

    // A malformed record name deletes nothing.
    store.deleteRelation(uuidString(a.id));
    store.deleteRelation(uuidString(a.id) + QStringLiteral("_") + uuidString(c.id) + QStringLiteral("_x"));
    EXPECT_EQ(store.allRelations().size(), 1);
    store.deleteRelation(uuidString(a.id) + QStringLiteral("__") + uuidString(c.id));
    EXPECT_TRUE(store.allRelations().isEmpty());
}

TEST_F(SQLiteStoreOperations, LinkByURLFindsTheTrailingSlashTwin)
{
    addLink(store, makeLink(QStringLiteral("slash"), QStringLiteral("https://x.example/a/")));
    addLink(store, makeLink(QStringLiteral("bare"), QStringLiteral("https://x.example/b")));
    const std::pair<const char*, const char*> cases[] = {
        {"https://x.example/a/", "slash"}, {"https://x.example/a", "slash"}, {"https://x.example/b/", "bare"},
        {"https://x.example/b", "bare"},   {"https://x.example/b//", ""},    {"https://x.example/ab", ""},
    };
    for (const auto& [locator, title] : cases) {
        const std::optional<LinkItem> found = store.linkByURL(QString::fromLatin1(locator));
        EXPECT_EQ(found ? found->title : QString(), QString::fromLatin1(title)) << locator;
    }
}

TEST_F(SQLiteStoreOperations, LocalResolutionLookupCountsOnlyAnUnambiguousMatch)
{
    const LinkItem a = add(QStringLiteral("A"));
    const LinkItem b = add(QStringLiteral("B"));
    // Same file identity for both, different hashes: the identity step is ambiguous, the hash decides.
    store.upsertLocalResolution(a.id, identity("inode-7", "hash-a", 10), false);
    store.upsertLocalResolution(b.id, identity("inode-7", "hash-b", 10), false);
    EXPECT_EQ(store.linkByLocalResolution(identity("inode-7", "hash-b", 10))->title, QStringLiteral("B"));
    EXPECT_FALSE(store.linkByLocalResolution(identity("inode-7", "hash-c", 10)).has_value());
    EXPECT_FALSE(store.linkByLocalResolution(identity("inode-7", "hash-b", 11)).has_value());
    EXPECT_EQ(store.linkByLocalResolution(identity("inode-9", "hash-a", 10))->title, QStringLiteral("A"));

    store.upsertLocalResolution(b.id, identity("inode-8", "hash-a", 10), false);
    EXPECT_EQ(store.linkByLocalResolution(identity("inode-8", "none", 1))->title, QStringLiteral("B"));
    EXPECT_FALSE(store.linkByLocalResolution(identity("inode-0", "hash-a", 10)).has_value());
}

TEST_F(SQLiteStoreOperations, LocalResolutionsStayConfirmedAndNeedABookmark)
{
    const LinkItem a = add(QStringLiteral("A"));
    store.upsertLocalResolution(a.id, identity("r", "h", 5), true);
    FileIdentity moved = identity("r2", "h", 5);
    moved.contentHash.reset();
    moved.lastKnownPath = QStringLiteral("/moved/here");
    store.upsertLocalResolution(a.id, moved, false);
    EXPECT_EQ(count("SELECT confirmed_by_user FROM link_local_resolutions"), 1);
    EXPECT_EQ(store.localResolution(a.id), moved);

    moved.bookmarkData.clear();
    store.upsertLocalResolution(a.id, moved, false);
    EXPECT_EQ(count("SELECT length(bookmark_data) FROM link_local_resolutions"), 0);
    EXPECT_FALSE(store.localResolution(a.id).has_value());
}

TEST_F(SQLiteStoreOperations, UpdatingFileIdentityMovesTheLocatorAndKeepsAKnownHash)
{
    LinkItem item = makeLink(QStringLiteral("report"), QStringLiteral("file:///old/report.txt"));
    item.type = LinkType::file;
    item.contentHash = QStringLiteral("abc");
    item.fileSize = 3;
    item.volumeIdentifier = QStringLiteral("old-volume");
    addLink(store, item);

    FileIdentity fresh;
    fresh.bookmarkData = QByteArray("b");
    fresh.fileResourceIdentifier = QStringLiteral("inode");
    fresh.lastKnownPath = QStringLiteral("/new place/report.txt");
    store.updateFileIdentity(item.id, fresh);

    const LinkItem updated = *store.link(item.id);
    EXPECT_EQ(updated.url, QStringLiteral("file:///new%20place/report.txt"));
    EXPECT_EQ(updated.lastKnownPath, fresh.lastKnownPath);
    EXPECT_EQ(updated.contentHash, QStringLiteral("abc"));
    EXPECT_EQ(updated.fileSize, 3);
    EXPECT_FALSE(updated.volumeIdentifier.has_value());
    EXPECT_EQ(updated.updatedAt, clock);
}

TEST_F(SQLiteStoreOperations, HashAndIdentityLookupsListEveryMatchInUpdateOrder)
{
    const auto file = [&](const QString& title, const char* updatedAt) {
        LinkItem item = makeLink(title, {}, updatedAt);
        item.type = LinkType::file;
        item.contentHash = QStringLiteral("same");
        item.fileSize = 100;
        item.fileResourceIdentifier = QStringLiteral("inode");
        item.volumeIdentifier = QStringLiteral("vol");
        return addLink(store, item);
    };
    file(QStringLiteral("late"), "2024-05-03T00:00:00.000Z");
    file(QStringLiteral("b-early"), "2024-05-01T00:00:00.000Z");
    file(QStringLiteral("a-early"), "2024-05-01T00:00:00.000Z");

    const QStringList order = {"a-early", "b-early", "late"};
    EXPECT_EQ(titles(store.linksByContentHash(QStringLiteral("same"), 100)), order);
    EXPECT_EQ(titles(store.linksByFileIdentity(QStringLiteral("inode"), QStringLiteral("vol"))), order);
    EXPECT_EQ(store.linkByContentHash(QStringLiteral("same"), 100)->title, QStringLiteral("a-early"));
    EXPECT_FALSE(store.linkByContentHash(QStringLiteral("same"), 101).has_value());
    EXPECT_EQ(store.linkByFileIdentity(QStringLiteral("inode"), QStringLiteral("vol"))->title,
              QStringLiteral("a-early"));
}

TEST_F(SQLiteStoreOperations, TagsAreTrimmedLowerCasedAndSharedOnce)
{
    const LinkItem a =
        add(QStringLiteral("A"), {QStringLiteral("  Work "), QStringLiteral("WORK"), QStringLiteral("\n"),
                                  QStringLiteral("Zed"), QStringLiteral("beta")});
    const LinkItem b = add(QStringLiteral("B"), {QStringLiteral("work")});
    EXPECT_EQ(store.link(a.id)->tags, QStringList({"beta", "work", "zed"}));
    EXPECT_EQ(count("SELECT COUNT(*) FROM tags"), 3);
    EXPECT_EQ(count("SELECT COUNT(*) FROM link_tags"), 4);

    store.setTags({QStringLiteral("Other")}, a.id);
    EXPECT_EQ(store.link(a.id)->tags, QStringList{QStringLiteral("other")});
    EXPECT_EQ(store.link(b.id)->tags, QStringList{QStringLiteral("work")});
    EXPECT_EQ(count("SELECT COUNT(*) FROM tags"), 4); // unused tags stay
}

TEST_F(SQLiteStoreOperations, SearchPutsTitleMatchesFirstAndLooksThroughTagsAndTypes)
{
    LinkItem notes = makeLink(QStringLiteral("Alpha"));
    notes.notes = QStringLiteral("the quarterly report");
    addLink(store, notes);
    add(QStringLiteral("zeta report"));
    add(QStringLiteral("Report card"));
    add(QStringLiteral("Unrelated"), {QStringLiteral("Research")});
    LinkItem mail = makeLink(QStringLiteral("Message"), QStringLiteral("message://%3Cid%3E"));
    mail.type = LinkType::mail;
    addLink(store, mail);

    EXPECT_EQ(titles(store.searchLinks(QStringLiteral("  REPORT\n"))),
              QStringList({"Report card", "zeta report", "Alpha"}));
    EXPECT_EQ(titles(store.searchLinks(QStringLiteral("RESEARCH"))),
              QStringList{QStringLiteral("Unrelated")});
    EXPECT_EQ(titles(store.searchLinks(QStringLiteral("mail"))), QStringList{QStringLiteral("Message")});
    // The query's own % and _ are wildcards.
    EXPECT_EQ(store.searchLinks(QStringLiteral("%")).size(), 5);
    EXPECT_EQ(titles(store.searchLinks(QStringLiteral("r_port c"))),
              QStringList{QStringLiteral("Report card")});
}

TEST_F(SQLiteStoreOperations, BlankSearchListsRecentlyOpenedOrUpdatedFirst)
{
    const LinkItem old = add(QStringLiteral("old but opened"), {}, "2024-01-01T00:00:00.000Z");
    add(QStringLiteral("b newer"), {}, "2024-05-02T00:00:00.000Z");
    add(QStringLiteral("A newer"), {}, "2024-05-02T00:00:00.000Z");
    add(QStringLiteral("oldest"), {}, "2023-01-01T00:00:00.000Z");
    clock = at("2024-05-03T00:00:00.000Z");
    store.recordOpen(old.id);

    EXPECT_EQ(titles(store.searchLinks(QStringLiteral(" \t"))),
              QStringList({"old but opened", "A newer", "b newer", "oldest"}));
    EXPECT_EQ(store.link(old.id)->lastOpenedAt, clock);
}

TEST_F(SQLiteStoreOperations, SearchReturnsAtMostTwoHundredLinks)
{
    store.inTransaction([&] {
        for (int i = 0; i < 230; ++i)
            add(QStringLiteral("item %1").arg(i, 3, 10, QLatin1Char('0')));
    });
    const QList<LinkItem> found = store.searchLinks(QStringLiteral("item"));
    ASSERT_EQ(found.size(), 200);
    EXPECT_EQ(found.first().title, QStringLiteral("item 000"));
    EXPECT_EQ(found.last().title, QStringLiteral("item 199"));
    EXPECT_EQ(store.searchLinks(QString()).size(), 200);
    EXPECT_EQ(store.allLinks().size(), 230);
}

} // namespace
