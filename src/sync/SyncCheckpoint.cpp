#include "sync/SyncCheckpoint.h"

#include "sync/SyncScope.h"

namespace morvane {

bool SyncCheckpoint::trusts(const LibraryChangeJournal::Changes& journal) const
{
    if (!journal.complete || journal.everything)
        return false;
    // Across a start the schema counter is no witness: closing the library the first time makes its
    // statistics table. A journal with all its triggers, no large write without them and no change
    // since is.
    if (stored)
        return journal.links.isEmpty() && journal.relations.isEmpty() && journal.deletedRecords.isEmpty();
    return journal.othersCommits == othersCommits && journal.schemaVersion == schemaVersion;
}

std::unique_ptr<SyncCheckpoint> SyncCheckpoint::after(std::unique_ptr<SyncCheckpoint> before,
                                                      const LibraryChangeJournal::Changes& journal,
                                                      RecordStore::Changes changes, SyncScope* scope,
                                                      Read& read)
{
    auto next = std::make_unique<SyncCheckpoint>();
    next->recordsSince = changes.since;
    next->place = changes.place;
    next->journalThrough = journal.through;
    next->othersCommits = journal.othersCommits;
    next->schemaVersion = journal.schemaVersion;
    if (before)
        next->records = std::move(before->records);
    read.removed = changes.removed;
    for (const QString& name : std::as_const(changes.removed)) {
        if (const std::optional<KeptRecord> gone = next->records.forget(name); gone && scope)
            scope->touch(name, *gone);
    }
    const bool versioned = changes.versions.size() == changes.records.size();
    for (qsizetype i = 0; i < changes.records.size(); ++i) {
        // Each record is let go once decoded, so that the store's answer and its decoding are not held
        // in full at once.
        const CloudRecord record = std::exchange(changes.records[i], CloudRecord());
        const QString& name = record.recordName();
        const QByteArray version = versioned ? changes.versions.at(i) : QByteArray();
        std::optional<RemoteRecord> decoded = RemoteRecord::decode(record);
        std::optional<KeptRecord> was = next->records.forget(name);
        if (!decoded) {
            if (was && scope)
                scope->touch(name, *was);
            read.removed.append(name);
            continue;
        }
        KeptRecord kept = KeptRecord::of(*decoded);
        if (scope && !(was && *was == kept)) {
            if (was)
                scope->touch(name, *was);
            scope->touch(name, kept);
        }
        read.changed.append({name, version, kept.toBytes()});
        next->records.keep(name, std::move(kept));
        read.records.insert(name, std::move(*decoded));
    }
    if (scope)
        scope->touch(journal);
    return next;
}

void SyncCheckpoint::Loader::add(QByteArrayView name, QByteArrayView version, QByteArrayView kept)
{
    if (m_unreadable)
        return;
    std::optional<KeptRecord> record = KeptRecord::fromBytes(kept);
    if (!record) {
        m_unreadable = true;
        return;
    }
    m_records.load(QString::fromUtf8(name), std::move(*record));
    m_versions.append(name, version);
}

std::unique_ptr<SyncCheckpoint> SyncCheckpoint::Loader::finish(const LibrarySyncPoint::Point& stored)
{
    if (m_unreadable) {
        m_records = {};
        m_versions.clear();
        return nullptr;
    }
    auto point = std::make_unique<SyncCheckpoint>();
    point->stored = true;
    point->place = stored.place;
    point->journalThrough = stored.journalThrough;
    point->schemaVersion = stored.schemaVersion;
    m_records.loaded();
    point->records = std::move(m_records);
    m_versions.sort();
    return point;
}

LibrarySyncPoint::Point SyncCheckpoint::point() const
{
    return {place, journalThrough, schemaVersion};
}

} // namespace morvane
