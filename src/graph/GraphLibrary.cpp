#include "GraphLibrary.h"

#include "SuggestedRelations.h"
#include "store/LinkStore.h"

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
    using Rows = std::pair<QList<LinkItem>, QList<LinkRelation>>;
    return store.run([](SQLiteStore& sqlite) { return Rows(sqlite.allLinks(), sqlite.allRelations()); })
        .then(QtFuture::Launch::Async,
              [](Rows rows) { return derive(std::move(rows.first), std::move(rows.second)); });
}

} // namespace morvane
