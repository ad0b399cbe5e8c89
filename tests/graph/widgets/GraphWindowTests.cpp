#include "../GraphTestSupport.h"
#include "graph/widgets/GraphCanvas.h"
#include "graph/widgets/GraphToolbar.h"
#include "graph/widgets/GraphWindow.h"

#include <QScreen>
#include <QTest>

#include <random>

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(GraphWindowTests, RunsTheModelOnlyWhileShownAndTogglesWithTheShortcut)
{
    test::GraphFixture fx;
    GraphWindow window(fx.model, nullptr);
    int willShow = 0;
    QObject::connect(&window, &GraphWindow::willShow, [&] { ++willShow; });
    window.toggle();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Morvane Graph"));
    EXPECT_EQ(willShow, 1);
    EXPECT_TRUE(fx.layout.isRunning());
    EXPECT_TRUE(fx.loader.isObservingStore());

    window.toggle();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(fx.layout.isRunning());
    EXPECT_FALSE(fx.loader.isObservingStore());

    // Escape with nothing pending closes the window; the next show reuses it.
    window.present();
    QTest::keyClick(window.canvas(), Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
    window.present();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(willShow, 3);
}

TEST(GraphWindowTests, CentresOnWhereTheSelectedNodeIsGoing)
{
    test::GraphFixture fx;
    const auto a = test::linkItem(QStringLiteral("A")), b = test::linkItem(QStringLiteral("B"));
    fx.load({a, b}, {test::relation(a, b)});
    QCoreApplication::processEvents();
    ASSERT_EQ(fx.content.nodes().size(), 2);
    GraphCanvas canvas(fx.model, nullptr);
    canvas.zoomBy(2);
    const QPointF bAt = fx.positionOf(b.id);
    ASSERT_NE(bAt, QPointF());

    // Gliding to the origin: the view pans to the origin, not to where the node starts out.
    fx.navigation.centerOnNode(a.id, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(canvas.viewport().pan, QPointF());

    fx.navigation.centerOnNode(b.id, false);
    QCoreApplication::processEvents();
    EXPECT_EQ(canvas.viewport().pan, -bAt * 2);

    // Selecting the same node again leaves the view where the user put it.
    canvas.resetViewport();
    const QPointF after = canvas.viewport().pan;
    canvas.zoomBy(1.5);
    fx.navigation.centerOnNode(b.id, false);
    QCoreApplication::processEvents();
    EXPECT_EQ(canvas.viewport().pan, after);
}

// Steps the layout until it rests; false when it is still moving after a thousand steps.
bool runToRest(test::GraphFixture& fx)
{
    for (int step = 0; step < 1000 && fx.layout.isRunning(); ++step)
        fx.clock->advance(GraphLayoutDriver::stepInterval);
    return !fx.layout.isRunning();
}

// When the layout first comes to rest the whole graph is in view; a zoom the user chose is kept.
TEST(GraphWindowTests, FitsTheGraphInViewWhenTheLayoutFirstSettles)
{
    test::GraphFixture fx;
    QList<LinkItem> items;
    for (int i = 0; i < 60; ++i)
        items.append(test::linkItem(QStringLiteral("L%1").arg(i)));
    fx.load(items);
    QCoreApplication::processEvents();
    GraphCanvas canvas(fx.model, nullptr);
    canvas.resize(800, 600);
    canvas.show();
    ASSERT_TRUE(runToRest(fx));
    const double fitted = canvas.viewport().scale;
    EXPECT_LT(fitted, 1.0);
    for (const GraphNode& node : fx.content.nodes())
        EXPECT_TRUE(canvas.rect().contains(
            canvas.viewport().toScreen(fx.positionOf(node.id), canvas.size()).toPoint()))
            << node.title.toStdString();

    canvas.hide();
    canvas.zoomBy(GraphViewport::zoomInStep);
    const double chosen = canvas.viewport().scale;
    EXPECT_GT(chosen, fitted);
    canvas.show();
    ASSERT_TRUE(runToRest(fx));
    EXPECT_EQ(canvas.viewport().scale, chosen);
}

// A large library with many relations opens slowly: the layout rests on the empty graph long before
// it arrives. The fit waits for the loaded graph to rest, and then holds all of it; the user can zoom
// out as far as a fit goes.
TEST(GraphWindowTests, FitsALargeRelatedGraphThatArrivesAfterTheFirstRest)
{
    test::GraphFixture fx;
    fx.deferLoads = true;
    constexpr int links = 20000;
    QList<LinkItem> items;
    items.reserve(links);
    for (int i = 0; i < links; ++i)
        items.append(test::linkItem(QStringLiteral("Link %1").arg(i)));
    // Runs of related links as people make them, and some relations across the whole library.
    QList<LinkRelation> relations;
    std::mt19937 random(45);
    for (int i = 0; i + 1 < links && relations.size() < 12000; ++i) {
        if (i % 5 != 4)
            relations.append(test::relation(items[i], items[i + 1]));
    }
    while (relations.size() < 16500)
        relations.append(
            test::relation(items[qsizetype(random() % links)], items[qsizetype(random() % links)]));

    GraphCanvas canvas(fx.model, nullptr);
    canvas.resize(920, 640);
    canvas.show();
    ASSERT_TRUE(runToRest(fx));
    EXPECT_EQ(canvas.viewport().scale, 1.0);
    fx.finishLoad(0, items, relations);
    for (int i = 0; i < 600 && fx.loader.isLoading(); ++i)
        QTest::qWait(50);
    ASSERT_EQ(fx.content.nodes().size(), links);
    ASSERT_TRUE(runToRest(fx));

    const GraphViewport fitted = canvas.viewport();
    EXPECT_GE(fitted.scale, GraphViewport::fitMinScale);
    EXPECT_LT(fitted.scale, 0.3);
    int outside = 0;
    for (const GraphPlacement& place : fx.layout.placements().all())
        outside += !canvas.rect().contains(fitted.toScreen(place.position, canvas.size()).toPoint());
    EXPECT_EQ(outside, 0);

    canvas.resetViewport();
    for (int i = 0; i < 100; ++i)
        canvas.zoomBy(GraphViewport::zoomOutStep);
    EXPECT_EQ(canvas.viewport().scale, GraphViewport::fitMinScale);
}

// The test screen is smaller than the window's usual size: the whole window still lands on it.
TEST(GraphWindowTests, FitsOnAScreenSmallerThanItself)
{
    test::GraphFixture fx;
    GraphWindow window(fx.model, nullptr);
    const QRect room = window.screen()->availableGeometry();
    ASSERT_LT(room.width(), 920);
    window.present();
    EXPECT_TRUE(room.contains(window.frameGeometry()));
}

// A status longer than the room the toolbar leaves it ends in an ellipsis and is whole in its tooltip.
TEST(GraphWindowTests, LongStatusIsCutWithAnEllipsis)
{
    test::GraphFixture fx;
    const auto a = test::linkItem(QStringLiteral("A very long title ").repeated(8)), b = test::linkItem("B");
    fx.load({a, b}, {});
    GraphWindow window(fx.model, nullptr);
    window.present();
    fx.navigation.centerOnNode(a.id, false);
    fx.commands.beginLinkingFromSelection();
    QCoreApplication::processEvents();
    const auto* status = window.findChild<GraphStatusLine*>();
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->text().endsWith(QChar(0x2026))) << status->text().toStdString();
    EXPECT_TRUE(status->toolTip().contains(QStringLiteral("long title A very")));
}

// The canvas reaches every edge of the window below the toolbar: the last rows of what the window
// shows are the canvas's own, at the usual size and at sizes a small screen leaves it.
TEST(GraphWindowTests, TheCanvasReachesTheWindowsBottomEdge)
{
    test::GraphFixture fx;
    const auto a = test::linkItem(QStringLiteral("A")), b = test::linkItem(QStringLiteral("B"));
    fx.load({a, b}, {test::relation(a, b)});
    GraphWindow window(fx.model, nullptr);
    window.present();
    for (const QSize size : {QSize(920, 640), QSize(701, 503), QSize(640, 481)}) {
        window.resize(size);
        QCoreApplication::processEvents();
        const QRect canvas = window.canvas()->geometry();
        EXPECT_EQ(canvas.bottom(), window.height() - 1) << size.width() << "x" << size.height();
        EXPECT_EQ(canvas.left(), 0);
        EXPECT_EQ(canvas.right(), window.width() - 1);
        const QImage shown = window.grab().toImage();
        const QImage own = window.canvas()->grab().toImage();
        const int rows = 3;
        EXPECT_EQ(shown.copy(0, shown.height() - rows, shown.width(), rows),
                  own.copy(0, own.height() - rows, own.width(), rows))
            << size.width() << "x" << size.height();
    }
}

} // namespace
} // namespace morvane
