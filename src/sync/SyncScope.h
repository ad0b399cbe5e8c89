#pragma once

#include "library/LibraryChangeJournal.h"
#include "store/SyncedLibrary.h"
#include "sync/SyncRemoteState.h"

#include <QCoroTask>
#include <QFuture>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
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

// The links or relations a whole read asks the store's thread for at once; at most fullLinksPerPart links
// where each is summed up as it comes.
inline constexpr qsizetype rowsPerPart = 2048;
inline constexpr qsizetype fullLinksPerPart = 256;

// The library's side of a pass: every row, or only the scope's when there is one. Every link, then
// every relation, is read in the order of the rows, `perPart` to a job on the store's thread, and the
// lists are put together here: a whole library's list is a block of megabytes, which made on the
// store's thread would stay in that thread's heap once freed (the allocator keeps a thread heap's freed
// top, and malloc_trim does not give it back). The deletions follow in one job. The parts are not one
// snapshot: a row written meanwhile is read as its part finds it, as the pass's later steps would meet
// it anyway.
QCoro::Task<SyncedLibrary::State> readLibrary(LinkStore& store, std::shared_ptr<const SyncScope> scope,
                                              qsizetype perPart = rowsPerPart);

// The library's side as a pull and a push decide from it. With a scope, the scope's rows in full, as
// readLibrary reads them. Without, every link as its summary only (read `perPart` rows at a time and
// summed up as each part comes, so that no whole library of links is ever held), with every relation
// and deletion; a decision that needs a link's fields reads it again by its id (readLinksByID).
struct LibrarySide {
    SyncedLibrary::State rows;    // without a scope: the relations and deletions, no link
    QList<LinkSummary> summaries; // without a scope: every link's, in the order of the rows
    bool whole = false;

    // Every link's summary, with a scope too (summed up from its rows).
    QList<LinkSummary> linkSummaries() const;
};
QCoro::Task<LibrarySide> readLibrarySide(LinkStore& store, std::shared_ptr<const SyncScope> scope,
                                         qsizetype perPart = rowsPerPart);
// Every row of the library, as readLibrarySide reads a whole library, for a reader that keeps less of
// it: each link, then each relation, handed to `link` or `relation` in the order of the rows as its part
// comes, and let go with the part; then every deletion, given back.
using LinkTaker = std::function<void(const LinkItem&)>;
using RelationTaker = std::function<void(const LinkRelation&)>;
QCoro::Task<QList<DeletedRecord>> walkLibrary(LinkStore& store, LinkTaker link, RelationTaker relation,
                                              qsizetype perPart = rowsPerPart);
// The library's links with these ids, as stored (in upper or lower case), in one job on the store's
// thread; one not found is left out.
QFuture<QList<LinkItem>> readLinksByID(LinkStore& store, const QList<QUuid>& ids);

} // namespace morvane
