#pragma once

#include "../capture/CaptureTestSupport.h"
#include "ManualClock.h"
#include "RecordingOpener.h"
#include "TestEnvironment.h"
#include "TestValues.h"
#include "capture/ActiveContextService.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "graph/GraphViewModel.h"
#include "store/ItemOpening.h"
#include "store/LinkStoreDetail.h"

#include <QCoreApplication>
#include <QPromise>
#include <QSemaphore>
#include <QTest>

#include <memory>
#include <ostream>
#include <vector>

namespace morvane {

inline void PrintTo(const GraphPlacement& place, std::ostream* out)
{
    *out << "at (" << place.position.x() << ", " << place.position.y() << ") moving (" << place.velocity.x()
         << ", " << place.velocity.y() << ")";
}

} // namespace morvane

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
    // One date for all: the library then lists links by title.
    item.createdAt = item.updatedAt = at("2024-05-01T09:30:00.000Z");
    return item;
}

// Links titled "link 0", "link 1" ...
inline QList<LinkItem> titledItems(int count)
{
    QList<LinkItem> items;
    for (int i = 0; i < count; ++i)
        items.append(linkItem(QStringLiteral("link %1").arg(i)));
    return items;
}

// A web link whose address the application in front can show.
inline LinkItem webLink(const QString& title, const QStringList& tags = {})
{
    return linkItem(title, LinkType::web, QStringLiteral("https://%1.example/").arg(title), tags);
}

// Runs the event loop until the condition holds, for at most five seconds.
inline bool settle(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 5000);
}

inline LinkRelation relation(const LinkItem& from, const LinkItem& to)
{
    return {QUuid::createUuid(), from.id, to.id, QDateTime::currentDateTimeUtc()};
}

// Holds every thread of a pool until released, also when an assertion fails first.
struct BusyPool {
    BusyPool(GraphWorkPool& pool, int threads)
        : pool(pool)
        , threads(threads)
    {
        for (int i = 0; i < threads; ++i)
            pool.post([this] {
                started.release();
                gate.acquire();
            });
        started.acquire(threads);
    }
    ~BusyPool()
    {
        gate.release(threads);
        pool.waitForDone();
    }
    GraphWorkPool& pool;
    const int threads;
    QSemaphore started;
    QSemaphore gate;
};

// A graph model whose loads answer at once with `items` and `relations` (or with the library's
// contents once they are saved there), or, while loads are deferred, wait until the test finishes
// them in any order. The application in front answers what `frontmost` holds.
struct GraphFixture {
    std::unique_ptr<LinkStore> store =
        std::make_unique<LinkStore>(LinkStore::libraryAt(testHome() + QStringLiteral("/library.sqlite")),
                                    std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<GraphWorkPool> pool = std::make_shared<GraphWorkPool>();
    QList<LinkItem> items;
    QList<LinkRelation> relations;
    std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
    std::shared_ptr<ItemOpening> opening = std::make_shared<ItemOpening>(*store, opener);
    std::shared_ptr<StubProvider> frontmost = std::make_shared<StubProvider>(QStringLiteral("Front"));
    bool fromLibrary = false;
    bool deferLoads = false;
    std::vector<std::shared_ptr<QPromise<GraphLibrary>>> pendingLoads;
    int loadsStarted = 0;
    GraphViewModel model{
        *store,
        pool,
        opening,
        std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{frontmost}),
        clock,
        [this] {
            ++loadsStarted;
            if (fromLibrary)
                return QtFuture::makeReadyFuture(readLibrary());
            if (!deferLoads)
                return QtFuture::makeReadyFuture(GraphLibrary::derive(items, relations));
            pendingLoads.push_back(std::make_shared<QPromise<GraphLibrary>>());
            pendingLoads.back()->start();
            return pendingLoads.back()->future();
        }};
    GraphFilters& filters = model.filters();
    GraphSelection& selection = model.selection();
    GraphContent& content = model.content();
    GraphLayoutDriver& layout = model.layout();
    GraphNavigation& navigation = model.navigation();
    GraphLoader& loader = model.loader();
    GraphActiveContext& activeContext = model.activeContext();
    GraphCommands& commands = model.commands();

    void load(QList<LinkItem> newItems, QList<LinkRelation> newRelations = {})
    {
        items = std::move(newItems);
        relations = std::move(newRelations);
        loader.reload();
    }

    // Saves the links and relations in the library, from which every later load reads.
    void save(const QList<LinkItem>& newItems, const QList<LinkRelation>& newRelations = {})
    {
        LinkStoreDatabase(*store)
            .run([&](SQLiteStore& sqlite) {
                for (const LinkItem& item : newItems) {
                    sqlite.writes().insertLink(item);
                    sqlite.writes().replaceTags(item.tags, item.id);
                }
                for (const LinkRelation& relation : newRelations)
                    sqlite.writes().addRelation(relation.fromLinkID, relation.toLinkID);
            })
            .waitForFinished();
        fromLibrary = true;
        loader.reload();
    }

    GraphLibrary readLibrary() const
    {
        return LinkStoreDatabase(*store)
            .run([](SQLiteStore& sqlite) {
                return GraphLibrary::derive(sqlite.reads().allLinks(), sqlite.reads().allRelations());
            })
            .result();
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
        return layout.placements().positionOf(id).value_or(QPointF(qQNaN(), qQNaN()));
    }

    QStringList shownTitles() const
    {
        QStringList titles;
        for (const GraphNode& node : content.nodes())
            titles.append(node.title);
        return titles;
    }
};

} // namespace morvane::test
