// Passes through a record store that tracks its changes: after a completed pass, a pass looks only at
// what changed since on either side, unless something leaves it in doubt.
#include "SyncTestSupport.h"

#include "library/SQLiteConnection.h"
#include "sync/RecordFormats.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace morvane::test {
namespace {

class ChangedPassTest : public SharedCloudTest {
protected:
    ChangedPassTest() { cloud->tracking = true; }

    // The requests made since the last call.
    QStringList requests()
    {
        const QStringList log = cloud->log();
        cloud->clearLog();
        return log;
    }
    static QStringList saves(const QStringList& log) { return log.filter(QRegularExpression("^save ")); }

    static void edit(Machine& machine, const LinkItem& link, const QString& title, const char* updatedAt)
    {
        LinkItem edited = *machine.link(link.id);
        edited.title = title;
        edited.updatedAt = at(updatedAt);
        machine.on([edited](SQLiteStore& sqlite) { sqlite.merge().applyRemoteLink(edited, true); });
    }
    QString cloudTitle(const LinkItem& link)
    {
        return cloud->record(uuidString(link.id))->string("title").value_or(QString());
    }
};

TEST_F(ChangedPassTest, aPassAfterOneChangeReadsAndSendsOnlyThatChange)
{
    QList<LinkItem> links;
    for (int i = 0; i < 6; ++i)
        links.append(a.add(makeLink(QStringLiteral("link %1").arg(i))));
    a.relate(links[0], links[1]);
    a.sync();
    EXPECT_TRUE(requests().contains("changes everything"));
    a.sync(); // looks at what the first pass wrote, and finds it in place
    EXPECT_TRUE(saves(requests()).isEmpty());

    edit(a, links[3], "edited", "2025-01-01T00:00:00.000Z");
    a.sync();
    EXPECT_EQ(requests(),
              (QStringList{"fetch library-reset-marker", "changes since", "fetch library-reset-marker",
                           "fetch " + uuidString(links[3].id), "save Link"}));
    EXPECT_EQ(cloudTitle(links[3]), "edited");

    // Nothing changed: the marker and the store's changes are asked, nothing else.
    a.sync();
    requests();
    a.sync();
    EXPECT_EQ(requests(), (QStringList{"fetch library-reset-marker", "changes since"}));

    // What another machine changed is pulled from the changed records alone, and so is a deletion,
    // which takes the link's relation along.
    b.sync();
    edit(b, links[5], "edited on b", "2025-02-01T00:00:00.000Z");
    b.on([&](SQLiteStore& sqlite) { sqlite.writes().deleteLink(links[0].id); });
    b.sync();
    requests();
    a.sync();
    EXPECT_TRUE(saves(requests()).filter("Link").isEmpty());
    EXPECT_EQ(a.link(links[5].id)->title, "edited on b");
    EXPECT_FALSE(a.link(links[0].id));
    EXPECT_EQ(a.relationCount(), 0);

    // A relation made again after its removal goes up, and its deletion comes out of the store.
    a.relate(links[1], links[2]);
    a.sync();
    a.on([&](SQLiteStore& sqlite) { sqlite.writes().removeRelation(links[1].id, links[2].id); });
    a.sync();
    b.sync();
    EXPECT_EQ(b.relationCount(), 0);
    a.clock->advance(std::chrono::seconds(5));
    a.relate(links[1], links[2]);
    for (int round = 0; round < 2; ++round) {
        a.sync();
        b.sync();
    }
    EXPECT_EQ(b.relationCount(), 1);
    EXPECT_TRUE(cloud->names(RecordFormats::deletedRecordType)
                    .filter(LinkRelation::recordName(links[1].id, links[2].id))
                    .isEmpty());
    EXPECT_EQ(b.titles(), a.titles());
}

TEST_F(ChangedPassTest, aRecordGoneFromTheStoreIsSentAgain)
{
    const LinkItem x = a.add(makeLink("x"));
    const LinkItem y = a.add(makeLink("y"));
    a.relate(x, y);
    a.sync();
    a.sync();
    // Someone removes the records by hand; the library still holds them.
    cloud->remove(uuidString(x.id));
    cloud->remove(LinkRelation::recordName(x.id, y.id));
    a.sync();
    EXPECT_TRUE(cloud->record(uuidString(x.id)));
    EXPECT_TRUE(cloud->record(LinkRelation::recordName(x.id, y.id)));
}

// A pass after more changes than it reads in full at once is a whole pass, as the one after a joining
// machine's first pass is; a few changes later, passes start from their point again.
TEST_F(ChangedPassTest, aPassAfterManyChangesIsAWholePass)
{
    const LinkItem first = a.add(makeLink("first"));
    a.sync();
    a.sync();
    requests();
    QList<QUuid> written;
    a.on([&written](SQLiteStore& sqlite) {
        sqlite.transactions().inTransaction([&] {
            for (int i = 0; i < 4100; ++i) {
                const LinkItem link = makeLink(QStringLiteral("many %1").arg(i));
                sqlite.writes().insertLink(link);
                written.append(link.id);
            }
        });
    });
    a.sync();
    EXPECT_TRUE(requests().contains("changes everything"));
    EXPECT_TRUE(cloud->record(uuidString(written.first())));
    EXPECT_TRUE(cloud->record(uuidString(written.last())));

    a.sync();
    requests();
    edit(a, first, "edited", "2026-02-01T00:00:00.000Z");
    a.sync();
    EXPECT_TRUE(requests().contains("changes since"));
    EXPECT_EQ(cloudTitle(first), "edited");
}

TEST_F(ChangedPassTest, whatTheJournalCannotVouchForMakesAWholePass)
{
    const LinkItem x = a.add(makeLink("x"));
    a.sync();
    a.sync();
    requests();

    // Another program writes to the library, with the journal's trigger dropped first: only a whole pass
    // can find what it changed.
    {
        SQLiteConnection other = SQLiteConnection::open(testHome() + "/a.sqlite");
        other.execute("DROP TRIGGER library_changes_link_update");
        other.execute(
            "UPDATE links SET title = 'written elsewhere', updated_at = '2026-01-01T00:00:00.000Z'");
    }
    a.sync();
    EXPECT_TRUE(requests().contains("changes everything"));
    EXPECT_EQ(cloudTitle(x), "written elsewhere");

    // The journal was made whole again: the next change is found by a pass after a change.
    a.sync();
    requests();
    edit(a, x, "edited here", "2026-02-01T00:00:00.000Z");
    a.sync();
    EXPECT_TRUE(requests().contains("changes since"));
    EXPECT_EQ(cloudTitle(x), "edited here");

    // A service that starts afresh (a new process, perhaps after an older build had the library) and a
    // pass that failed both start from a whole pass.
    a.service = std::make_shared<RecordStoreSyncService>(cloud, a.defaults, a.clock);
    a.sync();
    EXPECT_TRUE(requests().contains("changes everything"));
    a.sync();
    cloud->fail(InMemoryRecordStore::Operation::save, "Link",
                CloudKitError(CloudKitError::internalError, "offline"));
    edit(a, x, "edited again", "2026-03-01T00:00:00.000Z");
    EXPECT_FALSE(a.failedSync().isEmpty());
    requests();
    a.sync();
    EXPECT_TRUE(requests().contains("changes everything"));
    EXPECT_EQ(cloudTitle(x), "edited again");
}

// A pass asks the account, the marker and the changes in one request: an account that cannot be used
// still ends it before anything else, leaving the point it started from, and a marker set by another
// machine while this one was idle is still applied.
TEST_F(ChangedPassTest, anIdlePassStillSeesTheAccountAndTheMarker)
{
    const LinkItem x = a.add(makeLink("x"));
    a.sync();
    a.sync();
    requests();

    cloud->account = RecordStore::AccountStatus::noAccount;
    EXPECT_EQ(a.failedSync(), "The shared record folder is not ready: Not signed in.");
    cloud->account = RecordStore::AccountStatus::available;
    const LinkItem y = a.add(makeLink("y"));
    a.sync();
    const QStringList afterSignIn = requests();
    EXPECT_FALSE(afterSignIn.contains("changes everything")) << afterSignIn.join(", ").toStdString();
    EXPECT_TRUE(cloud->record(uuidString(y.id)));

    b.sync();
    EXPECT_EQ(b.titles(), (QStringList{"x", "y"}));
    b.eraseEverywhere();
    a.sync();
    EXPECT_TRUE(a.titles().isEmpty());
    EXPECT_FALSE(cloud->record(uuidString(x.id)));
}

} // namespace
} // namespace morvane::test
