#include "sync/RecordStoreSyncService.h"

#include "foundation/Uuid.h"
#include "store/LinkStore.h"
#include "store/SyncedLibrary.h"
#include "sync/RecordFormats.h"

#include <QCoroFuture>
#include <QHash>
#include <QMap>
#include <QMultiHash>
#include <QPromise>
#include <QSet>

#include <algorithm>
#include <variant>

namespace morvane {

// The record store as a pass found it: the decoded deletions, links and relations by name, and the
// name of every link or relation record listed, readable or not.
struct RecordStoreSyncService::RemoteState {
    QList<DeletedRecord> deletions;
    QHash<QString, DeletedRecord> deletionsByName; // by the deletion record's own name
    QList<LinkItem> links;
    QHash<QUuid, LinkItem> linksByID;
    QList<LinkRelation> relations;
    QHash<QString, LinkRelation> relationsByName;
    QSet<QString> listedNames;
};

// The keys a pass after a change looks at, on both sides: what changed, and what the decisions about it
// read (a link's deletion and relations, a relation's deletion).
struct RecordStoreSyncService::Scope {
    QSet<QUuid> links;
    QSet<QString> relations;                     // by record name
    QSet<std::pair<QString, QString>> deletions; // the deleted record's type and name
    // The library's keys to read them by: link ids (as stored where the journal named them), the ends
    // of the relations, and the deletions.
    QStringList linkIDs;
    QStringList relationEnds;
    QList<std::pair<QString, QString>> deletionKeys;

    bool isEmpty() const { return links.isEmpty() && relations.isEmpty() && deletions.isEmpty(); }
};

namespace {

// A deletion, link or relation record as its type's reader made it, or none when it does not read.
struct RemoteValue {
    QString recordType;
    std::variant<std::monostate, DeletedRecord, LinkItem, LinkRelation> value;
};

} // namespace

// What a completed pass leaves for the next: the store's point to answer changes from, every record
// decoded, and where the library's journal stood when the pass began.
struct RecordStoreSyncService::Kept {
    QByteArray recordsSince;
    QMap<QString, RemoteValue> records; // by record name, as the store lists them
    // The names of the records each key finds: "L" and a link's id, "R" and a relation's name, "E" and
    // either end of a relation, "D" and a deletion's type and name.
    QMultiHash<QString, QString> index;
    qint64 journalThrough = 0;
    qint64 othersCommits = 0;
    qint64 schemaVersion = 0;
};

namespace {

QString deletionKey(const QString& type, const QString& name)
{
    return u'D' + type + u'\x1f' + name;
}

QStringList indexKeys(const RemoteValue& decoded)
{
    if (const auto* deleted = std::get_if<DeletedRecord>(&decoded.value))
        return {deletionKey(deleted->recordType, deleted->recordName)};
    if (const auto* link = std::get_if<LinkItem>(&decoded.value))
        return {u'L' + uuidString(link->id)};
    if (const auto* relation = std::get_if<LinkRelation>(&decoded.value))
        return {u'R' + RecordFormats::relationRecordName(*relation), u'E' + uuidString(relation->fromLinkID),
                u'E' + uuidString(relation->toLinkID)};
    return {};
}

void keep(RecordStoreSyncService::Kept& kept, const QString& name, RemoteValue decoded)
{
    for (const QString& key : indexKeys(decoded))
        kept.index.insert(key, name);
    kept.records.insert(name, std::move(decoded));
}

// Forgets the record under the name, answering what it was.
std::optional<RemoteValue> forget(RecordStoreSyncService::Kept& kept, const QString& name)
{
    const auto found = kept.records.constFind(name);
    if (found == kept.records.constEnd())
        return std::nullopt;
    RemoteValue decoded = *found;
    kept.records.erase(found);
    for (const QString& key : indexKeys(decoded))
        kept.index.remove(key, name);
    return decoded;
}

// The names of the records the key finds.
QStringList namesOf(const RecordStoreSyncService::Kept& kept, const QString& key)
{
    QStringList names;
    for (auto name = kept.index.constFind(key); name != kept.index.constEnd() && name.key() == key; ++name)
        names.append(*name);
    return names;
}

} // namespace

namespace {

using LocalState = SyncedLibrary::State;
using LinkToApply = SyncedLibrary::RemoteLink;

QCoro::Task<void> pauseOn(std::shared_ptr<Clock> clock, std::chrono::milliseconds duration)
{
    auto elapsed = std::make_shared<QPromise<void>>();
    elapsed->start();
    std::unique_ptr<ClockTimer> timer = clock->makeTimer([elapsed] { elapsed->finish(); });
    timer->start(duration, false);
    co_await elapsed->future();
}

// The library steps of a pass, each one job on the store thread.
QFuture<void> eraseLibrary(LinkStore& store)
{
    return store.eraseAll();
}

QFuture<void> applyDeletion(LinkStore& store, const DeletedRecord& deleted)
{
    return SyncedLibrary(store).applyDeletion(deleted);
}

QFuture<std::pair<qint64, qint64>> libraryStamp(LinkStore& store)
{
    return SyncedLibrary(store).changeStamp();
}

QFuture<LocalState> readLocal(LinkStore& store,
                              const std::shared_ptr<const RecordStoreSyncService::Scope>& scope)
{
    if (!scope)
        return SyncedLibrary(store).state();
    return SyncedLibrary(store).state(
        SyncedLibrary::Keys{scope->linkIDs, scope->relationEnds, scope->deletionKeys});
}

// Where the library's journal stands, and what it names after the point, when there is one.
QFuture<LibraryChangeJournal::Changes> readJournal(LinkStore& store, std::optional<qint64> since)
{
    return SyncedLibrary(store).changesSince(since);
}

// Remote links and relations are applied a batch per store job: a job each spent a pass over a large
// library handing work between threads, while a batch still leaves a search its turn between jobs.
constexpr qsizetype applyBatch = 256;

QFuture<void> applyLinks(LinkStore& store, QList<LinkToApply> links)
{
    return SyncedLibrary(store).applyLinks(std::move(links));
}

QFuture<void> applyRelations(LinkStore& store, QList<LinkRelation> relations)
{
    return SyncedLibrary(store).applyRelations(std::move(relations));
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

QString relationDeletionName(const QString& pairName)
{
    return RecordFormats::tombstoneRecordName(DeletedRecord{RecordFormats::relationType, pairName, {}});
}

std::optional<RemoteValue> remoteValue(const CloudRecord& record)
{
    RemoteValue decoded{record.recordType(), std::monostate()};
    if (record.recordType() == RecordFormats::deletedRecordType) {
        if (std::optional<DeletedRecord> deleted = RecordFormats::deletedRecord(record);
            deleted && RecordFormats::isSyncedDeletion(*deleted))
            decoded.value = std::move(*deleted);
    } else if (record.recordType() == RecordFormats::linkType) {
        if (std::optional<LinkItem> link = RecordFormats::linkItem(record))
            decoded.value = std::move(*link);
    } else if (record.recordType() == RecordFormats::relationType) {
        if (std::optional<LinkRelation> relation = RecordFormats::linkRelation(record))
            decoded.value = std::move(*relation);
    } else {
        return std::nullopt; // the reset marker is read at every pass, never kept
    }
    return decoded;
}

// The scope's keys in the forms the library is read by.
void addReadingKeys(RecordStoreSyncService::Scope& scope)
{
    for (const QUuid& id : std::as_const(scope.links)) {
        scope.linkIDs.append(uuidString(id));
        scope.relationEnds.append(uuidString(id));
    }
    for (const QString& name : std::as_const(scope.relations))
        scope.relationEnds.append(name.split(u'_'));
    scope.deletionKeys = QList<std::pair<QString, QString>>(scope.deletions.cbegin(), scope.deletions.cend());
}

template <class T, class Reader>
void decodeListed(const QList<CloudRecord>& records, Reader reader, QSet<QString>& names, QList<T>& values)
{
    for (const CloudRecord& record : records) {
        names.insert(record.recordName());
        if (std::optional<T> value = reader(record))
            values.append(std::move(*value));
    }
}

// The remote side of a pass from the decoded records, as listing each type would give it.
RecordStoreSyncService::RemoteState remoteStateOf(const QMap<QString, RemoteValue>& records)
{
    RecordStoreSyncService::RemoteState remote;
    for (auto record = records.cbegin(); record != records.cend(); ++record) {
        const RemoteValue& decoded = record.value();
        if (decoded.recordType == RecordFormats::deletedRecordType) {
            if (const auto* deleted = std::get_if<DeletedRecord>(&decoded.value)) {
                remote.deletions.append(*deleted);
                remote.deletionsByName.insert(RecordFormats::tombstoneRecordName(*deleted), *deleted);
            }
            continue;
        }
        remote.listedNames.insert(record.key());
        if (const auto* link = std::get_if<LinkItem>(&decoded.value)) {
            remote.links.append(*link);
            remote.linksByID.insert(link->id, *link);
        } else if (const auto* relation = std::get_if<LinkRelation>(&decoded.value)) {
            const QString name = RecordFormats::relationRecordName(*relation);
            remote.relations.append(*relation);
            remote.relationsByName.insert(name, *relation);
        }
    }
    return remote;
}

// What a changed record (as it was, or as it is) brings into the scope.
void touch(RecordStoreSyncService::Scope& scope, const QString& recordName, const RemoteValue& decoded)
{
    if (const auto* deleted = std::get_if<DeletedRecord>(&decoded.value)) {
        scope.deletions.insert({deleted->recordType, deleted->recordName});
    } else if (decoded.recordType == RecordFormats::linkType) {
        if (const auto* link = std::get_if<LinkItem>(&decoded.value))
            scope.links.insert(link->id);
        if (const std::optional<QUuid> id = parseUuid(recordName))
            scope.links.insert(*id);
    } else if (decoded.recordType == RecordFormats::relationType) {
        if (const auto* relation = std::get_if<LinkRelation>(&decoded.value))
            scope.relations.insert(RecordFormats::relationRecordName(*relation));
        scope.relations.insert(recordName);
    }
}

// The keys the library's journal names.
void touch(RecordStoreSyncService::Scope& scope, const LibraryChangeJournal::Changes& journal)
{
    for (const QString& stored : journal.links) {
        if (const std::optional<QUuid> id = parseUuid(stored))
            scope.links.insert(*id);
        scope.linkIDs.append(stored);
        scope.relationEnds.append(stored);
    }
    for (const auto& [from, to] : journal.relations) {
        const std::optional<QUuid> fromID = parseUuid(from);
        const std::optional<QUuid> toID = parseUuid(to);
        if (fromID && toID)
            scope.relations.insert(LinkRelation::recordName(*fromID, *toID));
        scope.relationEnds.append(from);
        scope.relationEnds.append(to);
    }
    for (const std::pair<QString, QString>& deleted : journal.deletedRecords)
        scope.deletions.insert(deleted);
}

// Adds what the decisions about the scope's keys read: a deletion's link or relation, a link's
// relations, and the deletion of every link and relation in it; then the keys to read them by.
void close(RecordStoreSyncService::Scope& scope, const RecordStoreSyncService::Kept& kept)
{
    for (const auto& [type, name] : std::as_const(scope.deletions)) {
        if (type == RecordFormats::linkType) {
            if (const std::optional<QUuid> id = parseUuid(name))
                scope.links.insert(*id);
        } else if (type == RecordFormats::relationType) {
            scope.relations.insert(name);
        }
    }
    for (const QUuid& id : std::as_const(scope.links)) {
        for (const QString& name : namesOf(kept, u'E' + uuidString(id))) {
            const auto found = kept.records.constFind(name);
            if (found == kept.records.constEnd())
                continue;
            if (const auto* relation = std::get_if<LinkRelation>(&found->value))
                scope.relations.insert(RecordFormats::relationRecordName(*relation));
        }
        scope.deletions.insert({RecordFormats::linkType, uuidString(id)});
    }
    for (const QString& name : std::as_const(scope.relations))
        scope.deletions.insert({RecordFormats::relationType, name});
    addReadingKeys(scope);
}

// The kept records the scope's decisions read: those its keys find, and those under the names of its
// links, relations and deleted records themselves (listed, though they may not read).
QMap<QString, RemoteValue> recordsOf(const RecordStoreSyncService::Kept& kept,
                                     const RecordStoreSyncService::Scope& scope)
{
    QStringList names;
    for (const QUuid& id : scope.links) {
        names += namesOf(kept, u'L' + uuidString(id));
        names.append(uuidString(id));
    }
    for (const QString& relation : scope.relations) {
        names += namesOf(kept, u'R' + relation);
        names.append(relation);
    }
    for (const auto& [type, name] : scope.deletions) {
        names += namesOf(kept, deletionKey(type, name));
        names.append(name);
    }
    QMap<QString, RemoteValue> records;
    for (const QString& name : std::as_const(names)) {
        if (const auto found = kept.records.constFind(name); found != kept.records.constEnd())
            records.insert(name, *found);
    }
    return records;
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

RecordStoreSyncService::RecordStoreSyncService(std::shared_ptr<RecordStore> records,
                                               std::shared_ptr<UserDefaults> defaults,
                                               std::shared_ptr<Clock> clock, Pause pause)
    : m_remote(std::move(records))
    , m_defaults(std::move(defaults))
    , m_clock(std::move(clock))
    , m_pause(std::move(pause))
{
    if (!m_pause)
        m_pause = [clock = m_clock](std::chrono::milliseconds duration) { return pauseOn(clock, duration); };
}

RecordStoreSyncService::~RecordStoreSyncService() = default;

QCoro::Task<SyncStatus> RecordStoreSyncService::accountStatus()
{
    const SyncStatus status = co_await m_remote.accountStatus();
    co_return status;
}

QCoro::Task<void> RecordStoreSyncService::requireReadyAccount()
{
    const SyncStatus status = co_await m_remote.accountStatus();
    if (status != SyncStatus::ready)
        throw SyncError::unavailable(status);
}

QCoro::Task<RecordStoreSyncService::Fingerprint> RecordStoreSyncService::fingerprint(LinkStore& store)
{
    const std::optional<QByteArray> records = co_await m_remote.changeToken();
    const std::pair<qint64, qint64> library = co_await libraryStamp(store);
    co_return Fingerprint{library, records};
}

QCoro::Task<void> RecordStoreSyncService::sync(LinkStore& store)
{
    co_await requireReadyAccount();
    if (m_remote.tracksChanges()) {
        co_await trackedPass(store);
        co_return;
    }
    const Fingerprint before = co_await fingerprint(store);
    if (m_settled && before.records && before == *m_settled)
        co_return;
    m_settled.reset();
    m_remote.takeSkipped(); // what an earlier pass or erase left out is not this pass's
    co_await fullPass(store);
    const QStringList skipped = m_remote.takeSkipped();
    // Only a pass that found everything as it left it proves there is nothing left to do: one that
    // applied or pushed something runs again in full the next time, and so does one that left records
    // out, so that each pass names them until they are mended.
    const Fingerprint after = co_await fingerprint(store);
    if (skipped.isEmpty() && after.records && after == before)
        m_settled = after;
    // Records the store could not take or give were left out, and the rest done: the pass ends in an
    // error that names them (and says what it pulled, as a pass that completed does).
    if (!skipped.isEmpty()) {
        store.notifyDidMutate(false);
        throw SkippedRecordsError(skipped);
    }
}

QCoro::Task<void> RecordStoreSyncService::fullPass(LinkStore& store)
{
    const std::optional<LibraryReset> reset = co_await m_remote.fetchLibraryReset();
    co_await applyLibraryReset(store, reset);
    const RemoteState remote = co_await fetchRemoteState();
    const std::shared_ptr<const Scope> everything;
    const bool pushed = co_await exchange(store, remote, everything, reset);
    if (pushed)
        LibraryReset::setCompletedPass(*m_defaults, true);
}

QCoro::Task<bool> RecordStoreSyncService::exchange(LinkStore& store, const RemoteState& remote,
                                                   std::shared_ptr<const Scope> scope,
                                                   std::optional<LibraryReset> reset)
{
    co_await pull(store, remote, scope);
    // Another machine may have erased everything while this pass pulled: pushing now would bring this
    // library back into the emptied store.
    const std::optional<LibraryReset> resetNow = co_await m_remote.fetchLibraryReset();
    if (resetNow != reset) {
        co_await applyLibraryReset(store, resetNow);
        co_return false;
    }
    co_await push(store, remote, scope);
    co_return true;
}

QCoro::Task<void> RecordStoreSyncService::trackedPass(LinkStore& store)
{
    std::unique_ptr<Kept> kept = std::move(m_kept);
    m_remote.takeSkipped(); // what an earlier pass or erase left out is not this pass's
    const std::optional<LibraryReset> reset = co_await m_remote.fetchLibraryReset();
    if (reset && LibraryReset::shouldApply(*reset, *m_defaults))
        kept.reset();
    co_await applyLibraryReset(store, reset);

    // Another connection's commit may come from a program without our triggers, and a schema that moved
    // may have lost them: the journal alone is trusted only when neither happened since the last pass.
    const std::optional<qint64> journalSince = kept ? std::optional(kept->journalThrough) : std::nullopt;
    const LibraryChangeJournal::Changes journal = co_await readJournal(store, journalSince);
    if (kept && (!journal.complete || journal.everything || journal.othersCommits != kept->othersCommits ||
                 journal.schemaVersion != kept->schemaVersion))
        kept.reset();
    // Every awaited call's arguments are named locals: g++ 12 destroys temporaries made inside a co_await
    // expression twice.
    const QByteArray recordsSince = kept ? kept->recordsSince : QByteArray();
    const RecordStore::Changes changes = co_await m_remote.changesSince(recordsSince);
    if (changes.complete)
        kept.reset();

    auto next = std::make_unique<Kept>();
    next->recordsSince = changes.since;
    next->journalThrough = journal.through;
    next->othersCommits = journal.othersCommits;
    next->schemaVersion = journal.schemaVersion;
    std::shared_ptr<Scope> scope;
    if (kept) {
        next->records = std::move(kept->records);
        scope = std::make_shared<Scope>();
    }
    const std::shared_ptr<const Scope> scoped = scope;
    if (kept)
        next->index = std::move(kept->index);
    for (const QString& name : changes.removed) {
        if (const std::optional<RemoteValue> gone = forget(*next, name); gone && scope)
            touch(*scope, name, *gone);
    }
    for (const CloudRecord& record : changes.records) {
        if (const std::optional<RemoteValue> was = forget(*next, record.recordName()); was && scope)
            touch(*scope, record.recordName(), *was);
        if (std::optional<RemoteValue> decoded = remoteValue(record)) {
            if (scope)
                touch(*scope, record.recordName(), *decoded);
            keep(*next, record.recordName(), std::move(*decoded));
        }
    }
    if (scope)
        touch(*scope, journal);

    if (!scope || !scope->isEmpty()) {
        // A pass after a change decides about its scope alone, so only the records that scope reads make
        // its remote side.
        if (scope)
            close(*scope, *next);
        const RemoteState remote = remoteStateOf(scope ? recordsOf(*next, *scope) : next->records);
        const bool pushed = co_await exchange(store, remote, scoped, reset);
        if (!pushed)
            co_return;
    }
    LibraryReset::setCompletedPass(*m_defaults, true);
    const QStringList skipped = m_remote.takeSkipped();
    if (!skipped.isEmpty()) {
        store.notifyDidMutate(false);
        throw SkippedRecordsError(skipped);
    }
    m_kept = std::move(next);
}

QCoro::Task<void> RecordStoreSyncService::applyLibraryReset(LinkStore& store,
                                                            const std::optional<LibraryReset>& reset)
{
    if (!reset || !LibraryReset::shouldApply(*reset, *m_defaults))
        co_return;
    std::optional<bool> completed = LibraryReset::completedPass(*m_defaults);
    if (!completed) {
        const bool synced = co_await syncedBefore(store);
        LibraryReset::setCompletedPass(*m_defaults, synced);
        completed = synced;
    }
    // A machine joining sync keeps its library: it took no part in the erase the marker stands for.
    if (!*completed) {
        LibraryReset::saveAcknowledged(*reset, *m_defaults);
        co_return;
    }
    co_await eraseLibrary(store);
    store.notifyDidMutate(false);
    LibraryReset::saveAcknowledged(*reset, *m_defaults);
}

// Sync was on here before this machine kept whether a pass completed: it was an older build's, or its
// settings were copied or written while the application was stopped. Only what an older build's passes
// leave behind counts: a marker it acknowledged, or a record of this library's (a link, a relation or
// a deletion, pushed here or pulled from here) in the store. A switch alone proves nothing, and without
// evidence the library is kept: an erase it missed is undone at worst, never a library lost.
QCoro::Task<bool> RecordStoreSyncService::syncedBefore(LinkStore& store)
{
    if (LibraryReset::hasAnyAcknowledged(*m_defaults))
        co_return true;
    const std::shared_ptr<const Scope> everything;
    const LocalState local = co_await readLocal(store, everything);
    if (local.links.isEmpty() && local.relations.isEmpty() && local.deletions.isEmpty())
        co_return false;
    const RemoteState remote = co_await fetchRemoteState();
    const auto listed = [&](const QString& name) { return remote.listedNames.contains(name); };
    const bool found =
        std::any_of(local.links.cbegin(), local.links.cend(),
                    [&](const LinkItem& link) { return listed(RecordFormats::linkRecordName(link)); }) ||
        std::any_of(local.relations.cbegin(), local.relations.cend(),
                    [&](const LinkRelation& relation) {
                        return listed(RecordFormats::relationRecordName(relation));
                    }) ||
        std::any_of(local.deletions.cbegin(), local.deletions.cend(), [&](const DeletedRecord& deleted) {
            return RecordFormats::isSyncedDeletion(deleted) &&
                   remote.deletionsByName.contains(RecordFormats::tombstoneRecordName(deleted));
        });
    co_return found;
}

QCoro::Task<RecordStoreSyncService::RemoteState> RecordStoreSyncService::fetchRemoteState()
{
    RemoteState remote;
    remote.deletions = co_await m_remote.fetchDeletedRecords();
    for (const DeletedRecord& deleted : remote.deletions)
        remote.deletionsByName.insert(RecordFormats::tombstoneRecordName(deleted), deleted);
    const QList<CloudRecord> links = co_await m_remote.fetchAll(RecordFormats::linkType);
    decodeListed(links, RecordFormats::linkItem, remote.listedNames, remote.links);
    for (const LinkItem& link : remote.links)
        remote.linksByID.insert(link.id, link);
    const QList<CloudRecord> relations = co_await m_remote.fetchAll(RecordFormats::relationType);
    decodeListed(relations, RecordFormats::linkRelation, remote.listedNames, remote.relations);
    for (const LinkRelation& relation : remote.relations)
        remote.relationsByName.insert(RecordFormats::relationRecordName(relation), relation);
    co_return remote;
}

QCoro::Task<void> RecordStoreSyncService::pull(LinkStore& store, const RemoteState& remote,
                                               std::shared_ptr<const Scope> scope)
{
    const std::pair<qint64, qint64> stampBefore = co_await libraryStamp(store);
    const LocalState local = co_await readLocal(store, scope);
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
        co_await applyLinks(store, links.mid(first, applyBatch));
    // A relation the library holds already, or one its deletion outdates, is passed over without a write.
    const QList<LinkRelation> relations =
        scope ? within(remote.relations,
                       [&](const LinkRelation& relation) {
                           return scope->relations.contains(RecordFormats::relationRecordName(relation));
                       })
              : remote.relations;
    for (qsizetype first = 0; first < relations.size(); first += applyBatch)
        co_await applyRelations(store, relations.mid(first, applyBatch));
    const std::pair<qint64, qint64> stampAfter = co_await libraryStamp(store);
    if (stampAfter != stampBefore)
        store.notifyDidMutate(false);
}

QCoro::Task<void> RecordStoreSyncService::push(LinkStore& store, const RemoteState& remote,
                                               std::shared_ptr<const Scope> scope)
{
    const LocalState local = co_await readLocal(store, scope);
    for (const DeletedRecord& deleted : local.deletions) {
        if (!RecordFormats::isSyncedDeletion(deleted))
            continue;
        const DeletedRecord stored =
            remote.deletionsByName.value(RecordFormats::tombstoneRecordName(deleted));
        if (stored.recordName.isEmpty() || stored.deletedAt < deleted.deletedAt)
            co_await m_remote.saveDeletedRecord(deleted);
        if (remote.listedNames.contains(deleted.recordName))
            co_await m_remote.deleteRecord(deleted.recordName);
    }

    // A link goes up when the store lacks a readable copy, or holds one that differs in what machines
    // share and loses to this one; a copy that differs only in this machine's path stays as it is.
    QList<LinkItem> links;
    for (const LinkItem& link : local.links) {
        const auto stored = remote.linksByID.constFind(link.id);
        if (stored == remote.linksByID.constEnd() || RecordFormats::linkWins(link, *stored))
            links.append(link);
    }
    co_await m_remote.saveLinks(links);

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
    co_await m_remote.saveRelations(relations);
    for (const QString& name : outdatedDeletions)
        co_await m_remote.deleteRecord(name);
}

QCoro::Task<LibraryReset> RecordStoreSyncService::eraseRemoteData()
{
    co_await requireReadyAccount();
    co_await deleteAllRemoteRecords();
    co_await waitForRemoteErase(eraseCheckAttempts, eraseCheckPause);
    const LibraryReset reset{QUuid::createUuid(), m_clock->now()};
    co_await m_remote.saveLibraryReset(reset);
    m_settled.reset();
    m_kept.reset();
    co_return reset;
}

QCoro::Task<void> RecordStoreSyncService::deleteListed(QList<CloudRecord> records)
{
    for (const CloudRecord& record : records)
        co_await m_remote.deleteRecord(record.recordName());
}

QCoro::Task<void> RecordStoreSyncService::deleteAllRemoteRecords()
{
    for (const QString& type :
         {RecordFormats::relationType, RecordFormats::linkType, RecordFormats::deletedRecordType}) {
        QList<CloudRecord> records = co_await m_remote.fetchAll(type);
        co_await deleteListed(std::move(records));
    }
}

QCoro::Task<void> RecordStoreSyncService::waitForRemoteErase(int attempts, std::chrono::milliseconds pause)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        QList<CloudRecord> links = co_await m_remote.fetchAll(RecordFormats::linkType);
        QList<CloudRecord> relations = co_await m_remote.fetchAll(RecordFormats::relationType);
        if (links.isEmpty() && relations.isEmpty())
            co_return;
        if (attempt < attempts - 1) {
            co_await m_pause(pause);
            continue;
        }
        // Another machine may have pushed its library while this one deleted: delete once more.
        co_await deleteListed(std::move(relations));
        co_await deleteListed(std::move(links));
        links = co_await m_remote.fetchAll(RecordFormats::linkType);
        relations = co_await m_remote.fetchAll(RecordFormats::relationType);
        if (!links.isEmpty() || !relations.isEmpty())
            throw EraseRemoteDataError(links.size(), relations.size());
    }
}

} // namespace morvane
