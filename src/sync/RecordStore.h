#pragma once

#include "sync/CloudRecord.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

namespace morvane {

class RecordNames;
class RecordVersions;

// The private record store the library is mirrored into: records found by name, or listed by type a
// page at a time. Every call is synchronous and may block on I/O, so callers keep it off the main
// thread. Implementations are safe to call from any one thread at a time. Failures are thrown as
// CloudKitError; a record that is not there is CloudKitError::unknownItem, and one the store cannot use
// (what is under its name, or its size) is UnusableRecordError, which concerns that record only.
class RecordStore {
public:
    // The account as the store sees it, with the record store's own numbering.
    enum class AccountStatus {
        couldNotDetermine = 0,
        available = 1,
        restricted = 2,
        noAccount = 3,
        temporarilyUnavailable = 4
    };

    // Where a listing goes on from; opaque to callers.
    struct Cursor {
        QString recordType;
        QString after;
        // A store may keep what its first page found here (the folder store: the sorted record
        // names), so that later pages do not list everything again.
        std::shared_ptr<const RecordNames> listing;
    };
    struct Page {
        QList<CloudRecord> records;
        std::optional<Cursor> cursor; // set while more records follow
    };

    // The most records one page holds.
    static constexpr int maximumResults = 100;

    virtual ~RecordStore() = default;

    virtual AccountStatus accountStatus() = 0;
    // The stored record, with its change tag.
    virtual CloudRecord fetch(const QString& recordName) = 0;
    // Stores the record and answers it as stored, with its new change tag. A save that changes nothing
    // writes nothing and keeps the tag. Refused with serverRecordChanged when the record's tag is not
    // the stored one (an untagged record counts as new, and is refused when one is stored).
    virtual CloudRecord save(const CloudRecord& record) = 0;
    virtual void remove(const QString& recordName) = 0;
    // The first page of every record of the type, ordered by name, or the page after the cursor.
    virtual Page query(const QString& recordType, int limit) = 0;
    virtual Page query(const Cursor& cursor, int limit) = 0;
    // A value that differs whenever any record may have changed since it was taken (written, added,
    // removed, replaced from outside); none when the store cannot tell at the moment. It costs far
    // less than listing: a sync pass compares it to skip a pass that would find nothing new.
    virtual std::optional<QByteArray> changeToken() { return std::nullopt; }

    // What changed since an earlier answer, for a caller that keeps what it decoded: the records added
    // or rewritten since then (of every type, by name) and the names of records gone or no longer
    // readable. Given no earlier answer, or one the store no longer knows, it answers every record and
    // says it is complete. A record is answered again while it is too fresh to trust its stamp.
    struct Changes {
        QByteArray since; // give it to the next call
        bool complete = false;
        QList<CloudRecord> records;
        QStringList removed;
        // For each of the records, what tells its version from another without reading it (empty while
        // it is too fresh to stand for the record), and the place the records were found in: what a
        // caller keeps to ask changesFrom after a restart.
        QList<QByteArray> versions;
        QByteArray place;
    };
    // Whether the store answers changesSince; a caller asks each type in full otherwise.
    virtual bool tracksChanges() const { return false; }
    virtual Changes changesSince(const QByteArray& /*since*/) { return {}; }
    // As changesSince, from the versions of the records (by name) that an earlier answer gave for the
    // place: the records whose version moved, those added and those gone. Another place (the folder
    // moved, or was replaced) answers every record and says it is complete.
    virtual Changes changesFrom(const QByteArray& /*place*/, const RecordVersions& /*versions*/)
    {
        return changesSince({});
    }

    // Takes an answer's records as they are read, so that the caller need not hold them all at once (a
    // complete answer is every record of the store): answering(complete) comes first, then each record
    // with its version (empty when the answer gave none), in the answer's order.
    class RecordSink {
    public:
        virtual ~RecordSink() = default;
        virtual void answering(bool complete) = 0;
        // Before a complete answer's records, from a store that answers them from these names and in
        // their order: a sink may refer to a record's name there rather than hold one of its own.
        virtual void listedFrom(std::shared_ptr<const RecordNames> /*names*/) {}
        virtual void take(CloudRecord record, QByteArray version) = 0;
    };
    // As changesSince and changesFrom, each record handed to the sink instead of held in the answer
    // (whose records and versions stay empty). A store that reads its records one by one streams them;
    // the others hand over their whole answer.
    virtual Changes streamChangesSince(const QByteArray& since, RecordSink& sink)
    {
        return handOver(changesSince(since), sink);
    }
    virtual Changes streamChangesFrom(const QByteArray& place, const RecordVersions& versions,
                                      RecordSink& sink)
    {
        return handOver(changesFrom(place, versions), sink);
    }

protected:
    static Changes handOver(Changes changes, RecordSink& sink)
    {
        sink.answering(changes.complete);
        const bool versioned = changes.versions.size() == changes.records.size();
        for (qsizetype i = 0; i < changes.records.size(); ++i)
            sink.take(std::exchange(changes.records[i], CloudRecord()),
                      versioned ? changes.versions.at(i) : QByteArray());
        changes.records.clear();
        changes.versions.clear();
        return changes;
    }
};

} // namespace morvane
