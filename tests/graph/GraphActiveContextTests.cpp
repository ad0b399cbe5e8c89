#include "GraphTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using test::relation;
using test::settle;
using test::webLink;

// The link in front of the user becomes the active node; it is selected and centred only when the
// user has selected nothing, and the graph keeps following the last link seen.
TEST(GraphActiveContextTests, FocusFollowsTheItemInFront)
{
    test::GraphFixture fx;
    const LinkItem a = webLink("A"), b = webLink("B"), c = webLink("C");
    fx.save({a, b, c});
    const auto front = [&](const QString& locator) {
        fx.frontmost->answer = {{CapturedContext{QStringLiteral("T"), locator, LinkType::web, {}, {}}}, {}};
    };
    const auto capture = [&](std::optional<QUuid> active) {
        fx.activeContext.capture();
        return settle([&] { return fx.selection.activeNodeID() == active; });
    };
    front(a.url);
    ASSERT_TRUE(capture(a.id));
    EXPECT_EQ(fx.selection.selectedNodeID(), a.id);
    EXPECT_EQ(fx.selection.centeredNodeID(), a.id);

    fx.navigation.centerOnNode(b.id, false);
    front(QStringLiteral("https://example.com/unsaved"));
    ASSERT_TRUE(capture(std::nullopt));
    front(c.url);
    ASSERT_TRUE(capture(c.id));
    fx.activeContext.applyLink(std::nullopt);
    fx.frontmost->answer = {};
    ASSERT_TRUE(capture(c.id)) << "the last link seen";
    EXPECT_EQ(fx.selection.selectedNodeID(), b.id);
}

// The look at the application in front runs every second on its own timer; one that finds what the
// last one found neither rebuilds the neighbourhood nor wakes the layout.
TEST(GraphActiveContextTests, ALookThatFindsTheSameItemChangesNothing)
{
    test::GraphFixture fx;
    const LinkItem a = webLink("A"), b = webLink("B"), c = webLink("C");
    fx.save({a, b, c}, {relation(a, b)});
    ASSERT_TRUE(settle([&] { return fx.content.nodes().size() == 3; }));
    const auto front = [&](const LinkItem& item) {
        fx.frontmost->answer = {{CapturedContext{QStringLiteral("T"), item.url, LinkType::web, {}, {}}}, {}};
        fx.clock->advance(GraphActiveContext::lookInterval);
    };
    fx.filters.setScope(GraphScope::currentNeighborhood);
    fx.layout.start();
    fx.activeContext.start();
    front(a);
    ASSERT_TRUE(
        settle([&] { return fx.selection.activeNodeID() == a.id && fx.content.nodes().size() == 2; }));
    for (int step = 0; step < 1000 && fx.layout.isRunning(); ++step)
        fx.clock->advance(GraphLayoutDriver::stepInterval);
    ASSERT_FALSE(fx.layout.isRunning());

    QSignalSpy rebuilds(&fx.content, &GraphContent::edgesChanged);
    QSignalSpy marks(&fx.selection, &GraphSelection::activeNodeIDChanged);
    front(a);
    // The lookup is answered on the store thread, then applied here.
    LinkStoreDatabase(*fx.store).run([](SQLiteStore&) {}).waitForFinished();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(rebuilds.size(), 0);
    EXPECT_EQ(marks.size(), 0);
    EXPECT_FALSE(fx.layout.isRunning());

    front(c);
    ASSERT_TRUE(settle([&] { return fx.selection.activeNodeID() == c.id; }));
    EXPECT_GT(rebuilds.size(), 0);
    EXPECT_EQ(fx.shownTitles(), QStringList{QStringLiteral("C")});
}
