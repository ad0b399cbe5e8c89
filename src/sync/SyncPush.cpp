#include "sync/SyncPush.h"

#include "store/SyncedLibrary.h"
#include "sync/RecordFormats.h"
#include "sync/RemoteRecords.h"
#include "sync/SyncRemoteState.h"
#include "sync/SyncScope.h"

#include <QCoroFuture>

namespace morvane {

namespace {

QString relationDeletionName(const QString& pairName)
{
    return RecordFormats::tombstoneRecordName(DeletedRecord{RecordFormats::relationType, pairName, {}});
}

} // namespace

QCoro::Task<void> pushRecords(LinkStore& store, RemoteRecords& records, SyncRemoteState& remote,
                              std::shared_ptr<const SyncScope> scope,
                              std::optional<SyncedLibrary::State> given)
{
    if (!given)
        given = co_await readLibrary(store, scope);
    const SyncedLibrary::State local = std::move(*given);
    given.reset();
    for (const DeletedRecord& deleted : local.deletions) {
        if (!RecordFormats::isSyncedDeletion(deleted))
            continue;
        const DeletedRecord stored =
            remote.deletionsByName.value(RecordFormats::tombstoneRecordName(deleted));
        if (stored.recordName.isEmpty() || stored.deletedAt < deleted.deletedAt)
            co_await records.saveDeletedRecord(deleted);
        if (remote.listedNames.contains(deleted.recordName))
            co_await records.deleteRecord(deleted.recordName);
    }

    // A link goes up when the store lacks a readable copy, or holds one that differs in what machines
    // share and loses to this one; a copy that differs only in this machine's path stays as it is. The
    // stored copy's summary tells, but for two copies of one time with different contents: then the
    // stored one is read again to compare them.
    QList<LinkItem> links;
    QList<const LinkItem*> tied;
    for (const LinkItem& link : local.links) {
        const auto stored = remote.linksByID.constFind(link.id);
        if (stored == remote.linksByID.constEnd()) {
            links.append(link);
            continue;
        }
        const auto atHand = remote.linksAtHand.constFind(link.id);
        if (atHand != remote.linksAtHand.constEnd()) {
            if (RecordFormats::linkWins(link, *atHand))
                links.append(link);
            continue;
        }
        const qint64 updated = link.updatedAt.toMSecsSinceEpoch();
        if (updated > stored->updatedAt)
            links.append(link);
        else if (updated == stored->updatedAt && stored->digest != LinkSummary::digestOf(link))
            tied.append(&link);
    }
    if (!tied.isEmpty()) {
        QList<QUuid> ids;
        for (const LinkItem* link : std::as_const(tied))
            ids.append(link->id);
        co_await remote.readLinks(records, ids);
        for (const LinkItem* link : std::as_const(tied)) {
            const auto stored = remote.linksAtHand.constFind(link->id);
            if (stored == remote.linksAtHand.constEnd() || RecordFormats::linkWins(*link, *stored))
                links.append(*link);
        }
    }
    co_await records.saveLinks(links);

    // A relation goes up when the store lacks it or holds an older making of the pair; the pair's
    // deletion goes once the relation is up, since the pair was related again after it.
    QList<LinkRelation> relations;
    QStringList outdatedDeletions;
    for (const LinkRelation& relation : local.relations) {
        const QString name = RecordFormats::relationRecordName(relation);
        const auto stored = remote.relationsByName.constFind(name);
        if (stored == remote.relationsByName.constEnd() || stored->createdAt < relation.createdAt)
            relations.append(relation);
        const auto deletion = remote.deletionsByName.constFind(relationDeletionName(name));
        if (deletion != remote.deletionsByName.constEnd() && deletion->deletedAt < relation.createdAt)
            outdatedDeletions.append(relationDeletionName(name));
    }
    co_await records.saveRelations(relations);
    for (const QString& name : outdatedDeletions)
        co_await records.deleteRecord(name);
}

} // namespace morvane
