// The library's change journal names every key a committed write changed, whoever wrote it.
#include "StoreTestSupport.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

TEST(ChangeJournal, NamesWhatEachWriteChangedAndNothingARollbackUndid)
{
    SQLiteStore store(libraryFile());
    const LinkItem a = addLink(store, makeLink("a"));
    const LinkItem b = addLink(store, makeLink("b"));
    const qint64 start = store.journal().changesSince(std::nullopt).through;
    const auto since = [&](qint64 point) { return store.journal().changesSince(point); };

    store.writes().setTags({"work"}, a.id);
    // A remote relation is written with INSERT OR IGNORE: its note must not be ignored with it.
    store.merge().applyRemoteRelation({QUuid::createUuid(), a.id, b.id, at("2024-05-01T09:00:00.000Z")});
    store.writes().upsertTombstone("Link", "gone", at("2024-05-01T09:00:00.000Z"));
    LibraryChangeJournal::Changes changes = since(start);
    ASSERT_TRUE(changes.complete);
    EXPECT_EQ(changes.links, QList<QString>{uuidString(a.id)});
    EXPECT_EQ(changes.relations.size(), 1);
    EXPECT_EQ(changes.deletedRecords, (QList<std::pair<QString, QString>>{{"Link", "gone"}}));

    // Another program's write is named too; a key changed twice is named once.
    const qint64 point = changes.through;
    rawLibrary(store).execute("UPDATE links SET title = 'elsewhere' WHERE id = ?", {uuidString(b.id)});
    store.writes().recordOpen(b.id);
    EXPECT_EQ(since(point).links, QList<QString>{uuidString(b.id)});
    EXPECT_NE(since(point).othersCommits, changes.othersCommits);

    const qint64 beforeRollback = since(point).through;
    EXPECT_THROW(store.transactions().inTransaction([&] {
        store.writes().deleteLink(a.id);
        throw StoreError(StoreError::Kind::step, "undone");
    }),
                 StoreError);
    EXPECT_TRUE(since(beforeRollback).links.isEmpty());

    // A large import goes without the triggers and says that everything changed.
    const qint64 beforeImport = since(point).through;
    store.merge().importRecords({makeLink("c"), makeLink("d")}, {});
    EXPECT_TRUE(since(beforeImport).everything);
    EXPECT_TRUE(since(beforeImport).complete);

    rawLibrary(store).execute("DROP TRIGGER library_changes_tag_insert");
    EXPECT_FALSE(since(beforeImport).complete);
    store.journal().restore();
    EXPECT_TRUE(since(beforeImport).complete);
}

// A reader that asks for a few changes at most has them all up to that many, and past it none but the
// word that everything may have changed.
TEST(ChangeJournal, ListsUpToTheChangesAskedForAndPastThemSaysEverything)
{
    SQLiteStore store(libraryFile());
    const qint64 start = store.journal().changesSince(std::nullopt).through;
    addLink(store, makeLink("a"));
    addLink(store, makeLink("b"));
    store.writes().upsertTombstone("Link", "gone", at("2024-05-01T09:00:00.000Z"));
    const LibraryChangeJournal::Changes all = store.journal().changesSince(start);
    const qsizetype count = all.links.size() + all.deletedRecords.size();
    ASSERT_EQ(count, 3);
    ASSERT_FALSE(all.everything);

    const LibraryChangeJournal::Changes atMost = store.journal().changesSince(start, count);
    EXPECT_FALSE(atMost.everything);
    EXPECT_EQ(atMost.links, all.links);
    EXPECT_EQ(atMost.deletedRecords, all.deletedRecords);

    const LibraryChangeJournal::Changes past = store.journal().changesSince(start, count - 1);
    EXPECT_TRUE(past.everything);
    EXPECT_TRUE(past.complete);
    EXPECT_TRUE(past.links.isEmpty() && past.relations.isEmpty() && past.deletedRecords.isEmpty());
    EXPECT_EQ(past.through, all.through);
}

} // namespace
