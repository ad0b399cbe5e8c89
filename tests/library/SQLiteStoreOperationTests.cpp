#include "StoreTestSupport.h"

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

    qint64 count(const QString& sql) { return scalar(store, sql); }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(at("2024-06-01T12:00:00.000Z"));
    SQLiteStore store{libraryFile(), clock};
};

FileIdentity identity(const char* resource, const char* hash, qint64 size)
{
    return FileIdentity{QByteArray("bookmark"), QString::fromLatin1(resource), "volume-1",
                        "/tmp/file.txt",        QString::fromLatin1(hash),     size};
}

TEST_F(SQLiteStoreOperations, DeletingALinkTakesItsRowsAlongAndLeavesTombstones)
{
    const LinkItem a = add("A", {"work"});
    const LinkItem b = add("B", {"work"});
    const LinkItem c = add("C");
    store.writes().addRelation(a.id, b.id);
    store.writes().addRelation(c.id, a.id);
    store.writes().addRelation(b.id, c.id);
    store.writes().upsertLocalResolution(a.id, identity("r1", "h1", 1), false);

    store.writes().deleteLink(a.id);
    EXPECT_FALSE(store.reads().link(a.id).has_value());
    EXPECT_EQ(count("SELECT COUNT(*) FROM link_tags"), 1); // b's
    EXPECT_EQ(count("SELECT COUNT(*) FROM link_local_resolutions"), 0);
    EXPECT_EQ(store.reads().link(b.id)->linkedItemCount, 1);
    QList<DeletedRecord> records = store.reads().allDeletedRecords();
    std::sort(records.begin(), records.end(), [](const auto& x, const auto& y) { return x.id() < y.id(); });
    QList<DeletedRecord> expected{{"Link", uuidString(a.id), clock->now()},
                                  {"LinkRelation", LinkRelation::recordName(a.id, b.id), clock->now()},
                                  {"LinkRelation", LinkRelation::recordName(a.id, c.id), clock->now()}};
    std::sort(expected.begin(), expected.end(), [](const auto& x, const auto& y) { return x.id() < y.id(); });
    EXPECT_EQ(records, expected);
}

TEST_F(SQLiteStoreOperations, RelationsAreStoredOncePerPairSmallerIdFirstAndNeverToItself)
{
    const LinkItem a = add("Zulu");
    const LinkItem b = add("alpha");
    const LinkItem c = add("Mike");
    store.writes().addRelation(b.id, a.id);
    store.writes().addRelation(a.id, b.id);
    store.writes().addRelation(a.id, a.id);
    store.writes().addRelation(c.id, a.id);
    ASSERT_EQ(store.reads().allRelations().size(), 2);
    for (const LinkRelation& relation : store.reads().allRelations())
        EXPECT_LT(uuidString(relation.fromLinkID), uuidString(relation.toLinkID));
    EXPECT_EQ(titles(store.reads().relatedLinks(a.id)), QStringList({"alpha", "Mike"}));

    // Removing writes its tombstone whether or not the relation exists.
    store.writes().removeRelation(a.id, b.id);
    store.writes().removeRelation(b.id, c.id);
    EXPECT_EQ(store.reads().allRelations().size(), 1);
    EXPECT_TRUE(store.reads().isTombstoned("LinkRelation", LinkRelation::recordName(c.id, b.id)));

    // A malformed record name deletes nothing.
    const QString pair = uuidString(a.id) + "__" + uuidString(c.id);
    store.writes().deleteRelation(uuidString(a.id));
    store.writes().deleteRelation(pair + "_x");
    EXPECT_EQ(store.reads().allRelations().size(), 1);
    store.writes().deleteRelation(pair);
    EXPECT_TRUE(store.reads().allRelations().isEmpty());
}

TEST_F(SQLiteStoreOperations, LocalResolutionsAreFoundOnlyByAnUnambiguousMatchAndNeedABookmark)
{
    const LinkItem a = add("A");
    const LinkItem b = add("B");
    // Same file identity for both, different hashes: the identity step is ambiguous, the hash decides.
    store.writes().upsertLocalResolution(a.id, identity("inode-7", "hash-a", 10), false);
    store.writes().upsertLocalResolution(b.id, identity("inode-7", "hash-b", 10), false);
    const auto found = [&](const char* resource, const char* hash, qint64 size) {
        const std::optional<LinkItem> link =
            store.fileLookups().linkByLocalResolution(identity(resource, hash, size));
        return link ? link->title : QString();
    };
    EXPECT_EQ(found("inode-7", "hash-b", 10), "B");
    EXPECT_EQ(found("inode-7", "hash-c", 10), QString());
    EXPECT_EQ(found("inode-7", "hash-b", 11), QString());
    EXPECT_EQ(found("inode-9", "hash-a", 10), "A");
    store.writes().upsertLocalResolution(b.id, identity("inode-8", "hash-a", 10), false);
    EXPECT_EQ(found("inode-8", "none", 1), "B");
    EXPECT_EQ(found("inode-0", "hash-a", 10), QString());

    // A confirmed resolution stays confirmed when refreshed; one without a bookmark is not kept.
    store.writes().upsertLocalResolution(a.id, identity("inode-7", "hash-a", 10), true);
    FileIdentity moved = identity("inode-9", "hash-a", 10);
    moved.contentHash.reset();
    store.writes().upsertLocalResolution(a.id, moved, false);
    EXPECT_EQ(count("SELECT confirmed_by_user FROM link_local_resolutions WHERE link_id = '" +
                    uuidString(a.id) + "'"),
              1);
    EXPECT_EQ(store.fileLookups().localResolution(a.id), moved);
    moved.bookmarkData.clear();
    store.writes().upsertLocalResolution(a.id, moved, false);
    EXPECT_FALSE(store.fileLookups().localResolution(a.id).has_value());
}

TEST_F(SQLiteStoreOperations, TagsAreTrimmedLowerCasedAndSharedOnceAndKeepTheirCommas)
{
    const LinkItem a = add("A", {"  Work ", "WORK", "\n", "Zed", "beta", "Rust, Go", ",,"});
    const LinkItem b = add("B", {"work"});
    EXPECT_EQ(store.reads().link(a.id)->tags, QStringList({",,", "beta", "rust, go", "work", "zed"}));
    EXPECT_EQ(count("SELECT COUNT(*) FROM tags"), 5);
    store.writes().setTags({"Other"}, a.id);
    EXPECT_EQ(store.reads().link(a.id)->tags, QStringList{"other"});
    EXPECT_EQ(store.reads().link(b.id)->tags, QStringList{"work"});
}

// The monitor asks for these on every poll and gets a remembered answer: it must never outlive a
// write of the store or a commit of another program.
TEST(SQLiteStoreBookmarks, TheBookmarkedFileLinksFollowEveryWriteAndOtherProgramsCommits)
{
    SQLiteStore store{libraryFile()};
    const auto titlesNow = [&] { return titles(store.fileLookups().bookmarkedFileLinks()); };
    LinkItem web = makeLink("page");
    web.bookmarkData = QByteArray("not a file");
    addLink(store, web);
    LinkItem file = makeLink("report", "file:///tmp/report.txt");
    file.type = LinkType::file;
    addLink(store, file);
    EXPECT_EQ(titlesNow(), QStringList{});

    store.writes().updateFileIdentity(file.id, identity("r-1", "h", 1), file.url);
    EXPECT_EQ(titlesNow(), QStringList{"report"});

    SQLiteConnection other = rawLibrary(store);
    other.execute(QStringLiteral("UPDATE links SET title = 'renamed'"));
    EXPECT_EQ(titlesNow(), QStringList{"renamed"});

    store.writes().deleteLink(file.id);
    EXPECT_EQ(titlesNow(), QStringList{});
}

} // namespace
