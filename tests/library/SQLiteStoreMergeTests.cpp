#include "StoreTestSupport.h"
#include "foundation/Uuid.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

class SQLiteStoreMerge : public ::testing::Test {
protected:
    qint64 count(const char* sql) { return scalar(store, QString::fromLatin1(sql)); }

    qint64 rowsEverywhere()
    {
        return count(
            "SELECT (SELECT COUNT(*) FROM links) + (SELECT COUNT(*) FROM tags) + "
            "(SELECT COUNT(*) FROM link_tags) + (SELECT COUNT(*) FROM link_relations) + "
            "(SELECT COUNT(*) FROM link_local_resolutions) + (SELECT COUNT(*) FROM deleted_records)");
    }

    SQLiteStore store{libraryFile()};
};

LinkItem localFile()
{
    LinkItem item = makeLink(QStringLiteral("Local title"), QStringLiteral("file:///local/a.pdf"),
                             "2024-05-10T10:00:00.000Z");
    item.type = LinkType::file;
    item.tags = {QStringLiteral("local")};
    item.bookmarkData = QByteArray("local bookmark");
    item.fileResourceIdentifier = QStringLiteral("inode-1");
    item.lastKnownPath = QStringLiteral("/local/a.pdf");
    return item;
}

LinkItem remoteCopy(const LinkItem& local, const char* updatedAt)
{
    LinkItem remote = local;
    remote.title = QStringLiteral("Remote title");
    remote.url = QStringLiteral("file:///remote/a.pdf");
    remote.tags = {QStringLiteral("remote")};
    remote.bookmarkData = QByteArray("remote bookmark");
    remote.fileResourceIdentifier = QStringLiteral("inode-remote");
    remote.lastKnownPath = QStringLiteral("/remote/a.pdf");
    remote.contentHash = QStringLiteral("remote-hash");
    remote.fileSize = 77;
    remote.createdAt = at("2020-01-01T00:00:00.000Z");
    remote.updatedAt = at(updatedAt);
    remote.lastOpenedAt = at("2024-05-11T00:00:00.000Z");
    return remote;
}

TEST_F(SQLiteStoreMerge, RemoteLinksFollowTheLastWriterRule)
{
    for (const auto& [updatedAt, remoteWins] : {std::pair{"2024-05-10T10:00:00.001Z", true},
                                                {"2024-05-10T10:00:00.000Z", false},
                                                {"2024-05-09T00:00:00.000Z", false}}) {
        SCOPED_TRACE(updatedAt);
        store.eraseAll();
        const LinkItem local = addLink(store, localFile());
        const LinkItem remote = remoteCopy(local, updatedAt);
        store.applyRemoteLink(remote);

        // Either way: missing file fields are filled, present ones and device-local evidence stay.
        LinkItem expected = remoteWins ? remote : local;
        expected.createdAt = local.createdAt;
        expected.contentHash = remote.contentHash;
        expected.fileSize = remote.fileSize;
        expected.lastKnownPath = local.lastKnownPath;
        expected.bookmarkData = local.bookmarkData;
        expected.fileResourceIdentifier = local.fileResourceIdentifier;
        EXPECT_EQ(store.link(local.id), expected);
    }
}

TEST_F(SQLiteStoreMerge, ATombstonedRemoteLinkIsNotWritten)
{
    const LinkItem local = addLink(store, localFile());
    store.deleteLink(local.id);
    store.applyRemoteLink(remoteCopy(local, "2030-01-01T00:00:00.000Z"));
    EXPECT_FALSE(store.link(local.id).has_value());
}

TEST_F(SQLiteStoreMerge, ANewRemoteLinkArrivesWithoutDeviceEvidence)
{
    LinkItem remote = remoteCopy(localFile(), "2024-05-12T00:00:00.000Z");
    store.applyRemoteLink(remote);
    remote.bookmarkData.reset();
    remote.fileResourceIdentifier.reset();
    EXPECT_EQ(store.link(remote.id), remote);
}

TEST_F(SQLiteStoreMerge, ARemoteLinkWhoseTagsFailLeavesTheRowAsItWas)
{
    const LinkItem local = addLink(store, localFile());
    store.execute(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON link_tags "
                                 "BEGIN SELECT RAISE(ABORT, 'no tags today'); END"));
    EXPECT_THROW(store.applyRemoteLink(remoteCopy(local, "2030-01-01T00:00:00.000Z")), StoreError);
    EXPECT_EQ(store.link(local.id), local);
}

TEST_F(SQLiteStoreMerge, RemoteDeletionsApplyKnownTypesAndKeepTheLaterTime)
{
    const LinkItem a = addLink(store, makeLink(QStringLiteral("A")));
    const LinkItem b = addLink(store, makeLink(QStringLiteral("B")));
    const LinkItem c = addLink(store, makeLink(QStringLiteral("C")));
    store.addRelation(a.id, b.id);
    store.addRelation(b.id, c.id);

    store.applyRemoteDeletion({QStringLiteral("Note"), uuidString(a.id), at("2024-06-01T00:00:00.000Z")});
    store.applyRemoteDeletion({QStringLiteral("link"), uuidString(a.id), at("2024-06-01T00:00:00.000Z")});
    EXPECT_TRUE(store.allDeletedRecords().isEmpty());
    EXPECT_TRUE(store.link(a.id).has_value());

    const QString relationName = LinkRelation::recordName(c.id, b.id);
    store.applyRemoteDeletion({QStringLiteral("LinkRelation"), relationName, at("2024-06-02T00:00:00.000Z")});
    EXPECT_EQ(store.allRelations().size(), 1);
    store.applyRemoteDeletion({QStringLiteral("LinkRelation"), relationName, at("2024-06-01T00:00:00.000Z")});
    EXPECT_EQ(store.allDeletedRecords().value(0).deletedAt, at("2024-06-02T00:00:00.000Z"));

    store.applyRemoteDeletion({QStringLiteral("Link"), uuidString(a.id), at("2024-06-03T00:00:00.000Z")});
    EXPECT_FALSE(store.link(a.id).has_value());
    EXPECT_TRUE(store.allRelations().isEmpty());
    // Remote deletions leave no relation tombstones of their own.
    EXPECT_EQ(store.allDeletedRecords().size(), 2);
}

TEST_F(SQLiteStoreMerge, RemoteRelationsAreSkippedWhenSelfTombstonedOrDangling)
{
    const LinkItem a = addLink(store, makeLink(QStringLiteral("A")));
    const LinkItem b = addLink(store, makeLink(QStringLiteral("B")));
    const LinkItem c = addLink(store, makeLink(QStringLiteral("C")));
    const QUuid missing = QUuid::createUuid();
    const QDateTime created = at("2024-01-02T03:04:05.678Z");
    store.removeRelation(a.id, c.id);

    const LinkRelation skipped[] = {
        {QUuid::createUuid(), a.id, a.id, created},
        {QUuid::createUuid(), c.id, a.id, created},
        {QUuid::createUuid(), a.id, missing, created},
        {QUuid::createUuid(), missing, b.id, created},
    };
    for (const LinkRelation& relation : skipped)
        EXPECT_NO_THROW(store.applyRemoteRelation(relation));
    EXPECT_TRUE(store.allRelations().isEmpty());

    const LinkRelation kept{QUuid::createUuid(), b.id, a.id, created};
    store.applyRemoteRelation(kept);
    store.applyRemoteRelation({QUuid::createUuid(), a.id, b.id, at("2025-01-01T00:00:00.000Z")});
    ASSERT_EQ(store.allRelations().size(), 1);
    const LinkRelation stored = store.allRelations().first();
    EXPECT_EQ(stored.id, kept.id);
    EXPECT_EQ(stored.createdAt, created);
    EXPECT_LT(uuidString(stored.fromLinkID), uuidString(stored.toLinkID));
}

TEST_F(SQLiteStoreMerge, ImportRevivesDeletedRecordsAndOverwritesTheRow)
{
    LinkItem local = addLink(store, localFile());
    local.contentHash = QStringLiteral("local-hash");
    store.backfillFileFields(local, *store.link(local.id));
    const LinkItem other = addLink(store, makeLink(QStringLiteral("Other")));
    store.addRelation(local.id, other.id);
    store.deleteLink(local.id);

    LinkItem backup = local;
    backup.title = QStringLiteral("From backup");
    backup.tags = {QStringLiteral("Backup"), QStringLiteral("backup ")};
    backup.contentHash.reset();
    backup.lastKnownPath.reset();
    backup.createdAt = at("2019-01-01T00:00:00.000Z");
    const LinkRelation relation{QUuid::createUuid(), other.id, local.id, at("2019-02-02T00:00:00.000Z")};
    store.importRecords({backup}, {relation, {QUuid::createUuid(), other.id, other.id, relation.createdAt}});

    // The deleted row's evidence is not in a backup; the backup's tags are cleaned as any others.
    backup.tags = {QStringLiteral("backup")};
    backup.bookmarkData.reset();
    backup.fileResourceIdentifier.reset();
    backup.linkedItemCount = 1;
    EXPECT_EQ(store.link(local.id), backup);
    EXPECT_TRUE(store.allDeletedRecords().isEmpty());

    // Importing again keeps the existing relation row and takes the backup's time.
    store.importRecords({}, {{QUuid::createUuid(), local.id, other.id, at("2018-01-01T00:00:00.000Z")}});
    ASSERT_EQ(store.allRelations().size(), 1);
    EXPECT_EQ(store.allRelations().first().id, relation.id);
    EXPECT_EQ(store.allRelations().first().createdAt, at("2018-01-01T00:00:00.000Z"));
}

TEST_F(SQLiteStoreMerge, AnImportNamingAnUnknownItemRollsBackEntirely)
{
    const LinkItem existing = addLink(store, makeLink(QStringLiteral("Existing")));
    store.deleteLink(existing.id);
    const qint64 before = rowsEverywhere();

    LinkItem fresh = makeLink(QStringLiteral("Fresh"));
    fresh.tags = {QStringLiteral("new tag")};
    LinkItem revived = existing;
    EXPECT_THROW(store.importRecords({fresh, revived}, {{QUuid::createUuid(), fresh.id, QUuid::createUuid(),
                                                         at("2024-01-01T00:00:00.000Z")}}),
                 StoreError);
    EXPECT_EQ(rowsEverywhere(), before);
    EXPECT_TRUE(store.isTombstoned(QStringLiteral("Link"), uuidString(existing.id)));
    EXPECT_FALSE(store.connection().inTransaction());
}

TEST_F(SQLiteStoreMerge, BackfillFillsOnlyMissingFieldsAndKeepsTheUpdateTime)
{
    LinkItem local = localFile();
    local.lastKnownPath.reset();
    addLink(store, local);
    LinkItem remote = remoteCopy(local, "2030-01-01T00:00:00.000Z");
    store.backfillFileFields(remote, *store.link(local.id));
    const LinkItem stored = *store.link(local.id);
    EXPECT_EQ(stored.lastKnownPath, remote.lastKnownPath);
    EXPECT_EQ(stored.contentHash, remote.contentHash);
    EXPECT_EQ(stored.updatedAt, local.updatedAt);

    remote.contentHash = QStringLiteral("another");
    store.backfillFileFields(remote, stored);
    EXPECT_EQ(store.link(local.id)->contentHash, QStringLiteral("remote-hash"));
}

TEST_F(SQLiteStoreMerge, EraseAllEmptiesEveryTableInOneTransaction)
{
    const LinkItem a = addLink(store, localFile());
    const LinkItem b = addLink(store, makeLink(QStringLiteral("B")));
    store.addRelation(a.id, b.id);
    store.upsertLocalResolution(a.id, FileIdentity{QByteArray("x"), {}, {}, QStringLiteral("/p"), {}, {}},
                                true);
    store.removeRelation(a.id, QUuid::createUuid());
    const qint64 before = rowsEverywhere();
    ASSERT_EQ(before, 2 + 1 + 1 + 1 + 1 + 1); // a row in every table

    // The last table refuses: nothing of the erase may stay.
    store.execute(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON deleted_records "
                                 "BEGIN SELECT RAISE(ABORT, 'kept'); END"));
    EXPECT_THROW(store.eraseAll(), StoreError);
    EXPECT_EQ(rowsEverywhere(), before);

    store.execute(QStringLiteral("DROP TRIGGER refuse"));
    store.eraseAll();
    EXPECT_EQ(rowsEverywhere(), 0);
}

} // namespace
