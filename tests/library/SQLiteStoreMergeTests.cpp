#include "StoreTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

using namespace morvane;
using namespace morvane::test;

namespace {

class SQLiteStoreMerge : public ::testing::Test {
protected:
    qint64 count(const char* sql) { return scalar(store, QString::fromLatin1(sql)); }

    SQLiteStore store{libraryFile()};
};

LinkItem localFile()
{
    LinkItem item = makeLink("Local title", "file:///local/a.pdf", "2024-05-10T10:00:00.000Z");
    item.type = LinkType::file;
    item.tags = {"local"};
    item.bookmarkData = QByteArray("local bookmark");
    item.fileResourceIdentifier = "inode-1";
    item.lastKnownPath = "/local/a.pdf";
    return item;
}

LinkItem remoteCopy(const LinkItem& local, const char* updatedAt)
{
    LinkItem remote = local;
    remote.title = "Remote title";
    remote.url = "file:///remote/a.pdf";
    remote.tags = {"remote"};
    remote.bookmarkData = QByteArray("remote bookmark");
    remote.fileResourceIdentifier = "inode-remote";
    remote.lastKnownPath = "/remote/a.pdf";
    remote.contentHash = "remote-hash";
    remote.fileSize = 77;
    remote.createdAt = at("2020-01-01T00:00:00.000Z");
    remote.updatedAt = at(updatedAt);
    remote.lastOpenedAt = at("2024-05-11T00:00:00.000Z");
    return remote;
}

TEST_F(SQLiteStoreMerge, RemoteLinksFollowTheLastWriterRuleUnlessTombstoned)
{
    for (const auto& [updatedAt, remoteWins] : {std::pair{"2024-05-10T10:00:00.001Z", true},
                                                {"2024-05-10T10:00:00.000Z", false},
                                                {"2024-05-09T00:00:00.000Z", false}}) {
        SCOPED_TRACE(updatedAt);
        store.merge().eraseAll();
        const LinkItem local = addLink(store, localFile());
        const LinkItem remote = remoteCopy(local, updatedAt);
        store.merge().applyRemoteLink(remote);

        // Either way: missing file fields are filled, present ones and device-local evidence stay.
        LinkItem expected = remoteWins ? remote : local;
        expected.createdAt = local.createdAt;
        expected.contentHash = remote.contentHash;
        expected.fileSize = remote.fileSize;
        expected.lastKnownPath = local.lastKnownPath;
        expected.bookmarkData = local.bookmarkData;
        expected.fileResourceIdentifier = local.fileResourceIdentifier;
        EXPECT_EQ(store.reads().link(local.id), expected);
    }

    // A new link arrives without the other machine's evidence; a tombstoned one does not arrive at all.
    LinkItem arriving = remoteCopy(localFile(), "2024-05-12T00:00:00.000Z");
    store.merge().applyRemoteLink(arriving);
    arriving.bookmarkData.reset();
    arriving.fileResourceIdentifier.reset();
    EXPECT_EQ(store.reads().link(arriving.id), arriving);
    store.writes().deleteLink(arriving.id);
    store.merge().applyRemoteLink(remoteCopy(arriving, "2030-01-01T00:00:00.000Z"));
    EXPECT_FALSE(store.reads().link(arriving.id).has_value());
}

TEST_F(SQLiteStoreMerge, RemoteDeletionsApplyKnownTypesAndKeepTheLaterTime)
{
    const LinkItem a = addLink(store, makeLink("A"));
    const LinkItem b = addLink(store, makeLink("B"));
    const LinkItem c = addLink(store, makeLink("C"));
    store.writes().addRelation(a.id, b.id);
    store.writes().addRelation(b.id, c.id);

    store.merge().applyRemoteDeletion({"Note", uuidString(a.id), at("2036-06-01T00:00:00.000Z")});
    store.merge().applyRemoteDeletion({"link", uuidString(a.id), at("2036-06-01T00:00:00.000Z")});
    EXPECT_TRUE(store.reads().allDeletedRecords().isEmpty());
    EXPECT_TRUE(store.reads().link(a.id).has_value());

    const QString relationName = LinkRelation::recordName(c.id, b.id);
    // The pair was related after a deletion dated before now: the relation outlives it.
    store.merge().applyRemoteDeletion({"LinkRelation", relationName, at("2001-01-01T00:00:00.000Z")});
    EXPECT_EQ(store.reads().allRelations().size(), 2);
    EXPECT_TRUE(store.reads().allDeletedRecords().isEmpty());
    store.merge().applyRemoteDeletion({"LinkRelation", relationName, at("2036-06-02T00:00:00.000Z")});
    EXPECT_EQ(store.reads().allRelations().size(), 1);
    store.merge().applyRemoteDeletion({"LinkRelation", relationName, at("2036-06-01T00:00:00.000Z")});
    EXPECT_EQ(store.reads().allDeletedRecords().value(0).deletedAt, at("2036-06-02T00:00:00.000Z"));

    store.merge().applyRemoteDeletion({"Link", uuidString(a.id), at("2036-06-03T00:00:00.000Z")});
    EXPECT_FALSE(store.reads().link(a.id).has_value());
    EXPECT_TRUE(store.reads().allRelations().isEmpty());
    // Remote deletions leave no relation tombstones of their own.
    EXPECT_EQ(store.reads().allDeletedRecords().size(), 2);
}

TEST_F(SQLiteStoreMerge, RemoteRelationsAreSkippedWhenSelfTombstonedOrDangling)
{
    const LinkItem a = addLink(store, makeLink("A"));
    const LinkItem b = addLink(store, makeLink("B"));
    const LinkItem c = addLink(store, makeLink("C"));
    const QUuid missing = QUuid::createUuid();
    const QDateTime created = at("2024-01-02T03:04:05.678Z");
    store.writes().removeRelation(a.id, c.id);

    const LinkRelation skipped[] = {
        {QUuid::createUuid(), a.id, a.id, created},
        {QUuid::createUuid(), c.id, a.id, created},
        {QUuid::createUuid(), a.id, missing, created},
        {QUuid::createUuid(), missing, b.id, created},
    };
    for (const LinkRelation& relation : skipped)
        EXPECT_NO_THROW(store.merge().applyRemoteRelation(relation));
    EXPECT_TRUE(store.reads().allRelations().isEmpty());

    const LinkRelation kept{QUuid::createUuid(), b.id, a.id, created};
    store.merge().applyRemoteRelation(kept);
    store.merge().applyRemoteRelation({QUuid::createUuid(), a.id, b.id, at("2025-01-01T00:00:00.000Z")});
    ASSERT_EQ(store.reads().allRelations().size(), 1);
    const LinkRelation stored = store.reads().allRelations().first();
    EXPECT_EQ(stored.id, kept.id);
    EXPECT_EQ(stored.createdAt, created);
    EXPECT_LT(uuidString(stored.fromLinkID), uuidString(stored.toLinkID));
}

// An import looks each tag up once for all its links: ids are shared, a tag stored in other capitals is
// found again (unless erased meanwhile), and of two copies of a link in one file the last one wins.
TEST_F(SQLiteStoreMerge, ImportSharesTagsAcrossLinksAndTheLastCopyOfALinkWins)
{
    rawLibrary(store).execute("INSERT INTO tags (id, name) VALUES ('T1', 'Work')");
    LinkItem first = makeLink("twice");
    first.tags = {"first", " Work "};
    LinkItem last = first;
    last.title = "twice, last";
    last.tags = {"last", "WORK"};
    LinkItem fresh = makeLink("fresh");
    fresh.tags = {"work", "first", "", "FIRST"};
    store.merge().importRecords({first, fresh, last}, {});
    EXPECT_EQ(store.reads().link(first.id)->title, "twice, last");
    EXPECT_EQ(store.reads().link(first.id)->tags, QStringList({"last", "Work"}));
    EXPECT_EQ(store.reads().link(fresh.id)->tags, QStringList({"first", "Work"}));
    EXPECT_EQ(count("SELECT COUNT(*) FROM tags"), 3);
    EXPECT_EQ(count("SELECT COUNT(*) FROM link_tags WHERE tag_id = 'T1'"), 2);

    // A replacing import erases and imports in the caller's one transaction: the tags the erase removed
    // are written anew, not found again by a stale id.
    store.transactions().inTransaction([&] {
        store.merge().importRecords({fresh}, {});
        store.merge().eraseAll();
        store.merge().importRecords({fresh}, {});
    });
    EXPECT_EQ(store.reads().link(fresh.id)->tags, QStringList({"first", "work"}));
}

// A large import and the erase make the indexes of links, tags and relations again rather than follow
// them row by row: whether they finish or are refused half way, every index is there afterwards and
// finds what it should.
TEST_F(SQLiteStoreMerge, ImportsAndTheEraseLeaveEveryIndexInPlace)
{
    const QString indexes = QStringLiteral("SELECT name || ' ' || sql FROM sqlite_master WHERE type = "
                                           "'index' AND sql IS NOT NULL ORDER BY name");
    const QStringList before = texts(store, indexes);
    LinkItem a = makeLink("A");
    a.tags = {"one", "two"};
    const LinkItem b = makeLink("B");
    const LinkRelation relation{QUuid::createUuid(), a.id, b.id, at("2024-01-01T00:00:00.000Z")};
    store.merge().importRecords({a, b}, {relation});
    EXPECT_EQ(texts(store, indexes), before);
    EXPECT_EQ(store.reads().relatedLinks(b.id).size(), 1);
    EXPECT_EQ(scalar(store, "SELECT COUNT(*) FROM link_tags INDEXED BY link_tags_tag_idx WHERE tag_id IN "
                            "(SELECT id FROM tags WHERE name = 'two')"),
              1);

    rawLibrary(store).execute("CREATE TRIGGER refuse BEFORE INSERT ON link_relations BEGIN "
                              "SELECT RAISE(ABORT, 'refused'); END");
    const LinkItem c = makeLink("C");
    EXPECT_THROW(store.merge().importRecords({c}, {{QUuid::createUuid(), a.id, c.id, relation.createdAt}}),
                 StoreError);
    EXPECT_EQ(texts(store, indexes), before);
    EXPECT_FALSE(store.reads().link(c.id));

    store.merge().eraseAll();
    EXPECT_EQ(texts(store, indexes), before);
}

// Each write refused by the database at its last statement: nothing of it may stay, and the connection
// takes the next write.
TEST_F(SQLiteStoreMerge, AWriteRefusedHalfWayLeavesEveryRowAsItWas)
{
    const LinkItem a = addLink(store, localFile());
    const LinkItem b = addLink(store, makeLink("B"));
    store.writes().addRelation(a.id, b.id);
    store.writes().upsertLocalResolution(a.id, FileIdentity{"x", {}, {}, "/p", {}, {}}, true);
    store.writes().removeRelation(a.id, QUuid::createUuid());
    const QStringList before = everyRow(store);
    ASSERT_EQ(before.size(), 2 + 1 + 1 + 1 + 1 + 1); // a row in every table

    const std::pair<const char*, std::function<void()>> writes[] = {
        {"BEFORE DELETE ON links", [&] { store.writes().deleteLink(a.id); }},
        {"BEFORE INSERT ON link_tags",
         [&] { store.merge().applyRemoteLink(remoteCopy(a, "2030-01-01T00:00:00.000Z")); }},
        {"BEFORE DELETE ON deleted_records", [&] { store.merge().eraseAll(); }},
    };
    SQLiteConnection raw = rawLibrary(store);
    for (const auto& [trigger, write] : writes) {
        SCOPED_TRACE(trigger);
        raw.execute(QStringLiteral("CREATE TRIGGER refuse %1 BEGIN SELECT RAISE(ABORT, 'refused'); END")
                        .arg(QString::fromLatin1(trigger)));
        EXPECT_THROW(write(), StoreError);
        raw.execute("DROP TRIGGER refuse");
        EXPECT_EQ(everyRow(store), before);
    }
    store.merge().eraseAll();
    EXPECT_TRUE(everyRow(store).isEmpty());
}

// What merging remote links writes, with tags by name since each library makes its own tag ids; the
// change journal with its numbers, which say in what order the sync reads the changes.
QStringList mergedRows(const SQLiteStore& store)
{
    const QStringList linkColumns =
        texts(store, "SELECT 'quote(' || name || ')' FROM pragma_table_info('links')");
    QStringList rows =
        texts(store, QStringLiteral("SELECT %1 FROM links ORDER BY id").arg(linkColumns.join(" || '|' || ")));
    rows += texts(store, "SELECT 'tag ' || name FROM tags ORDER BY name");
    rows += texts(store, "SELECT 'tagged ' || link_id || ' ' || name FROM link_tags "
                         "JOIN tags ON tags.id = link_tags.tag_id ORDER BY 1");
    rows += texts(store, "SELECT 'change ' || seq || ' ' || kind || ' ' || first || ' ' || second "
                         "FROM library_changes ORDER BY seq");
    return rows;
}

struct Arrival {
    LinkItem link;
    bool winsEqualTime = false;
};

// Two libraries alike, down to their ids, for one remote batch applied in two ways: a link of every
// kind the decision tells apart, and a stored row that does not read back but has tags.
struct MergeCase {
    QList<Arrival> arrivals;

    explicit MergeCase(const QList<SQLiteStore*>& stores)
    {
        LinkItem older = localFile();
        LinkItem newer = makeLink("Newer here", {}, "2024-06-01T00:00:00.000Z");
        newer.tags = {"here"};
        LinkItem tiedWon = makeLink("Tied, won", {}, "2024-06-01T00:00:00.000Z");
        LinkItem tiedKept = makeLink("Tied, kept", {}, "2024-06-01T00:00:00.000Z");
        tiedKept.tags = {"kept"};
        const LinkItem deleted = makeLink("Deleted");
        const QUuid unreadable = QUuid::createUuid();
        for (SQLiteStore* store : stores) {
            for (const LinkItem& link : {older, newer, tiedWon, tiedKept, deleted})
                addLink(*store, link);
            store->writes().deleteLink(deleted.id);
            SQLiteConnection raw = rawLibrary(*store);
            raw.execute("INSERT INTO links (id, title, url, type, created_at, updated_at) VALUES (?, 'u', "
                        "'https://u.example', 'unknown', '2024-01-01T00:00:00.000Z', "
                        "'2030-01-01T00:00:00.000Z')",
                        {uuidString(unreadable)});
            raw.execute("INSERT INTO link_tags SELECT ?, id FROM tags WHERE name = 'here'",
                        {uuidString(unreadable)});
            raw.execute("INSERT INTO tags (id, name) VALUES ('shared-tag', 'Shared')");
        }

        LinkItem fresh = makeLink("Fresh", {}, "2024-07-01T00:00:00.000Z");
        fresh.tags = {"B", "a", " b ", "a", "  "};
        LinkItem freshAgain = fresh;
        freshAgain.title = "Fresh, edited";
        freshAgain.updatedAt = at("2024-07-02T00:00:00.000Z");
        freshAgain.tags = {"c", "here"};
        LinkItem untagged = makeLink("Untagged");
        untagged.tags = {" ", ""};
        LinkItem olderThere = remoteCopy(newer, "2024-05-01T00:00:00.000Z");
        olderThere.lastKnownPath = std::nullopt;
        LinkItem overUnreadable = makeLink("Over unreadable");
        overUnreadable.id = unreadable;
        overUnreadable.tags = {"x", "SHARED "};
        arrivals = {{fresh},
                    {remoteCopy(older, "2024-05-11T00:00:00.000Z")},
                    {olderThere, true},
                    {remoteCopy(tiedWon, "2024-06-01T00:00:00.000Z"), true},
                    {remoteCopy(tiedKept, "2024-06-01T00:00:00.000Z")},
                    {remoteCopy(deleted, "2030-01-01T00:00:00.000Z"), true},
                    {untagged},
                    {freshAgain},
                    {overUnreadable},
                    {remoteCopy(fresh, "2024-06-01T00:00:00.000Z")}};
    }
};

// A batch through one applier writes what the links applied one at a time write: rows, tags and the
// order of the change journal.
TEST_F(SQLiteStoreMerge, RemoteLinksInOneBatchWriteWhatTheyWriteOneAtATime)
{
    SQLiteStore batched(testHome() + "/batched.sqlite");
    const MergeCase merge({&store, &batched});
    ASSERT_EQ(mergedRows(store), mergedRows(batched));

    for (const Arrival& arrival : merge.arrivals)
        store.merge().applyRemoteLink(arrival.link, arrival.winsEqualTime);
    batched.transactions().inTransaction([&] {
        LibraryMerge::RemoteLinks links(batched.merge());
        for (const Arrival& arrival : merge.arrivals)
            links.apply(arrival.link, arrival.winsEqualTime);
    });
    EXPECT_EQ(mergedRows(batched), mergedRows(store));

    // Not alike by doing nothing: new links came with their tags, the unreadable row lost its own and
    // took a tag the library had in another case, and the newer local link took the file fields it
    // lacked.
    const auto tagsOf = [&](const LinkItem& link) { return store.reads().link(link.id).value().tags; };
    EXPECT_EQ(tagsOf(merge.arrivals[0].link), QStringList({"c", "here"}));
    EXPECT_EQ(tagsOf(merge.arrivals[8].link), QStringList({"Shared", "x"}));
    EXPECT_EQ(scalar(store, "SELECT count(*) FROM tags WHERE name = 'Shared' COLLATE NOCASE"), 1);
    EXPECT_TRUE(tagsOf(merge.arrivals[6].link).isEmpty());
    EXPECT_EQ(store.reads().link(merge.arrivals[2].link.id)->contentHash, "remote-hash");
}

// A link whose tags are refused is undone wholly, row and tags; the links before it stay, and the applier
// goes on with tags made again.
TEST_F(SQLiteStoreMerge, ARemoteLinkRefusedInABatchIsUndoneAlone)
{
    const LinkItem local = addLink(store, localFile());
    SQLiteConnection raw = rawLibrary(store);
    raw.execute("CREATE TRIGGER refuse BEFORE INSERT ON link_tags WHEN (SELECT name FROM tags WHERE id = "
                "new.tag_id) = 'refused' BEGIN SELECT RAISE(ABORT, 'refused'); END");
    LinkItem before = makeLink("Before");
    before.tags = {"ok"};
    LinkItem refused = remoteCopy(local, "2030-01-01T00:00:00.000Z");
    refused.tags = {"fresh", "refused"};
    LinkItem after = makeLink("After");
    after.tags = {"fresh"};

    const QString localChanges =
        QStringLiteral("SELECT seq FROM library_changes WHERE first = '%1'").arg(uuidString(local.id));
    const QStringList noted = texts(store, localChanges);
    store.transactions().inTransaction([&] {
        LibraryMerge::RemoteLinks links(store.merge());
        links.apply(before);
        EXPECT_THROW(links.apply(refused), StoreError);
        links.apply(after);
    });
    EXPECT_EQ(store.reads().link(local.id), local);
    EXPECT_EQ(store.reads().link(before.id).value().tags, before.tags);
    EXPECT_EQ(store.reads().link(after.id).value().tags, after.tags);
    EXPECT_EQ(texts(store, "SELECT name FROM tags ORDER BY name"), QStringList({"fresh", "local", "ok"}));
    EXPECT_EQ(texts(store, localChanges), noted);
}

} // namespace
