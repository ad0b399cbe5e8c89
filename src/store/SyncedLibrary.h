#pragma once

#include "model/DeletedRecord.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QFuture>
#include <QList>

#include <utility>

namespace morvane {

class LinkStore;

// The library as a sync pass reads and writes it: each step one job on the store thread, in order
// with every other operation. Nothing here announces a change; the pass does when it is done.
class SyncedLibrary {
public:
    // The library as a pass reads it, in one store job.
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

    explicit SyncedLibrary(LinkStore& store);

    QFuture<State> state();
    // Moves on whenever the library may have changed, through this connection or another.
    QFuture<std::pair<qint64, qint64>> changeStamp();
    QFuture<void> applyDeletion(DeletedRecord deleted);
    // A batch commits once, each value of it still in a savepoint of its own: a value that fails is
    // undone alone, the ones before it are kept, and its error is thrown.
    QFuture<void> applyLinks(QList<RemoteLink> links);
    QFuture<void> applyRelations(QList<LinkRelation> relations);

private:
    LinkStore& m_store;
};

} // namespace morvane
