#include "GraphLibrary.h"

#include "GraphWorkPool.h"
#include "SuggestedRelations.h"
#include "store/LinkStore.h"

#include <QCoroFuture>
#include <QCoroTask>
#include <QPromise>

#include <utility>

namespace morvane {

namespace {

// Awaits the rows where they are handed to (the main thread), derives on the pool, and gives the
// promise the library or what either step threw.
QCoro::Task<> derivePromised(QFuture<LibraryRows> rows, std::shared_ptr<GraphWorkPool> pool,
                             std::shared_ptr<QPromise<GraphLibrary>> promise)
{
    try {
        LibraryRows read = co_await rows;
        auto derivation = [read = std::move(read)]() mutable {
            return GraphLibrary::derive(std::move(read.links), std::move(read.relations));
        };
        QFuture<GraphLibrary> deriving = pool->run(std::move(derivation));
        promise->addResult(co_await deriving);
    } catch (...) {
        promise->setException(std::current_exception());
    }
    promise->finish();
}

} // namespace

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

QFuture<GraphLibrary> GraphLibrary::read(LinkStore& store, std::shared_ptr<GraphWorkPool> pool)
{
    auto promise = std::make_shared<QPromise<GraphLibrary>>();
    promise->start();
    QFuture<GraphLibrary> library = promise->future();
    derivePromised(store.linksAndRelations(), std::move(pool), std::move(promise));
    return library;
}

} // namespace morvane
