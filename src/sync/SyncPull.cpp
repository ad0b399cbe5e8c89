#include "sync/SyncPull.h"

#include "store/LinkStore.h"
#include "store/SyncedLibrary.h"
#include "sync/RecordFormats.h"
#include "sync/RemoteRecords.h"
#include "sync/SyncRemoteState.h"
#include "sync/SyncScope.h"

#include <QCoroFuture>
#include <QHash>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace morvane {

namespace {

using LinkToApply = SyncedLibrary::RemoteLink;

// Remote links and relations are applied a batch per store job: a job each spent a pass over a large
// library handing work between threads, while a batch still leaves a search its turn between jobs.
constexpr qsizetype applyBatch = 256;
// A library holding no link that takes at least this many is filled with its indexes made at the end
// (SyncedLibrary::startFilling): below it, keeping them row by row costs less than making them again.
constexpr qsizetype fillFrom = 4 * applyBatch;

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

// The local links by id, summed up, for the pull's look-ups: their positions sorted by id (the list
// itself is shared with the library's side, not copied).
class LocalSummaries {
public:
    explicit LocalSummaries(QList<LinkSummary> summaries)
        : m_summaries(std::move(summaries))
        , m_byID(std::size_t(m_summaries.size()))
    {
        for (std::size_t i = 0; i < m_byID.size(); ++i)
            m_byID[i] = quint32(i);
        std::sort(m_byID.begin(), m_byID.end(),
                  [this](quint32 a, quint32 b) { return m_summaries[a].id < m_summaries[b].id; });
    }
    const LinkSummary* find(const QUuid& id) const
    {
        const auto at =
            std::lower_bound(m_byID.cbegin(), m_byID.cend(), id,
                             [this](quint32 link, const QUuid& key) { return m_summaries[link].id < key; });
        return at != m_byID.cend() && m_summaries[*at].id == id ? &m_summaries[*at] : nullptr;
    }
    bool isEmpty() const { return m_summaries.isEmpty(); }

private:
    const QList<LinkSummary> m_summaries;
    std::vector<quint32> m_byID;
};

// The remote links whose fields the pull must see, of those in scope: those at hand, those the library
// lacks, those that may win against the local copy, and losing ones that could fill a file field the
// local row lacks. The summary decides the rest: a copy that loses and fills nothing is passed over
// unread. Decided for every link at once, as they stand before the first is read, and held as a bit per
// remote link rather than a list of ids, which for a joining machine would be every link; given a part
// at a time, in the order of the remote side (which the pull leaves as it is).
class LinksToRead {
public:
    template <class InScope>
    LinksToRead(const SyncRemoteState& remoteSide, const LocalSummaries& localByID, InScope inScope)
        : m_remote(remoteSide)
        , m_picked(std::size_t(remoteSide.linkCount()))
    {
        for (std::size_t i = 0; i < m_picked.size(); ++i) {
            const LinkSummary& remote = m_remote.linkAt(qsizetype(i));
            if (!inScope(remote))
                continue;
            m_picked[i] =
                m_remote.linksAtHand.contains(remote.id) || needsReading(remote, localByID.find(remote.id));
            m_size += m_picked[i] ? 1 : 0;
        }
    }
    qsizetype size() const { return m_size; }
    // The ids of the next `count` links to read.
    QList<QUuid> next(qsizetype count)
    {
        QList<QUuid> ids;
        for (; m_at < m_picked.size() && ids.size() < count; ++m_at) {
            if (m_picked[m_at])
                ids.append(m_remote.linkAt(qsizetype(m_at)).id);
        }
        return ids;
    }

private:
    static bool needsReading(const LinkSummary& remote, const LinkSummary* mine)
    {
        const qint64 mineUpdated = mine ? mine->updatedAt : 0;
        const bool mayWin = !mine || remote.updatedAt > mineUpdated ||
                            (remote.updatedAt == mineUpdated && remote.digest != mine->digest);
        return mayWin || (remote.fileFields & ~mine->fileFields) != 0;
    }

    const SyncRemoteState& m_remote;
    std::vector<bool> m_picked;
    qsizetype m_size = 0;
    std::size_t m_at = 0;
};

// The remote links the library takes: new ones, winning ones that change something, and losing ones
// that fill a file field the local row lacks. The rest would only rewrite rows with what they hold.
QList<LinkToApply> linksToApply(const QList<QUuid>& ids, const SyncRemoteState& remote,
                                const QHash<QUuid, const LinkItem*>& localByID)
{
    QList<LinkToApply> result;
    for (const QUuid& id : ids) {
        const auto found = remote.linksAtHand.constFind(id);
        if (found == remote.linksAtHand.constEnd())
            continue; // gone since it was listed, or no longer readable: the next pass sees it
        const LinkItem& theirs = *found;
        const LinkItem* mine = localByID.value(id);
        if (!mine) {
            result.append({theirs, false});
            continue;
        }
        if (RecordFormats::linkWins(theirs, *mine)) {
            const LinkItem kept = keptOf(*mine, theirs);
            if (RecordFormats::sharedContent(kept) != RecordFormats::sharedContent(*mine) ||
                kept.lastKnownPath != mine->lastKnownPath)
                result.append({theirs, true});
        } else if (fillsFileFields(*mine, theirs)) {
            result.append({theirs, false});
        }
    }
    return result;
}

// Whether a remote relation is one the library lacks: not one whose pair the library relates already
// with no deletion of the pair on either side, which applying would write nothing for. The pairs are held
// as ids, in either order the same, not as record names: a whole library's relations would take
// megabytes as texts.
class RelationsNotHeld {
public:
    RelationsNotHeld(const SyncRemoteState& remote, const SyncedLibrary::State& local)
    {
        static const QString relationType = QStringLiteral("LinkRelation");
        std::vector<Pair> deleted;
        for (const QList<DeletedRecord>* deletions : {&local.deletions, &remote.deletions}) {
            for (const DeletedRecord& record : *deletions) {
                if (record.recordType != relationType)
                    continue;
                // A name that is not two ids names no relation.
                if (const std::optional<Pair> ids = RecordFormats::relationRecordIds(record.recordName))
                    deleted.push_back(pairOf(ids->first, ids->second));
            }
        }
        std::sort(deleted.begin(), deleted.end());
        m_held.reserve(std::size_t(local.relations.size()));
        for (const LinkRelation& relation : local.relations) {
            const Pair pair = pairOf(relation.fromLinkID, relation.toLinkID);
            if (!std::binary_search(deleted.cbegin(), deleted.cend(), pair))
                m_held.push_back(pair);
        }
        std::sort(m_held.begin(), m_held.end());
    }
    bool operator()(const LinkRelation& relation) const
    {
        return !std::binary_search(m_held.cbegin(), m_held.cend(),
                                   pairOf(relation.fromLinkID, relation.toLinkID));
    }

private:
    using Pair = std::pair<QUuid, QUuid>;
    static Pair pairOf(const QUuid& a, const QUuid& b) { return b < a ? Pair(b, a) : Pair(a, b); }
    std::vector<Pair> m_held;
};

} // namespace

QCoro::Task<std::optional<PulledLibrary>> pullRecords(LinkStore& store, RemoteRecords& records,
                                                      SyncRemoteState& remote,
                                                      std::shared_ptr<const SyncScope> scope,
                                                      qsizetype perPart, PulledLibrary* readAhead)
{
    perPart = std::max<qsizetype>(perPart, 1);
    const std::pair<qint64, qint64> stampBefore = co_await SyncedLibrary(store).changeStamp();
    LibrarySide local;
    if (readAhead && !scope && readAhead->stamp == stampBefore) {
        local = std::move(readAhead->local);
    } else {
        // What was read ahead no longer holds: let go before the library is read again.
        if (readAhead)
            readAhead->local = LibrarySide();
        local = co_await readLibrarySide(store, scope, rowsPerPart);
    }
    QHash<QString, QDateTime> localDeletions;
    for (const DeletedRecord& deleted : local.rows.deletions)
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
    const LocalSummaries localSummaries(local.linkSummaries());
    const auto inScope = [&scope](const LinkSummary& link) {
        return !scope || scope->links.contains(link.id);
    };
    LinksToRead ids(remote, localSummaries, inScope);
    // The scope's links are at hand; in a whole pass each part's local copies are read with it.
    QHash<QUuid, const LinkItem*> scopeByID;
    for (const LinkItem& link : std::as_const(local.rows.links))
        scopeByID.insert(link.id, &link);
    // Each part's records are read while the part before is applied; a read in flight is always awaited
    // before the pull ends, whatever ended it.
    struct PartRead {
        QList<QUuid> part;
        QList<QUuid> readHere; // read for this part alone, let go once it is applied
    };
    PartRead next;
    std::optional<QCoro::Task<void>> reading;
    const auto readPart = [&] {
        next = PartRead{ids.next(perPart), {}};
        if (!scope) {
            for (const QUuid& id : std::as_const(next.part)) {
                if (!remote.linksAtHand.contains(id))
                    next.readHere.append(id);
            }
        }
        reading.emplace(remote.readLinks(records, next.part));
    };
    std::exception_ptr failure;
    std::optional<QStringList> filling;
    try {
        if (ids.size() > 0)
            readPart();
        if (!scope && localSummaries.isEmpty() && ids.size() >= fillFrom)
            filling = co_await SyncedLibrary(store).startFilling();
        for (qsizetype first = 0; first < ids.size(); first += perPart) {
            {
                QCoro::Task<void> read = std::move(*reading);
                reading.reset();
                co_await read;
            }
            const PartRead current = std::move(next);
            if (first + perPart < ids.size())
                readPart();
            const QList<QUuid>& part = current.part;
            QList<LinkItem> mine;
            QList<QUuid> held; // the part's links this library holds
            if (local.whole) {
                for (const QUuid& id : part) {
                    if (localSummaries.find(id))
                        held.append(id);
                }
            }
            if (!held.isEmpty()) {
                QFuture<QList<LinkItem>> readingMine = readLinksByID(store, held);
                mine = co_await readingMine;
            }
            QHash<QUuid, const LinkItem*> localByID =
                local.whole ? QHash<QUuid, const LinkItem*>() : scopeByID;
            for (const LinkItem& link : std::as_const(mine))
                localByID.insert(link.id, &link);
            const QList<LinkToApply> links = linksToApply(part, remote, localByID);
            for (qsizetype at = 0; at < links.size(); at += applyBatch)
                co_await SyncedLibrary(store).applyLinks(links.mid(at, applyBatch));
            // The push decides about these from their summaries, reading a copy again only for a tie.
            for (const QUuid& id : current.readHere)
                remote.linksAtHand.remove(id);
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (reading) {
        try {
            co_await *reading;
        } catch (...) {
            // The error that ended the pull is the one to report.
        }
    }
    if (filling) {
        try {
            co_await SyncedLibrary(store).finishFilling(std::move(*filling));
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
    // A relation the library holds already, or one its deletion outdates, is passed over without a write.
    // The batches are gathered as they are applied: every remote relation is not copied into a list of
    // those to apply, which for a joining machine is all of them.
    std::function<bool(const LinkRelation&)> applies;
    if (scope) {
        applies = [&scope](const LinkRelation& relation) {
            return scope->relations.contains(RecordFormats::relationRecordName(relation));
        };
    } else {
        applies = RelationsNotHeld(remote, local.rows);
    }
    QList<LinkRelation> batch;
    for (qsizetype at = 0; at < remote.relationCount(); ++at) {
        LinkRelation relation = remote.relationAt(at);
        if (!applies(relation))
            continue;
        batch.append(std::move(relation));
        if (batch.size() == applyBatch)
            co_await SyncedLibrary(store).applyRelations(std::exchange(batch, {}));
    }
    if (!batch.isEmpty())
        co_await SyncedLibrary(store).applyRelations(std::exchange(batch, {}));
    const std::pair<qint64, qint64> stampAfter = co_await SyncedLibrary(store).changeStamp();
    if (stampAfter != stampBefore) {
        store.notifyDidMutate(false);
        co_return std::nullopt;
    }
    scopeByID.clear();
    co_return PulledLibrary{std::move(local), stampAfter};
}

QCoro::Task<PulledLibrary> readLibraryAhead(LinkStore& store)
{
    const std::pair<qint64, qint64> stamp = co_await SyncedLibrary(store).changeStamp();
    const std::shared_ptr<const SyncScope> everything;
    LibrarySide side = co_await readLibrarySide(store, everything, rowsPerPart);
    co_return PulledLibrary{std::move(side), stamp};
}

} // namespace morvane
