#include "sync/SyncPull.h"

#include "store/LinkStore.h"
#include "store/SyncedLibrary.h"
#include "sync/RecordFormats.h"
#include "sync/SyncRemoteState.h"
#include "sync/SyncScope.h"

#include <QCoroFuture>
#include <QHash>

namespace morvane {

namespace {

using LocalState = SyncedLibrary::State;
using LinkToApply = SyncedLibrary::RemoteLink;

// Remote links and relations are applied a batch per store job: a job each spent a pass over a large
// library handing work between threads, while a batch still leaves a search its turn between jobs.
constexpr qsizetype applyBatch = 256;

QFuture<void> applyDeletion(LinkStore& store, const DeletedRecord& deleted)
{
    return SyncedLibrary(store).applyDeletion(deleted);
}

// What the library keeps when a remote copy wins: its fields, but the local creation time, and the
// local file fields and open time where the local row has them.
LinkItem keptOf(const LinkItem& local, const LinkItem& remote)
{
    LinkItem kept = remote;
    kept.createdAt = local.createdAt;
    kept.lastKnownPath = local.lastKnownPath ? local.lastKnownPath : remote.lastKnownPath;
    kept.contentHash = local.contentHash ? local.contentHash : remote.contentHash;
    kept.fileSize = local.fileSize ? local.fileSize : remote.fileSize;
    kept.lastOpenedAt = local.lastOpenedAt ? local.lastOpenedAt : remote.lastOpenedAt;
    return kept;
}

bool fillsFileFields(const LinkItem& local, const LinkItem& remote)
{
    return (!local.contentHash && remote.contentHash) || (!local.fileSize && remote.fileSize) ||
           (!local.lastKnownPath && remote.lastKnownPath);
}

// The remote links the library takes: new ones, winning ones that change something, and losing ones
// that fill a file field the local row lacks. The rest would only rewrite rows with what they hold.
QList<LinkToApply> linksToApply(const QList<LinkItem>& remoteLinks, const LocalState& local)
{
    QHash<QUuid, const LinkItem*> localByID;
    localByID.reserve(local.links.size());
    for (const LinkItem& link : local.links)
        localByID.insert(link.id, &link);
    QList<LinkToApply> result;
    for (const LinkItem& remote : remoteLinks) {
        const LinkItem* mine = localByID.value(remote.id);
        if (!mine) {
            result.append({remote, false});
            continue;
        }
        if (RecordFormats::linkWins(remote, *mine)) {
            const LinkItem kept = keptOf(*mine, remote);
            if (RecordFormats::sharedContent(kept) != RecordFormats::sharedContent(*mine) ||
                kept.lastKnownPath != mine->lastKnownPath)
                result.append({remote, true});
        } else if (fillsFileFields(*mine, remote)) {
            result.append({remote, false});
        }
    }
    return result;
}

template <class T, class InScope> QList<T> within(const QList<T>& values, InScope inScope)
{
    QList<T> result;
    for (const T& value : values) {
        if (inScope(value))
            result.append(value);
    }
    return result;
}

} // namespace

QCoro::Task<void> pullRecords(LinkStore& store, const SyncRemoteState& remote,
                              std::shared_ptr<const SyncScope> scope)
{
    const std::pair<qint64, qint64> stampBefore = co_await SyncedLibrary(store).changeStamp();
    const LocalState local = co_await readLibrary(store, scope);
    QHash<QString, QDateTime> localDeletions;
    for (const DeletedRecord& deleted : local.deletions)
        localDeletions.insert(deleted.id(), deleted.deletedAt);
    for (const DeletedRecord& deleted : remote.deletions) {
        if (scope && !scope->deletions.contains({deleted.recordType, deleted.recordName}))
            continue;
        // One already known here, as late, would only be written again.
        const auto known = localDeletions.constFind(deleted.id());
        if (known != localDeletions.constEnd() && *known >= deleted.deletedAt)
            continue;
        co_await applyDeletion(store, deleted);
        store.notifyDidMutate(false);
    }
    const QList<LinkToApply> links = linksToApply(
        scope ? within(remote.links, [&](const LinkItem& link) { return scope->links.contains(link.id); })
              : remote.links,
        local);
    for (qsizetype first = 0; first < links.size(); first += applyBatch)
        co_await SyncedLibrary(store).applyLinks(links.mid(first, applyBatch));
    // A relation the library holds already, or one its deletion outdates, is passed over without a write.
    const QList<LinkRelation> relations =
        scope ? within(remote.relations,
                       [&](const LinkRelation& relation) {
                           return scope->relations.contains(RecordFormats::relationRecordName(relation));
                       })
              : remote.relations;
    for (qsizetype first = 0; first < relations.size(); first += applyBatch)
        co_await SyncedLibrary(store).applyRelations(relations.mid(first, applyBatch));
    const std::pair<qint64, qint64> stampAfter = co_await SyncedLibrary(store).changeStamp();
    if (stampAfter != stampBefore)
        store.notifyDidMutate(false);
}

} // namespace morvane
