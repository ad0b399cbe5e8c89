#pragma once

#include "library/LibraryChangeJournal.h"
#include "sync/KeptRecords.h"
#include "sync/RecordStore.h"

#include <QByteArray>

#include <memory>

namespace morvane {

struct SyncScope;

// What a completed pass leaves for the next: the store's point to answer changes from, every record
// decoded, and where the library's journal stood when the pass began.
struct SyncCheckpoint {
    QByteArray recordsSince;
    KeptRecords records;
    qint64 journalThrough = 0;
    qint64 othersCommits = 0;
    qint64 schemaVersion = 0;

    // Another connection's commit may come from a program without our triggers, and a schema that moved
    // may have lost them: the journal alone is trusted only when neither happened since this point.
    bool trusts(const LibraryChangeJournal::Changes& journal) const;

    // The point a pass that found these changes on either side leaves, its records those kept at the
    // point before (when there is one) with the store's changes taken in. Given a scope, each change
    // notes there what it touches, as the record was and as it is.
    static std::unique_ptr<SyncCheckpoint> after(std::unique_ptr<SyncCheckpoint> before,
                                                 const LibraryChangeJournal::Changes& journal,
                                                 const RecordStore::Changes& changes, SyncScope* scope);
};

} // namespace morvane
