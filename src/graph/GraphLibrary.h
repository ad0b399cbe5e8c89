#pragma once

#include "GraphElements.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QUuid>

#include <memory>

namespace morvane {

class GraphWorkPool;
class LinkStore;

// The whole library as the graph sees it: every link in the store's order (last change first, then
// title), every relation, the relation count of each link, and the ranked suggestions.
struct GraphLibrary {
    QList<LinkItem> items;
    QList<LinkRelation> relations;
    QHash<QUuid, int> degreeByID; // links without relations have no entry
    QList<GraphEdge> suggestedEdges;

    // Counts the degrees and ranks the suggestions of what was read.
    static GraphLibrary derive(QList<LinkItem> items, QList<LinkRelation> relations);
    // Reads links and relations on the store thread, then derives the rest on the pool: a large
    // library is never scanned on the main thread, and no thread is held while the rows are read.
    // Called on the main thread.
    static QFuture<GraphLibrary> read(LinkStore& store, std::shared_ptr<GraphWorkPool> pool);
};

} // namespace morvane
