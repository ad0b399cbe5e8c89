#pragma once

#include "library/LibraryChangeJournal.h"
#include "store/SyncedLibrary.h"
#include "sync/SyncRemoteState.h"

#include <QFuture>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <utility>

namespace morvane {

class KeptRecords;
struct KeptRecord;
class LinkStore;

// The keys a pass after a change looks at, on both sides: what changed, and what the decisions about it
// read (a link's deletion and relations, a relation's deletion).
struct SyncScope {
    QSet<QUuid> links;
    QSet<QString> relations;                     // by record name
    QSet<std::pair<QString, QString>> deletions; // the deleted record's type and name
    // The library's keys to read them by: link ids (as stored where the journal named them), the ends
    // of the relations, and the deletions.
    QStringList linkIDs;
    QStringList relationEnds;
    QList<std::pair<QString, QString>> deletionKeys;

    bool isEmpty() const { return links.isEmpty() && relations.isEmpty() && deletions.isEmpty(); }

    // What a changed record (as it was, or as it is) brings into the scope.
    void touch(const QString& recordName, const KeptRecord& kept);
    // The keys the library's journal names.
    void touch(const LibraryChangeJournal::Changes& journal);
    // Adds what the decisions about the scope's keys read: a deletion's link or relation, a link's
    // relations, and the deletion of every link and relation in it; then the keys to read them by.
    void close(const KeptRecords& kept);
    // The names of the kept records the scope's decisions read, in order: those its keys find, and those
    // under the names of its links, relations and deleted records themselves (listed, though they may
    // not read).
    QStringList recordsIn(const KeptRecords& kept) const;
};

// The library's side of a pass: every row, or only the scope's when there is one.
QFuture<SyncedLibrary::State> readLibrary(LinkStore& store, const std::shared_ptr<const SyncScope>& scope);

} // namespace morvane
