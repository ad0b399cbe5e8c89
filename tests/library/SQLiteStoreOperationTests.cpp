#include "StoreTestSupport.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

class SQLiteStoreOperations : public ::testing::Test {
protected:
    LinkItem add(const QString& title, const QStringList& tags = {},
                 const char* updatedAt = "2024-05-01T09:00:00.000Z")
    {
        LinkItem item = makeLink(title, {}, updatedAt);
        item.tags = tags;
        return addLink(store, item);
    }

    qint64 count(const char* sql) { return scalar(store, QString::fromLatin1(sql)); }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(at("2024-06-01T12:00:00.000Z"));
    SQLiteStore store{libraryFile(), clock};
};

FileIdentity identity(const char* resource, const char* hash, qint64 size)
{
    return FileIdentity{QByteArray("bookmark"),     QString::fromLatin1(resource),
                        QStringLiteral("volume-1"), QStringLiteral("/tmp/file.txt"),
                        QString::fromLatin1(hash),  size};
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
    EXPECT_EQ(store.link(b.id)->linkedItemCount, 1);
    QList<DeletedRecord> records = store.allDeletedRecords();
    std::sort(records.begin(), records.end(), [](const auto& x, const auto& y) { return x.id() < y.id(); });
    QList<DeletedRecord> expected{
        {QStringLiteral("Link"), uuidString(a.id), clock->now()},
        {QStringLiteral("LinkRelation"), LinkRelation::recordName(a.id, b.id), clock->now()},
        {QStringLiteral("LinkRelation"), LinkRelation::recordName(a.id, c.id), clock->now()}};
    std::sort(expected.begin(), expected.end(), [](const auto& x, const auto& y) { return x.id() < y.id(); });
    EXPECT_EQ(records, expected);
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
    ASSERT_EQ(store.allRelations().size(), 2);
    for (const LinkRelation& relation : store.allRelations())
        EXPECT_LT(uuidString(relation.fromLinkID), uuidString(relation.toLinkID));
    EXPECT_EQ(titles(store.relatedLinks(a.id)), QStringList({"alpha", "Mike"}));

    // Removing writes its tombstone whether or not the relation exists.
    store.removeRelation(a.id, b.id);
    store.removeRelation(b.id, c.id);
    EXPECT_EQ(store.allRelations().size(), 1);
    EXPECT_TRUE(store.isTombstoned(QStringLiteral("LinkRelation"), LinkRelation::recordName(c.id, b.id)));

    // A malformed record name deletes nothing.
    const QString pair = uuidString(a.id) + QStringLiteral("__") + uuidString(c.id);
    store.deleteRelation(uuidString(a.id));
    store.deleteRelation(pair + QStringLiteral("_x"));
    EXPECT_EQ(store.allRelations().size(), 1);
    store.deleteRelation(pair);
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
    const auto found = [&](const char* resource, const char* hash, qint64 size) {
        const std::optional<LinkItem> link = store.linkByLocalResolution(identity(resource, hash, size));
        return link ? link->title : QString();
    };
    EXPECT_EQ(found("inode-7", "hash-b", 10), QStringLiteral("B"));
    EXPECT_EQ(found("inode-7", "hash-c", 10), QString());
    EXPECT_EQ(found("inode-7", "hash-b", 11), QString());
    EXPECT_EQ(found("inode-9", "hash-a", 10), QStringLiteral("A"));
    store.upsertLocalResolution(b.id, identity("inode-8", "hash-a", 10), false);
    EXPECT_EQ(found("inode-8", "none", 1), QStringLiteral("B"));
    EXPECT_EQ(found("inode-0", "hash-a", 10), QString());
}

TEST_F(SQLiteStoreOperations, LocalResolutionsStayConfirmedAndNeedABookmark)
{
    const LinkItem a = add(QStringLiteral("A"));
    store.upsertLocalResolution(a.id, identity("r", "h", 5), true);
    FileIdentity moved = identity("r2", "h", 5);
    moved.contentHash.reset();
    store.upsertLocalResolution(a.id, moved, false);
    EXPECT_EQ(count("SELECT confirmed_by_user FROM link_local_resolutions"), 1);
    EXPECT_EQ(store.localResolution(a.id), moved);

    moved.bookmarkData.clear();
    store.upsertLocalResolution(a.id, moved, false);
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
    store.updateFileIdentity(item.id, FileIdentity{QByteArray("b"), QStringLiteral("inode"), std::nullopt,
                                                   QStringLiteral("/new place/report.txt"), std::nullopt,
                                                   std::nullopt});

    LinkItem expected = item;
    expected.url = QStringLiteral("file:///new%20place/report.txt");
    expected.lastKnownPath = QStringLiteral("/new place/report.txt");
    expected.bookmarkData = QByteArray("b");
    expected.fileResourceIdentifier = QStringLiteral("inode");
    expected.volumeIdentifier.reset();
    expected.updatedAt = clock->now();
    EXPECT_EQ(store.link(item.id), expected);
}

TEST_F(SQLiteStoreOperations, HashAndIdentityLookupsListEveryMatchInUpdateOrder)
{
    for (const auto& [title, updatedAt] : {std::pair{"late", "2024-05-03T00:00:00.000Z"},
                                           {"b-early", "2024-05-01T00:00:00.000Z"},
                                           {"a-early", "2024-05-01T00:00:00.000Z"}}) {
        LinkItem item = makeLink(QString::fromLatin1(title), {}, updatedAt);
        item.type = LinkType::file;
        item.contentHash = QStringLiteral("same");
        item.fileSize = 100;
        item.fileResourceIdentifier = QStringLiteral("inode");
        item.volumeIdentifier = QStringLiteral("vol");
        addLink(store, item);
    }
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
    store.setTags({QStringLiteral("Other")}, a.id);
    EXPECT_EQ(store.link(a.id)->tags, QStringList{QStringLiteral("other")});
    EXPECT_EQ(store.link(b.id)->tags, QStringList{QStringLiteral("work")});
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

    const auto search = [&](const char* query) {
        return titles(store.searchLinks(QString::fromUtf8(query)));
    };
    EXPECT_EQ(search("  REPORT\n"), QStringList({"Report card", "zeta report", "Alpha"}));
    EXPECT_EQ(search("RESEARCH"), QStringList{QStringLiteral("Unrelated")});
    EXPECT_EQ(search("mail"), QStringList{QStringLiteral("Message")});
    // The query's own % and _ are wildcards.
    EXPECT_EQ(search("%").size(), 5);
    EXPECT_EQ(search("r_port c"), QStringList{QStringLiteral("Report card")});
}

TEST_F(SQLiteStoreOperations, BlankSearchListsRecentlyOpenedOrUpdatedFirstAndAnySearchAtMostTwoHundred)
{
    const LinkItem old = add(QStringLiteral("old but opened"), {}, "2024-01-01T00:00:00.000Z");
    add(QStringLiteral("b newer"), {}, "2024-05-02T00:00:00.000Z");
    add(QStringLiteral("A newer"), {}, "2024-05-02T00:00:00.000Z");
    add(QStringLiteral("oldest"), {}, "2023-01-01T00:00:00.000Z");
    clock->setNow(at("2024-05-03T00:00:00.000Z"));
    store.recordOpen(old.id);
    EXPECT_EQ(titles(store.searchLinks(QStringLiteral(" \t"))),
              QStringList({"old but opened", "A newer", "b newer", "oldest"}));

    store.inTransaction([&] {
        for (int i = 0; i < 230; ++i)
            add(QStringLiteral("item %1").arg(i, 3, 10, QLatin1Char('0')));
    });
    const QList<LinkItem> found = store.searchLinks(QStringLiteral("item"));
    ASSERT_EQ(found.size(), 200);
    EXPECT_EQ(found.last().title, QStringLiteral("item 199"));
    EXPECT_EQ(store.searchLinks(QString()).size(), 200);
}

} // namespace
