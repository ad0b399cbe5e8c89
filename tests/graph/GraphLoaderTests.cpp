#include "GraphTestSupport.h"
#include "library/StoreError.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using test::settle;
using test::titledItems;

TEST(GraphLoaderTests, LoadsTheStoreAndFollowsItsChanges)
{
    test::GraphFixture fx;
    GraphViewModel model(
        *fx.store, fx.pool, fx.opening,
        std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{}), fx.clock);
    model.loader().reload();
    ASSERT_TRUE(settle([&] { return model.content().message() != QStringLiteral("Loading graph..."); }));
    EXPECT_EQ(model.content().message(),
              QStringLiteral("No links yet. Add links and relations to grow the graph."));

    model.loader().startObservingStore();
    model.loader().startObservingStore();
    const LinkItem one = fx.store->addLink("One", "https://example.com/1", {}, "x").result();
    const LinkItem two = fx.store->addLink("Two", "https://example.com/2", {}, {}).result();
    ASSERT_TRUE(settle([&] { return model.content().nodes().size() == 2; }));
    fx.store->addRelation(one.id, two.id).waitForFinished();
    fx.store->notifyDidMutate(false);
    ASSERT_TRUE(settle([&] { return model.content().library().relations.size() == 1; }));
    EXPECT_EQ(model.content().library().degreeByID.value(one.id), 1);
    EXPECT_EQ(model.content().edges().size(), 1);
    EXPECT_EQ(model.content().message(), QStringLiteral("2 of 2 links, 1 relations, 0 suggestions"));
}

TEST(GraphLoaderTests, NewestLoadWinsAndAFailedLoadKeepsTheGraph)
{
    test::GraphFixture fx;
    fx.deferLoads = true;
    fx.loader.reload();
    fx.loader.reload();
    fx.finishLoad(1, titledItems(2));
    fx.finishLoad(0, titledItems(5));
    EXPECT_EQ(fx.content.nodes().size(), 2);
    EXPECT_EQ(fx.content.message(), QStringLiteral("2 of 2 links, 0 relations, 0 suggestions"));

    // A load asked for without a message while one with a message is on its way carries it on.
    fx.loader.reload(QStringLiteral("Deleted."));
    fx.loader.reload();
    fx.finishLoad(3, titledItems(3));
    fx.finishLoad(2, titledItems(4));
    EXPECT_EQ(fx.content.message(), QStringLiteral("Deleted."));
    EXPECT_EQ(fx.content.nodes().size(), 3);
    fx.loader.reload();
    fx.pendingLoads[4]->setException(
        std::make_exception_ptr(StoreError(StoreError::Kind::step, "disk I/O error")));
    fx.pendingLoads[4]->finish();
    ASSERT_TRUE(settle([&] { return fx.content.message().contains("disk I/O error"); }));
    EXPECT_EQ(fx.content.nodes().size(), 3);
}
