#include "../../desktop/DesktopTestSupport.h"
#include "desktop/SharedColors.h"
#include "graph/widgets/GraphPalette.h"
#include "graph/widgets/GraphRenderer.h"
#include "graph/widgets/NodeCardStyle.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace morvane {
namespace {

const QSizeF canvas(400, 300);

TEST(GraphViewportTests, MapsLayoutToScreenAndBackAtAnyZoomAndPan)
{
    for (const double scale : {0.3, 1.0, 2.5}) {
        const GraphViewport viewport{scale, QPointF(-30, 12)};
        const QPointF layout(17, -40);
        const QPointF screen = viewport.toScreen(layout, canvas);
        EXPECT_DOUBLE_EQ(screen.x(), 200 - 30 + 17 * scale);
        EXPECT_DOUBLE_EQ(screen.y(), 150 + 12 - 40 * scale);
        const QPointF back = viewport.toLayout(screen, canvas);
        EXPECT_NEAR(back.x(), layout.x(), 1e-9);
        EXPECT_NEAR(back.y(), layout.y(), 1e-9);
    }
    GraphViewport centred{2.0, {}};
    centred.centreOn(QPointF(10, -5));
    EXPECT_EQ(centred.toScreen(QPointF(10, -5), canvas), QPointF(200, 150));
}

// Cards stop shrinking and growing before the zoom does.
TEST(GraphViewportTests, ZoomStaysWithinItsLimitsCardsWithinTheirsAndTheGridGoesWhenTooDense)
{
    GraphViewport viewport{3.0, {}};
    viewport.zoomBy(1.18);
    EXPECT_EQ(viewport.scale, 3.0);
    EXPECT_DOUBLE_EQ(viewport.cardScale(), 1.8);
    // Zooming out goes as far as a fit of the largest graph does.
    viewport.scale = GraphViewport::fitMinScale;
    viewport.zoomBy(0.85);
    EXPECT_EQ(viewport.scale, GraphViewport::fitMinScale);
    EXPECT_DOUBLE_EQ(viewport.cardScale(), 0.45);
    viewport.scale = 0.3;
    EXPECT_GT(viewport.gridSpacing(), 12);
    viewport.scale = 0.25; // spacing exactly 12: too dense
    EXPECT_EQ(viewport.gridSpacing(), 0);
}

GraphNode node(int degree = 2, NodeHealth health = NodeHealth::connected)
{
    return {QUuid::createUuid(), QStringLiteral("Node"), LinkType::web, degree, health};
}

GraphEdge edge(const GraphNode& a, const GraphNode& b, bool suggestion = false)
{
    return {QUuid::createUuid(), a.id, b.id,
            suggestion ? GraphEdgeKind::suggestion(QStringLiteral("Same tag")) : GraphEdgeKind::relation()};
}

TEST(GraphSceneTests, EdgeStyleFollowsTheFirstMatchingRowAndChipsOnlyNameVisibleSuggestions)
{
    const auto a = node(), b = node(), c = node(), d = node();
    GraphScene scene;
    scene.nodes = {a, b, c, d};
    const auto plain = edge(c, d), toSelected = edge(a, c), preview = edge(a, b),
               suggested = edge(a, d, true), neighbour = edge(b, c);
    EXPECT_EQ(scene.edgeStyle(plain), EdgeStyle::relation);
    EXPECT_FALSE(scene.showsChip(suggested));
    scene.scope = GraphScope::suggestions;
    EXPECT_TRUE(scene.showsChip(suggested));
    EXPECT_FALSE(scene.showsChip(plain));
    scene.scope = GraphScope::all;

    scene.selectedNodeID = a.id;
    scene.previewEdgeID = preview.id;
    scene.keyboardFocusID = b.id;
    scene.keyboardNeighbors = {c.id};
    EXPECT_EQ(scene.edgeStyle(toSelected), EdgeStyle::highlight);
    EXPECT_EQ(scene.edgeStyle(preview), EdgeStyle::preview);
    EXPECT_EQ(scene.edgeStyle(suggested), EdgeStyle::suggestion);
    EXPECT_TRUE(scene.showsChip(suggested));
    // One neighbour is no ring of neighbours to tell apart.
    EXPECT_EQ(scene.edgeStyle(neighbour), EdgeStyle::relation);
    scene.keyboardNeighbors = {c.id, a.id};
    EXPECT_EQ(scene.edgeStyle(neighbour), EdgeStyle::neighbor);
}

TEST(NodeCardStyleTests, SizeFollowsDegreeAndLookFollowsHealthAndState)
{
    const auto smallest = NodeCardStyle::of(node(0, NodeHealth::orphan), {});
    const auto largest = NodeCardStyle::of(node(9), {});
    EXPECT_LT(smallest.discSize, largest.discSize);
    EXPECT_EQ(smallest.badge, GraphPalette::orphan);
    EXPECT_FALSE(largest.badge);
    EXPECT_EQ(NodeCardStyle::of(node(1, NodeHealth::weak), {}).badge, GraphPalette::weak);

    // The keyboard anchor's ring wins over the selection's, and only a selection fills the chip.
    const auto anchorOnly = NodeCardStyle::of(node(), {.isKeyboardNavigationAnchor = true});
    EXPECT_EQ(anchorOnly.ring, GraphPalette::keyboardFocus);
    EXPECT_FALSE(anchorOnly.highlighted || anchorOnly.chipFill);
    const auto selectedAnchor =
        NodeCardStyle::of(node(), {.isSelected = true, .isKeyboardNavigationAnchor = true});
    EXPECT_EQ(selectedAnchor.ring, GraphPalette::keyboardFocus);
    EXPECT_EQ(selectedAnchor.chipFill, GraphPalette::accentSoft);
    EXPECT_TRUE(selectedAnchor.highlighted);

    const auto green = systemColor(SystemColor::green);
    const auto linking = NodeCardStyle::of(node(), {.isActive = true, .isLinkingSource = true});
    EXPECT_EQ(linking.ring, green);
    EXPECT_EQ(linking.chipFill, green.withOpacity(0.22));
    EXPECT_NE(NodeCardStyle::of(node(), {.isSelected = true}).key(), NodeCardStyle::of(node(), {}).key());
}

// Renders a scene offscreen.
QImage render(const GraphScene& scene, const GraphViewport& viewport,
              Appearance appearance = Appearance::light)
{
    const auto service = test::appearanceService(appearance);
    GraphRenderer renderer(service.get());
    QImage image(canvas.toSize(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    renderer.paint(painter, canvas, scene, viewport);
    return image;
}

TEST(GraphRendererTests, DrawsTheGridOnlyWhenItsSpacingAllows)
{
    GraphScene scene;
    scene.nodes = {node()};
    scene.places = {{QPointF(-1000, -1000), {}}}; // off the canvas
    // A grid line passes through the layout origin at the centre; away from it the background.
    const auto lineShade = [&](double scale) {
        const QImage image = render(scene, {scale, {}});
        return qAbs(image.pixelColor(200, 40).lightness() - image.pixelColor(200 + 7, 40).lightness());
    };
    EXPECT_GT(lineShade(1.0), 2);
    EXPECT_LE(lineShade(0.25), 1);
}

// An edge between two nodes off the canvas on either side crosses it; one renderer draws the frames
// in turn, as the window does, so what it keeps between frames must follow the scene.
TEST(GraphRendererTests, EdgesFollowTheirNodesWhereverTheNodesAre)
{
    GraphScene scene;
    scene.nodes = {node(), node(), node()};
    scene.places = {{QPointF(-1000, -500), {}}, {QPointF(1000, 500), {}}, {QPointF(1000, -500), {}}};
    scene.edges = {edge(scene.nodes[0], scene.nodes[1])};
    const auto service = test::appearanceService(Appearance::light);
    GraphRenderer renderer(service.get());
    QImage image(canvas.toSize(), QImage::Format_ARGB32_Premultiplied);
    const auto frame = [&](const GraphScene& shown) {
        QPainter painter(&image);
        renderer.paint(painter, canvas, shown, {});
        painter.end();
        // On the line through the centre, away from the grid; beside it, the background.
        return std::pair{image.pixelColor(120, 110).lightness(), image.pixelColor(120, 125).lightness()};
    };
    const auto crossed = [](std::pair<int, int> shades) { return shades.first < shades.second - 10; };
    EXPECT_TRUE(crossed(frame(scene)));
    // The same nodes in another order: the edge still joins the same two.
    GraphScene reordered = scene;
    std::swap(reordered.nodes[1], reordered.nodes[2]);
    std::swap(reordered.places[1], reordered.places[2]);
    EXPECT_TRUE(crossed(frame(reordered)));
    reordered.places[2].position = QPointF(1000, 700); // moved: the line leaves (120, 110)
    EXPECT_FALSE(crossed(frame(reordered)));
    GraphScene without = scene;
    without.edges.clear();
    EXPECT_FALSE(crossed(frame(without)));
}

// Enough cards to be laid on by several threads, each its own band of rows: a card across the border
// of two bands is drawn once, whole, like every other.
TEST(GraphRendererTests, CardsLookTheSameWhereverTheBandsOfRowsFall)
{
    const QSize size(600, 400);
    const GraphViewport viewport{0.25, {}}; // too far out for the grid and the titles
    GraphScene scene;
    QList<QPoint> places;
    // Above the keyboard hint and the legend.
    for (int y = 13; y < size.height() - 70; y += 26) {
        for (int x = 13; x < size.width() - 13; x += 26) {
            places.append(QPoint(x, y));
            scene.nodes.append(node());
            scene.places.append({viewport.toLayout(QPointF(x, y), QSizeF(size)), {}});
        }
    }
    ASSERT_GT(places.size(), 250);
    GraphScene none;
    none.nodes = {node()};
    none.places = {{QPointF(1e6, 1e6), {}}};
    const auto render = [&](const GraphScene& shown) {
        GraphRenderer renderer;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        renderer.paint(painter, QSizeF(size), shown, viewport);
        return image;
    };
    const QImage cards = render(scene);
    const QImage background = render(none);
    // What a card adds to the background, all the way round.
    const auto patch = [&](QPoint centre) {
        QList<int> added;
        for (int y = -12; y <= 12; ++y) {
            for (int x = -12; x <= 12; ++x) {
                const QRgb a = cards.pixel(centre + QPoint(x, y));
                const QRgb b = background.pixel(centre + QPoint(x, y));
                added << qRed(a) - qRed(b) << qGreen(a) - qGreen(b) << qBlue(a) - qBlue(b);
            }
        }
        return added;
    };
    // Each card beside the one above it, where the background's gradient has barely changed.
    const qsizetype perRow =
        std::count_if(places.begin(), places.end(), [](QPoint p) { return p.y() == 13; });
    int worst = 0;
    for (qsizetype i = perRow; i < places.size(); ++i) {
        const auto added = patch(places[i]);
        const auto above = patch(places[i - perRow]);
        for (qsizetype k = 0; k < added.size(); ++k)
            worst = std::max(worst, std::abs(added[k] - above[k]));
    }
    EXPECT_LE(worst, 3);
}

// The selection ring's colour is checked on the shown window; here only the appearance.
TEST(GraphRendererTests, TheBackgroundFollowsTheAppearance)
{
    GraphScene empty;
    EXPECT_GT(render(empty, {}, Appearance::light).pixelColor(2, 2).lightness(), 230);
    EXPECT_LT(render(empty, {}, Appearance::dark).pixelColor(2, 2).lightness(), 40);
}

} // namespace
} // namespace morvane
