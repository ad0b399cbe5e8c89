#include "GraphLibrary.h"

#include "SuggestedRelations.h"
#include "foundation/StoreExecutor.h"
#include "store/LinkStore.h"

#include <QThreadPool>

#include <utility>

namespace morvane {

GraphLibrary GraphLibrary::derive(QList<LinkItem> items, QList<LinkRelation> relations)
{
    GraphLibrary library{std::move(items), std::move(relations), {}, {}};
    for (const LinkRelation& relation : std::as_const(library.relations)) {
        ++library.degreeByID[relation.fromLinkID];
        ++library.degreeByID[relation.toLinkID];
    }
    library.suggestedEdges = SuggestedRelations::rank(library.items, library.relations, library.degreeByID);
    return library;
}

QFuture<GraphLibrary> GraphLibrary::read(LinkStore& store)
{
    QFuture<LibraryRows> rows = store.linksAndRelations();
    // The derivation waits for the rows on a pool thread instead of being attached to their future
    // as a continuation: attached while the store thread finishes that future, a continuation can
    // run twice with this Qt.
    return startPromised(
        [rows]() mutable {
            LibraryRows read = rows.result(); // rethrows what the read threw
            return derive(std::move(read.links), std::move(read.relations));
        },
        [](std::function<void()> job) {
            QThreadPool::globalInstance()->start(std::move(job));
            return true;
        });
}

} // namespace morvane
