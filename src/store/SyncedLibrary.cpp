#include "SyncedLibrary.h"

#include "LinkStoreDetail.h"

#include <exception>
#include <optional>

namespace morvane {

namespace {

// Committing once per batch instead of once per value: a commit each spent most of a pass that found
// nothing new. Each value keeps a savepoint of its own, so a failure undoes only that value.
template <class T, class Apply>
void applyEach(LibraryTransactions& transactions, const QList<T>& values, Apply apply)
{
    std::exception_ptr failure;
    transactions.inTransaction([&] {
        for (const T& value : values) {
            try {
                apply(value);
            } catch (...) {
                failure = std::current_exception();
                return;
            }
        }
    });
    if (failure)
        std::rethrow_exception(failure);
}

// The batch in one transaction, each link undoable alone or not (see applyLinks).
void applyLinkBatch(SQLiteStore& sqlite, const QList<SyncedLibrary::RemoteLink>& links, bool eachUndoable)
{
    // Made inside the batch's transaction, where nothing else writes the library while it lives.
    std::optional<LibraryMerge::RemoteLinks> applier;
    const auto apply = [&](const SyncedLibrary::RemoteLink& remote) {
        if (!applier)
            applier.emplace(sqlite.merge(), eachUndoable);
        applier->apply(remote.link, remote.winsEqualTime);
    };
    if (eachUndoable) {
        applyEach(sqlite.transactions(), links, apply);
    } else {
        sqlite.transactions().inTransaction([&] {
            for (const SyncedLibrary::RemoteLink& remote : links)
                apply(remote);
        });
    }
    if (applier)
        applier->committed();
}

// A part of what `read` (linksAfterRow or relationsAfterRow) gives, in one store job.
template <class T>
QFuture<SyncedLibrary::Part<T>> readPart(LinkStore& store, qint64 row, qsizetype count,
                                         QList<T> (LibraryReads::*read)(qint64, qsizetype, qint64&))
{
    return LinkStoreDatabase(store).run([row, count, read](SQLiteStore& sqlite) {
        SyncedLibrary::Part<T> part;
        part.lastRow = row;
        part.values = (sqlite.reads().*read)(row, count, part.lastRow);
        return part;
    });
}

} // namespace

SyncedLibrary::SyncedLibrary(LinkStore& store)
    : m_store(store)
{
}

QFuture<SyncedLibrary::Part<LinkItem>> SyncedLibrary::linksAfter(qint64 row, qsizetype count)
{
    return readPart(m_store, row, count, &LibraryReads::linksAfterRow);
}

QFuture<SyncedLibrary::Part<LinkRelation>> SyncedLibrary::relationsAfter(qint64 row, qsizetype count)
{
    return readPart(m_store, row, count, &LibraryReads::relationsAfterRow);
}

QFuture<QList<DeletedRecord>> SyncedLibrary::deletions()
{
    return LinkStoreDatabase(m_store).run(
        [](SQLiteStore& sqlite) { return sqlite.reads().allDeletedRecords(); });
}

QFuture<void> SyncedLibrary::releaseCachedPages()
{
    return LinkStoreDatabase(m_store).run([](SQLiteStore& sqlite) { sqlite.reads().releaseCachedPages(); });
}

QFuture<SyncedLibrary::State> SyncedLibrary::state(Keys keys)
{
    return LinkStoreDatabase(m_store).run([keys = std::move(keys)](SQLiteStore& sqlite) {
        return State{sqlite.journal().links(keys.linkIDs), sqlite.journal().relationsOf(keys.relationEnds),
                     sqlite.journal().deletedRecords(keys.deletions)};
    });
}

QFuture<QList<LinkItem>> SyncedLibrary::linksOnly(QStringList linkIDs)
{
    return LinkStoreDatabase(m_store).run(
        [linkIDs = std::move(linkIDs)](SQLiteStore& sqlite) { return sqlite.journal().links(linkIDs); });
}

QFuture<LibraryChangeJournal::Changes> SyncedLibrary::changesSince(std::optional<qint64> since,
                                                                   qsizetype atMost)
{
    return LinkStoreDatabase(m_store).run([since, atMost](SQLiteStore& sqlite) {
        LibraryChangeJournal::Changes changes = sqlite.journal().changesSince(since, atMost);
        if (!changes.complete) {
            sqlite.journal().restore();
            changes = sqlite.journal().changesSince(std::nullopt);
            changes.complete = false;
        }
        return changes;
    });
}

QFuture<std::pair<qint64, qint64>> SyncedLibrary::changeStamp()
{
    return LinkStoreDatabase(m_store).run([](SQLiteStore& sqlite) { return sqlite.changeStamp(); });
}

QFuture<std::optional<LibrarySyncPoint::Point>> SyncedLibrary::storedPoint(RecordReader record)
{
    return LinkStoreDatabase(m_store).run(
        [record = std::move(record)](SQLiteStore& sqlite) -> std::optional<LibrarySyncPoint::Point> {
            std::optional<LibrarySyncPoint::Point> point = sqlite.syncPoint().point();
            if (point)
                sqlite.syncPoint().eachRecord(record);
            return point;
        });
}

QFuture<void> SyncedLibrary::keepPoint(LibrarySyncPoint::Point point, LibrarySyncPoint::RecordWalk records,
                                       QStringList removed, bool everything)
{
    return LinkStoreDatabase(m_store).run(
        [point = std::move(point), records = std::move(records), removed = std::move(removed),
         everything](SQLiteStore& sqlite) { sqlite.syncPoint().keep(point, records, removed, everything); });
}

QFuture<void> SyncedLibrary::forgetPoint()
{
    return LinkStoreDatabase(m_store).run([](SQLiteStore& sqlite) { sqlite.syncPoint().forget(); });
}

QFuture<void> SyncedLibrary::applyDeletion(DeletedRecord deleted)
{
    return LinkStoreDatabase(m_store).run(
        [deleted = std::move(deleted)](SQLiteStore& sqlite) { sqlite.merge().applyRemoteDeletion(deleted); });
}

QFuture<void> SyncedLibrary::applyLinks(QList<RemoteLink> links)
{
    return LinkStoreDatabase(m_store).run([links = std::move(links)](SQLiteStore& sqlite) {
        // The batch is written first with no savepoint per link, which copies every page a link changes;
        // when a link fails, that transaction is rolled back whole and the batch written again with
        // each link in a savepoint of its own, which keeps the links before the failing one.
        try {
            applyLinkBatch(sqlite, links, false);
        } catch (...) {
            applyLinkBatch(sqlite, links, true);
        }
    });
}

QFuture<void> SyncedLibrary::applyRelations(QList<LinkRelation> relations)
{
    return LinkStoreDatabase(m_store).run([relations = std::move(relations)](SQLiteStore& sqlite) {
        LibraryMerge& merge = sqlite.merge();
        applyEach(sqlite.transactions(), relations,
                  [&merge](const LinkRelation& relation) { merge.applyRemoteRelation(relation); });
    });
}

QFuture<std::optional<QStringList>> SyncedLibrary::startFilling()
{
    return LinkStoreDatabase(m_store).run([](SQLiteStore& sqlite) { return sqlite.merge().startFilling(); });
}

QFuture<void> SyncedLibrary::finishFilling(QStringList indexes)
{
    return LinkStoreDatabase(m_store).run(
        [indexes = std::move(indexes)](SQLiteStore& sqlite) { sqlite.merge().finishFilling(indexes); });
}

} // namespace morvane
