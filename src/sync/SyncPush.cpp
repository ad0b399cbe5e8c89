#include "sync/SyncPush.h"

#include "store/SyncedLibrary.h"
#include "sync/RecordFormats.h"
#include "sync/RemoteRecords.h"
#include "sync/SyncPull.h"
#include "sync/SyncRemoteState.h"
#include "sync/SyncScope.h"

#include <QCoroFuture>
#include <QHash>

namespace morvane {

namespace {

QString relationDeletionName(const QString& pairName)
{
    return RecordFormats::tombstoneRecordName(DeletedRecord{RecordFormats::relationType, pairName, {}});
}

// The links that go up of those given (in full), in their order, the tied ones after the rest: a link
// goes up when the store lacks a readable copy, or holds one that differs in what machines share and
// loses to this one; a copy that differs only in this machine's path stays as it is. The stored copy's
// summary tells, but for two copies of one time with different contents: then the stored one is read
// again to compare them.
QCoro::Task<QList<LinkItem>> linksGoingUp(RemoteRecords& records, SyncRemoteState& remote,
                                          const QList<const LinkItem*>& local)
{
    QList<LinkItem> links;
    QList<const LinkItem*> tied;
    for (const LinkItem* link : local) {
        const LinkSummary* stored = remote.linkByID(link->id);
        if (!stored) {
            links.append(*link);
            continue;
        }
        const auto atHand = remote.linksAtHand.constFind(link->id);
        if (atHand != remote.linksAtHand.constEnd()) {
            if (RecordFormats::linkWins(*link, *atHand))
                links.append(*link);
            continue;
        }
        const qint64 updated = link->updatedAt.toMSecsSinceEpoch();
        if (updated > stored->updatedAt)
            links.append(*link);
        else if (updated == stored->updatedAt && stored->digest != LinkSummary::digestOf(*link))
            tied.append(link);
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
    co_return links;
}

// Whether a link whose summary this is may go up (see linksGoingUp), and whether only as a tie.
enum class Candidate { no, yes, tie };
Candidate candidateOf(const LinkSummary& link, const SyncRemoteState& remote)
{
    const LinkSummary* stored = remote.linkByID(link.id);
    if (!stored || remote.linksAtHand.contains(link.id))
        return Candidate::yes;
    if (link.updatedAt > stored->updatedAt)
        return Candidate::yes;
    if (link.updatedAt == stored->updatedAt && stored->digest != link.digest)
        return Candidate::tie;
    return Candidate::no;
}

// Saves those of the links with these ids that go up, read again in full `perPart` at a time; a copy
// read again for a tie is let go with its part.
QCoro::Task<void> pushLinksByID(LinkStore& store, RemoteRecords& records, SyncRemoteState& remote,
                                const QList<QUuid>& ids, qsizetype perPart)
{
    for (qsizetype first = 0; first < ids.size(); first += perPart) {
        const QList<QUuid> part = ids.mid(first, perPart);
        QList<QUuid> atHandBefore;
        for (const QUuid& id : part) {
            if (remote.linksAtHand.contains(id))
                atHandBefore.append(id);
        }
        QFuture<QList<LinkItem>> reading = readLinksByID(store, part);
        const QList<LinkItem> read = co_await reading;
        QHash<QUuid, const LinkItem*> byID;
        for (const LinkItem& link : read)
            byID.insert(link.id, &link);
        QList<const LinkItem*> inOrder;
        for (const QUuid& id : part) {
            if (const LinkItem* link = byID.value(id))
                inOrder.append(link);
        }
        const QList<LinkItem> links = co_await linksGoingUp(records, remote, inOrder);
        co_await records.saveLinks(links);
        for (const QUuid& id : part) {
            if (!atHandBefore.contains(id))
                remote.linksAtHand.remove(id);
        }
    }
}

// The links of a whole push, decided from their summaries: those that may go up, in the order of the
// rows, and the tied ones.
struct LinkCandidates {
    QList<QUuid> candidates;
    QList<QUuid> ties;

    void decide(const LinkSummary& link, const SyncRemoteState& remote)
    {
        const Candidate candidate = candidateOf(link, remote);
        if (candidate == Candidate::yes)
            candidates.append(link.id);
        else if (candidate == Candidate::tie)
            ties.append(link.id);
    }
};

// A relation goes up when the store lacks it or holds an older making of the pair; the pair's deletion
// goes once the relation is up, since the pair was related again after it.
struct RelationsGoingUp {
    QList<LinkRelation> relations;
    QStringList outdatedDeletions;

    void decide(const LinkRelation& relation, const SyncRemoteState& remote)
    {
        const QString name = RecordFormats::relationRecordName(relation);
        const std::optional<LinkRelation> stored = remote.relationByPair(SyncRemoteState::pairOf(relation));
        if (!stored || stored->createdAt < relation.createdAt)
            relations.append(relation);
        const auto deletion = remote.deletionsByName.constFind(relationDeletionName(name));
        if (deletion != remote.deletionsByName.constEnd() && deletion->deletedAt < relation.createdAt)
            outdatedDeletions.append(relationDeletionName(name));
    }
};

} // namespace

QCoro::Task<void> pushRecords(LinkStore& store, RemoteRecords& records, SyncRemoteState& remote,
                              std::shared_ptr<const SyncScope> scope, std::optional<LibrarySide> given)
{
    // Every decision reads the library's rows and the store's side only, and nothing the push writes
    // changes either: each row is decided about as it is read, and only what goes up is held. A whole
    // library read here is not kept at all, each link summed up and each relation decided about as its
    // part comes; a side given is let go as it is decided about.
    std::optional<LibrarySide> side = std::move(given);
    LinkCandidates links;
    RelationsGoingUp relations;
    QList<DeletedRecord> deletions;
    if (!side && !scope) {
        const LinkTaker link = [&](const LinkItem& row) { links.decide(LinkSummary::of(row), remote); };
        const RelationTaker relation = [&](const LinkRelation& row) { relations.decide(row, remote); };
        deletions = co_await walkLibrary(store, link, relation);
    } else {
        if (!side)
            side = co_await readLibrarySide(store, scope);
        for (const LinkSummary& link : std::as_const(side->summaries))
            links.decide(link, remote);
        side->summaries = QList<LinkSummary>();
        for (const LinkRelation& relation : std::as_const(side->rows.relations))
            relations.decide(relation, remote);
        side->rows.relations = QList<LinkRelation>();
        deletions = std::move(side->rows.deletions);
    }

    for (const DeletedRecord& deleted : std::as_const(deletions)) {
        if (!RecordFormats::isSyncedDeletion(deleted))
            continue;
        const DeletedRecord stored =
            remote.deletionsByName.value(RecordFormats::tombstoneRecordName(deleted));
        if (stored.recordName.isEmpty() || stored.deletedAt < deleted.deletedAt)
            co_await records.saveDeletedRecord(deleted);
        if (remote.listed(deleted.recordName))
            co_await records.deleteRecord(deleted.recordName);
    }

    if (!side || side->whole) {
        // Every link that may go up, in the order of the rows, then every tied one.
        side.reset();
        co_await pushLinksByID(store, records, remote, links.candidates, linksPerPart);
        co_await pushLinksByID(store, records, remote, links.ties, linksPerPart);
    } else {
        QList<const LinkItem*> all;
        for (const LinkItem& link : side->rows.links)
            all.append(&link);
        const QList<LinkItem> going = co_await linksGoingUp(records, remote, all);
        co_await records.saveLinks(going);
    }

    co_await records.saveRelations(relations.relations);
    for (const QString& name : std::as_const(relations.outdatedDeletions))
        co_await records.deleteRecord(name);
}

} // namespace morvane
