#include "../GraphTestSupport.h"
#include "desktop/DeleteConfirmationOverlay.h"
#include "desktop/PaintColors.h"
#include "graph/widgets/CanvasPointer.h"
#include "graph/widgets/GraphCanvas.h"
#include "graph/widgets/GraphPalette.h"
#include "graph/widgets/GraphToolbar.h"
#include "graph/widgets/GraphWindow.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

using namespace morvane;
using test::linkItem;
using test::relation;

namespace {

void mouse(QWidget* widget, QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void click(QWidget* widget, QPointF at)
{
    mouse(widget, QEvent::MouseButtonPress, at, Qt::LeftButton);
    mouse(widget, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

void drag(QWidget* widget, QPointF from, QPointF by)
{
    mouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (const double part : {0.05, 0.5, 1.0})
        mouse(widget, QEvent::MouseMove, from + by * part, Qt::LeftButton);
    mouse(widget, QEvent::MouseButtonRelease, from + by, Qt::NoButton);
}

void pinch(QWidget* widget, Qt::NativeGestureType type, double value)
{
    const QPointF at(40, 40);
    QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, at, at,
                              widget->mapToGlobal(at), value, QPointF());
    QApplication::sendEvent(widget, &event);
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 30 && std::abs(a.green() - b.green()) < 30 &&
           std::abs(a.blue() - b.blue()) < 30;
}

// A shown Graph window over the fixture's library.
struct WindowFixture : test::GraphFixture {
    GraphWindow window{model, nullptr};

    GraphCanvas& canvas() { return *window.canvas(); }
    void show()
    {
        window.present();
        QCoreApplication::processEvents();
    }
    QPointF screenOf(const QUuid& id)
    {
        return canvas().viewport().toScreen(positionOf(id), canvas().size());
    }
    QImage frame() { return canvas().grab().toImage(); }
};

} // namespace

TEST(CanvasPointerTests, APressIsAClickUntilItTravelsItsDistance)
{
    test::GraphFixture fx;
    const LinkItem a = linkItem("A"), b = linkItem("B");
    fx.load({a, b});
    GraphViewport viewport{0.5, {}};
    CanvasPointer pointer(fx.model, viewport);
    const QPointF start = fx.positionOf(a.id);

    // On a node: under 2 pixels it is a click that selects, from 2 on a move in layout units.
    pointer.press({10, 10}, a.id);
    EXPECT_FALSE(pointer.move({11.9, 10}));
    pointer.release();
    EXPECT_EQ(fx.selection.selectedNodeID(), a.id);
    EXPECT_EQ(fx.positionOf(a.id), start);

    pointer.press({10, 10}, b.id);
    EXPECT_TRUE(pointer.move({12, 10}));
    pointer.move({110, 10});
    EXPECT_EQ(fx.layout.draggingNodeID(), b.id);
    pointer.release();
    EXPECT_EQ(fx.selection.selectedNodeID(), a.id) << "a drag is no click";
    EXPECT_TRUE(fx.layout.userPositionedNodeIDs().contains(b.id));
    const QPointF dropped = fx.positionOf(b.id);
    viewport.scale = 2.0;
    pointer.press({0, 0}, b.id);
    pointer.move({100, 0});
    pointer.release();
    EXPECT_EQ(fx.positionOf(b.id) - dropped, QPointF(50, 0)) << "the next drag starts where it was left";

    // On empty canvas: under 3 pixels nothing pans; beyond, the view follows one to one at any zoom.
    pointer.press({50, 50}, std::nullopt);
    EXPECT_FALSE(pointer.move({52.9, 50}));
    EXPECT_TRUE(pointer.move({53, 50}));
    pointer.move({150, 50});
    pointer.release();
    EXPECT_EQ(viewport.pan, QPointF(100, 0));
    pointer.press({0, 0}, std::nullopt);
    pointer.move({0, -20});
    pointer.release();
    EXPECT_EQ(viewport.pan, QPointF(100, -20));

    // A double click opens the node its first click hit, though that click moved the view away.
    pointer.press({0, 0}, b.id);
    pointer.release();
    pointer.doubleClick({0, 0}, std::nullopt);
    pointer.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fx.opener->opened.isEmpty(); }, 5000));
    ASSERT_EQ(fx.opener->opened.size(), 1);
    EXPECT_EQ(fx.opener->opened[0].id, b.id);
}

TEST(CanvasPointerTests, APinchScalesFromWhereItBeganWithinTheLimits)
{
    test::GraphFixture fx;
    GraphViewport viewport{2.5, {7, 9}};
    CanvasPointer pointer(fx.model, viewport);
    pointer.magnify(2);
    EXPECT_EQ(viewport.scale, 3.0);
    pointer.magnify(1);
    EXPECT_EQ(viewport.scale, 2.5);
    pointer.endMagnification();
    pointer.magnify(0.001);
    EXPECT_EQ(viewport.scale, GraphViewport::fitMinScale);
    EXPECT_EQ(viewport.pan, QPointF(7, 9));
}

TEST(GraphInteractionTests, AClickedNodeGetsTheRingAndComesToTheCentre)
{
    WindowFixture fx;
    const LinkItem a = linkItem("A"), b = linkItem("B");
    fx.load({a, b}, {relation(a, b)});
    fx.show();
    const QColor accent = paintColor(GraphPalette::accent, nullptr);
    // Just inside the edge of the 24-pixel disc of a node with one relation, where the ring runs.
    const QPointF ring(10, 0);
    const QPointF at = fx.screenOf(a.id);
    EXPECT_FALSE(near(fx.frame().pixelColor((at + ring).toPoint()), accent));

    click(&fx.canvas(), at);
    QCoreApplication::processEvents();
    EXPECT_EQ(fx.selection.selectedNodeID(), a.id);
    EXPECT_TRUE(near(fx.frame().pixelColor((at + ring).toPoint()), accent));

    for (int step = 0; step < 300 && fx.layout.animatingCenterNodeID(); ++step)
        fx.layout.step();
    const QPointF centre(fx.canvas().width() / 2.0, fx.canvas().height() / 2.0);
    EXPECT_LT(QLineF(fx.screenOf(a.id), centre).length(), 1.5);
    EXPECT_TRUE(near(fx.frame().pixelColor((centre + ring).toPoint()), accent));
}

TEST(GraphInteractionTests, DraggingTheCanvasMovesTheDrawingAndZoomingKeepsTheOrigin)
{
    WindowFixture fx;
    const LinkItem a = linkItem("A"), b = linkItem("B");
    fx.load({a, b}, {relation(a, b)});
    fx.show();
    const QRect around = QRectF(fx.screenOf(a.id) - QPointF(30, 30), QSizeF(60, 60)).toRect();
    const QImage before = fx.frame();

    drag(&fx.canvas(), QPointF(fx.canvas().width() / 2.0, fx.canvas().height() / 2.0 + 120), QPointF(100, 0));
    const QImage after = fx.frame();
    EXPECT_EQ(after.copy(around.translated(100, 0)), before.copy(around));
    EXPECT_NE(after.copy(around), before.copy(around));
    EXPECT_FALSE(fx.selection.selectedNodeID());

    // Ctrl with the wheel zooms one step per notch, about the drawn origin wherever the pointer is.
    const QPointF pan = fx.canvas().viewport().pan;
    QWheelEvent wheel(QPointF(30, 30), fx.canvas().mapToGlobal(QPointF(30, 30)), {}, QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&fx.canvas(), &wheel);
    EXPECT_NEAR(fx.canvas().viewport().scale, 1.18, 1e-9);
    EXPECT_EQ(fx.canvas().viewport().pan, pan);

    pinch(&fx.canvas(), Qt::BeginNativeGesture, 0);
    pinch(&fx.canvas(), Qt::ZoomNativeGesture, 0.5);
    pinch(&fx.canvas(), Qt::ZoomNativeGesture, 1.0);
    EXPECT_NEAR(fx.canvas().viewport().scale, 3.0, 1e-9);
    pinch(&fx.canvas(), Qt::EndNativeGesture, 0);
    EXPECT_EQ(fx.canvas().viewport().pan, pan);
}

TEST(GraphInteractionTests, ADroppedNodeStaysPutThroughTheToolbarReload)
{
    WindowFixture fx;
    const LinkItem a = linkItem("A"), b = linkItem("B"), c = linkItem("C");
    fx.load({a, b, c}, {relation(a, b), relation(b, c)});
    int reloadRequests = 0;
    QObject::connect(&fx.window, &GraphWindow::reloadRequested, [&] { ++reloadRequests; });
    fx.show();
    const QPointF start = fx.positionOf(a.id);
    drag(&fx.canvas(), fx.screenOf(a.id), QPointF(60, 40));
    EXPECT_EQ(fx.positionOf(a.id), start + QPointF(60, 40));

    QToolButton* reload = nullptr;
    for (auto* button : fx.window.toolbar()->findChildren<GraphToolbarButton*>())
        if (button->accessibleName() == QStringLiteral("Sync and Reload Graph"))
            reload = button;
    ASSERT_TRUE(reload);
    EXPECT_EQ(reload->focusPolicy(), Qt::NoFocus);
    const int loads = fx.loadsStarted;
    reload->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(reloadRequests, 1);
    EXPECT_EQ(fx.loadsStarted, loads + 1);
    for (int step = 0; step < 30; ++step)
        fx.layout.step();
    EXPECT_EQ(fx.positionOf(a.id), start + QPointF(60, 40));
}

TEST(GraphInteractionTests, ANodeTellsItsHealthAndItsMenuRemovesARelationAfterConfirmation)
{
    WindowFixture fx;
    const LinkItem a = linkItem("A"), b = linkItem("B"), c = linkItem("C");
    fx.save({a, b, c}, {relation(a, b)});
    fx.show();
    ASSERT_EQ(fx.content.edges().size(), 1);

    QContextMenuEvent onEmpty(QContextMenuEvent::Mouse, QPoint(5, 5), fx.canvas().mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&fx.canvas(), &onEmpty);
    EXPECT_FALSE(fx.canvas().findChild<QMenu*>()) << "empty canvas has no menu";

    const QPoint at = fx.screenOf(b.id).toPoint();
    QHelpEvent help(QEvent::ToolTip, at, fx.canvas().mapToGlobal(at));
    QApplication::sendEvent(&fx.canvas(), &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Weak link: one relation"));

    QContextMenuEvent onNode(QContextMenuEvent::Mouse, at, fx.canvas().mapToGlobal(at));
    QApplication::sendEvent(&fx.canvas(), &onNode);
    auto* menu = fx.canvas().findChild<QMenu*>();
    ASSERT_TRUE(menu);
    QAction* remove = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == QStringLiteral("Remove Relation"))
            remove = action;
    ASSERT_TRUE(remove && remove->menu());
    ASSERT_EQ(remove->menu()->actions().size(), 1);
    EXPECT_EQ(remove->menu()->actions()[0]->text(), QStringLiteral("A"));
    remove->menu()->actions()[0]->trigger();
    menu->close();
    EXPECT_EQ(fx.selection.selectedNodeID(), b.id);

    auto* overlay = fx.window.findChild<DeleteConfirmationOverlay*>();
    ASSERT_TRUE(overlay);
    QPushButton* confirm = nullptr;
    for (QPushButton* button : overlay->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Delete"))
            confirm = button;
    ASSERT_TRUE(confirm);
    confirm->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fx.readLibrary().relations.isEmpty(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return fx.content.edges().isEmpty(); }, 5000));
}

// A frame keeps no share of the model's nodes nor of their places (the layout's next step would copy
// them all to move them), and still sees every move made in place: the edges follow a node moved
// without a rebuild.
TEST(GraphInteractionTests, AFrameSharesNoNodesAndFollowsMovesInPlace)
{
    WindowFixture fx;
    const LinkItem a = linkItem("A"), b = linkItem("B");
    fx.load({a, b}, {relation(a, b)});
    fx.show();
    const auto place = [&](QPointF atA) {
        for (const auto& [id, at] : {std::pair(a.id, atA), std::pair(b.id, QPointF(250, 0))}) {
            fx.layout.dragNode(id, at);
            fx.layout.endDrag(id);
        }
    };
    place({-250, 0});
    const QImage before = fx.frame();
    EXPECT_TRUE(fx.content.nodes().isDetached());
    EXPECT_TRUE(fx.layout.placements().all().isDetached());

    const QPoint midway = fx.canvas().viewport().toScreen({0, 0}, fx.canvas().size()).toPoint();
    const QRect onTheEdge(midway - QPoint(3, 3), QSize(7, 7));
    place({-250, 200});
    EXPECT_NE(fx.frame().copy(onTheEdge), before.copy(onTheEdge));
    place({-250, 0});
    EXPECT_EQ(fx.frame().copy(onTheEdge), before.copy(onTheEdge));
}
