#pragma once

#include "library/LibraryChangeJournal.h"
#include "store/SyncedLibrary.h"
#include "sync/ChangedRecords.h"
#include "sync/KeptRecords.h"
#include "sync/RecordStore.h"
#include "sync/RecordVersions.h"
#include "sync/SyncRemoteState.h"

#include <QByteArray>
#include <QHash>

#include <memory>
#include <optional>

namespace morvane {

struct SyncScope;

// What a completed pass leaves for the next: the store's point to answer changes from, what is kept of
// every record, and where the library's journal stood when the pass began. The library keeps it too,
// with the version of each record as the store gave it, for the first pass after a start.
struct SyncCheckpoint {
    QByteArray recordsSince;
    QByteArray place;
    KeptRecords records;
    qint64 journalThrough = 0;
    qint64 othersCommits = 0;
    qint64 schemaVersion = 0;
    // Kept by the library before this run: another connection's commits are not comparable with it.
    bool stored = false;

    // Another connection's commit may come from a program without our triggers, and a schema that moved
    // may have lost them: the journal alone is trusted only when neither happened since this point.
    // Across a start, any change since the point may come from another program or an older build, and
    // the pass after it looks at everything; the schema counter is not compared then (see trusts).
    bool trusts(const LibraryChangeJournal::Changes& journal) const;

    // What the records of a pass are, decoded, by name: the records the store answered as changed.
    struct Read {
        QHash<QString, RemoteRecord> records;
        QStringList removed;
        ChangedRecords changed; // as the library keeps them
    };

    // The store's answer taken in as it is read, on the record store's thread: each record decoded at
    // once and kept as deciding needs it. The decoded records themselves stay at hand only in an answer
    // of what changed since a point, which holds few: a complete answer is every record of the store,
    // and the links a decision compares are read again, a part at a time. A complete answer is taken
    // straight into what the next point keeps (it starts from no point before), so that no list of
    // every record is held beside it.
    class Listing final : public RecordStore::RecordSink {
    public:
        void answering(bool complete) override;
        void listedFrom(std::shared_ptr<const RecordNames> names) override;
        void take(CloudRecord record, QByteArray version) override;

    private:
        friend struct SyncCheckpoint;
        struct Entry {
            QString name;
            QByteArray version;
            std::optional<KeptRecord> kept; // none when it does not read
        };
        bool m_complete = false;
        QList<Entry> m_entries;
        QHash<QString, RemoteRecord> m_atHand;
        // A complete answer's records as the next point keeps them, the names of those that do not read.
        KeptRecords m_kept;
        ChangedRecords m_changed;
        QStringList m_unreadable;
    };

    // The point a pass that found these changes on either side leaves, its records those kept at the
    // point before (when there is one) with the store's changes (their records in the listing) taken in,
    // and what this pass read. A complete answer starts from no point before: `before` is left out. Given a
    // scope, each change notes there what it touches, as the record was and as it is, unless what is kept of
    // it stays the same.
    static std::unique_ptr<SyncCheckpoint> after(std::unique_ptr<SyncCheckpoint> before,
                                                 const LibraryChangeJournal::Changes& journal,
                                                 const RecordStore::Changes& changes, Listing listing,
                                                 SyncScope* scope, Read& read);

    // The point the library kept, read a record at a time (on the store's thread), with the versions of
    // its records to ask the store's changes from.
    class Loader {
    public:
        void add(QByteArrayView name, QByteArrayView version, QByteArrayView kept);
        // The point, none when what it kept does not all read; the versions are left to take.
        std::unique_ptr<SyncCheckpoint> finish(const LibrarySyncPoint::Point& stored);
        RecordVersions& versions() { return m_versions; }

    private:
        KeptRecords m_records;
        RecordVersions m_versions;
        bool m_unreadable = false;
    };
    LibrarySyncPoint::Point point() const;
};

} // namespace morvane
