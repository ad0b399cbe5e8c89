#pragma once

#include "library/LibraryChangeJournal.h"
#include "library/LibrarySyncPoint.h"
#include "model/DeletedRecord.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

namespace morvane {

class LinkStore;

// The library as a sync pass reads and writes it: each step one job on the store thread, in order
// with every other operation. Nothing here announces a change; the pass does when it is done.
class SyncedLibrary {
public:
    // The library as a pass reads it.
    struct State {
        QList<LinkItem> links;
        QList<LinkRelation> relations;
        QList<DeletedRecord> deletions;
    };

    // A remote link to apply, and whether it wins a tie of update times.
    struct RemoteLink {
        LinkItem link;
        bool winsEqualTime = false;
    };

    // The part of the library a pass after a change reads: the links with these ids (as stored), the
    // relations with an end among these ids, and the deletions of these record types and names.
    struct Keys {
        QStringList linkIDs;
        QStringList relationEnds;
        QList<std::pair<QString, QString>> deletions;
    };

    // A part of the links or relations, and the row to ask the next part after.
    template <class T> struct Part {
        QList<T> values;
        qint64 lastRow = 0;
    };

    explicit SyncedLibrary(LinkStore& store);

    // The links or relations of at most `count` rows after `row` (see LibraryReads::linksAfterRow), for
    // a reader that takes them all a part at a time; every deletion, in one job.
    QFuture<Part<LinkItem>> linksAfter(qint64 row, qsizetype count);
    QFuture<Part<LinkRelation>> relationsAfter(qint64 row, qsizetype count);
    QFuture<QList<DeletedRecord>> deletions();
    // Gives back the pages a read of every row left in the connection's cache (a megabyte or two, held
    // while nothing reads them again).
    QFuture<void> releaseCachedPages();
    // The part the keys name, in one job.
    QFuture<State> state(Keys keys);
    // The links with these ids (as stored), in one job.
    QFuture<QList<LinkItem>> linksOnly(QStringList linkIDs);
    // Where the library's change journal stands, and what it names after the point when there is
    // one. A journal that something removed is made again, and the answer is then incomplete: the
    // pass that finds it so looks at everything.
    // Past `atMost` changes, none is listed (see LibraryChangeJournal::changesSince).
    QFuture<LibraryChangeJournal::Changes> changesSince(std::optional<qint64> since,
                                                        qsizetype atMost = LibraryChangeJournal::unlimited);
    // Moves on whenever the library may have changed, through this connection or another.
    QFuture<std::pair<qint64, qint64>> changeStamp();
    // Where the last completed pass left the record store, none when no pass left a point; with each
    // record it kept given to `record` on the store's thread as it is read (see
    // LibrarySyncPoint::eachRecord), for a reader that keeps them in a form of its own.
    using RecordReader =
        std::function<void(QByteArrayView name, QByteArrayView version, QByteArrayView kept)>;
    QFuture<std::optional<LibrarySyncPoint::Point>> storedPoint(RecordReader record);
    // See LibrarySyncPoint::keep and forget.
    QFuture<void> keepPoint(LibrarySyncPoint::Point point, LibrarySyncPoint::RecordWalk records,
                            QStringList removed, bool everything);
    QFuture<void> forgetPoint();
    QFuture<void> applyDeletion(DeletedRecord deleted);
    // A batch commits once, each value of it still in a savepoint of its own: a value that fails is
    // undone alone, the ones before it are kept, and its error is thrown.
    QFuture<void> applyLinks(QList<RemoteLink> links);
    QFuture<void> applyRelations(QList<LinkRelation> relations);
    // See LibraryMerge::startFilling and finishFilling. The finish keeps the usual cache, unlike an
    // import's transaction: the import's large one held a joining machine's whole library in memory
    // while its indexes were made, well past what the pass holds otherwise, for no gain in time.
    QFuture<std::optional<QStringList>> startFilling();
    QFuture<void> finishFilling(QStringList indexes);

private:
    LinkStore& m_store;
};

} // namespace morvane
