#pragma once

#include "ManualClock.h"
#include "TestEnvironment.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "graph/GraphViewModel.h"
#include "store/LinkStore.h"

#include <QCoreApplication>
#include <QPromise>

#include <memory>
#include <vector>

namespace morvane::test {

inline LinkItem linkItem(const QString& title, LinkType type = LinkType::web, const QString& url = {},
                         const QStringList& tags = {}, const QString& sourceApp = {})
{
    LinkItem item;
    item.id = QUuid::createUuid();
    item.title = title;
    item.type = type;
    item.url = url;
    item.tags = tags;
    item.sourceApp = sourceApp;
    return item;
}

inline LinkRelation relation(const LinkItem& from, const LinkItem& to)
{
    return {QUuid::createUuid(), from.id, to.id, QDateTime::currentDateTimeUtc()};
}

// A graph model whose loads answer at once with `library`, or, while loads are deferred, wait until
// the test finishes them in any order.
struct GraphFixture {
    std::unique_ptr<LinkStore> store =
        std::make_unique<LinkStore>(LinkStore::libraryAt(testHome() + QStringLiteral("/library.sqlite")),
                                    std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    QList<LinkItem> items;
    QList<LinkRelation> relations;
    bool deferLoads = false;
    std::vector<std::shared_ptr<QPromise<GraphLibrary>>> pendingLoads;
    int loadsStarted = 0;
    GraphViewModel model{*store, clock, [this] {
                             ++loadsStarted;
                             if (!deferLoads)
                                 return QtFuture::makeReadyFuture(GraphLibrary::derive(items, relations));
                             pendingLoads.push_back(std::make_shared<QPromise<GraphLibrary>>());
                             pendingLoads.back()->start();
                             return pendingLoads.back()->future();
                         }};

    void load(QList<LinkItem> newItems, QList<LinkRelation> newRelations = {})
    {
        items = std::move(newItems);
        relations = std::move(newRelations);
        model.reload();
    }

    void finishLoad(size_t index, QList<LinkItem> loaded, QList<LinkRelation> loadedRelations = {})
    {
        pendingLoads.at(index)->addResult(
            GraphLibrary::derive(std::move(loaded), std::move(loadedRelations)));
        pendingLoads.at(index)->finish();
        QCoreApplication::processEvents();
    }

    QPointF positionOf(const QUuid& id) const
    {
        for (const GraphNode& node : model.nodes()) {
            if (node.id == id)
                return node.position;
        }
        return {qQNaN(), qQNaN()};
    }

    QStringList shownTitles() const
    {
        QStringList titles;
        for (const GraphNode& node : model.nodes())
            titles.append(node.title);
        return titles;
    }
};

} // namespace morvane::test
