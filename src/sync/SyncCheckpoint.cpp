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

void SyncCheckpoint::Listing::answering(bool complete)
{
    m_complete = complete;
}

void SyncCheckpoint::Listing::listedFrom(std::shared_ptr<const RecordNames> names)
{
    m_changed.listedIn(std::move(names));
}

void SyncCheckpoint::Listing::take(CloudRecord record, QByteArray version)
{
    Entry entry{record.recordName(), std::move(version), std::nullopt};
    std::optional<RemoteRecord> decoded = RemoteRecord::decode(record);
    record = CloudRecord(); // let go before the next file is read
    if (m_complete) {
        // As after() takes an entry in, a name listed again replacing what it listed before; what the
        // earlier record kept is then its own, no longer what the point keeps under the name.
        if (const std::optional<KeptRecord> earlier = m_kept.forget(entry.name))
            m_changed.keepBytesOfLast(entry.name, earlier->toBytes());
        if (!decoded) {
            m_unreadable.append(entry.name);
            return;
        }
        KeptRecord kept = KeptRecord::of(*decoded);
        m_changed.appendKeptByName(entry.name, entry.version);
        m_kept.keep(entry.name, std::move(kept));
        return;
    }
    if (decoded) {
        entry.kept = KeptRecord::of(*decoded);
        if (!m_complete)
            m_atHand.insert(entry.name, std::move(*decoded));
    }
    m_entries.append(std::move(entry));
}

std::unique_ptr<SyncCheckpoint> SyncCheckpoint::after(std::unique_ptr<SyncCheckpoint> before,
                                                      const LibraryChangeJournal::Changes& journal,
                                                      const RecordStore::Changes& changes, Listing listing,
                                                      SyncScope* scope, Read& read)
{
    auto next = std::make_unique<SyncCheckpoint>();
    next->recordsSince = changes.since;
    next->place = changes.place;
    next->journalThrough = journal.through;
    next->othersCommits = journal.othersCommits;
    next->schemaVersion = journal.schemaVersion;
    if (listing.m_complete) {
        next->records = std::move(listing.m_kept);
        read.removed = changes.removed + listing.m_unreadable;
        read.changed = std::move(listing.m_changed);
        if (scope)
            scope->touch(journal);
        return next;
    }
    if (before)
        next->records = std::move(before->records);
    read.removed = changes.removed;
    for (const QString& name : std::as_const(changes.removed)) {
        if (const std::optional<KeptRecord> gone = next->records.forget(name); gone && scope)
            scope->touch(name, *gone);
    }
    for (Listing::Entry& entry : listing.m_entries) {
        // Each entry is let go once taken in, so that the listing and what is kept are not both held
        // in full.
        const Listing::Entry listed = std::exchange(entry, Listing::Entry());
        const QString& name = listed.name;
        std::optional<KeptRecord> was = next->records.forget(name);
        if (!listed.kept) {
            if (was && scope)
                scope->touch(name, *was);
            read.removed.append(name);
            continue;
        }
        const KeptRecord& kept = *listed.kept;
        if (scope && !(was && *was == kept)) {
            if (was)
                scope->touch(name, *was);
            scope->touch(name, kept);
        }
        read.changed.append(name, listed.version, kept.toBytes());
        next->records.keep(name, kept);
    }
    read.records = std::move(listing.m_atHand);
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
