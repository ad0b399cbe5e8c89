#include "sync/SyncCheckpoint.h"

#include "sync/SyncScope.h"

namespace morvane {

bool SyncCheckpoint::trusts(const LibraryChangeJournal::Changes& journal) const
{
    return journal.complete && !journal.everything && journal.othersCommits == othersCommits &&
           journal.schemaVersion == schemaVersion;
}

std::unique_ptr<SyncCheckpoint> SyncCheckpoint::after(std::unique_ptr<SyncCheckpoint> before,
                                                      const LibraryChangeJournal::Changes& journal,
                                                      const RecordStore::Changes& changes, SyncScope* scope)
{
    auto next = std::make_unique<SyncCheckpoint>();
    next->recordsSince = changes.since;
    next->journalThrough = journal.through;
    next->othersCommits = journal.othersCommits;
    next->schemaVersion = journal.schemaVersion;
    if (before)
        next->records = std::move(before->records);
    for (const QString& name : changes.removed) {
        if (const std::optional<RemoteRecord> gone = next->records.forget(name); gone && scope)
            scope->touch(name, *gone);
    }
    for (const CloudRecord& record : changes.records) {
        if (const std::optional<RemoteRecord> was = next->records.forget(record.recordName()); was && scope)
            scope->touch(record.recordName(), *was);
        if (std::optional<RemoteRecord> decoded = RemoteRecord::decode(record)) {
            if (scope)
                scope->touch(record.recordName(), *decoded);
            next->records.keep(record.recordName(), std::move(*decoded));
        }
    }
    if (scope)
        scope->touch(journal);
    return next;
}

} // namespace morvane
