#pragma once

#include "GraphScene.h"
#include "GraphViewport.h"
#include "LineRasterizer.h"

#include <QHash>
#include <QImage>
#include <QPair>
#include <QString>

#include <array>
#include <optional>
#include <utility>
#include <vector>

class QPainter;

namespace morvane {

class AppearanceService;
class GraphWorkPool;
struct NodeCardStyle;

// Draws a frame of the graph, back to front: background, grid, edges, suggestion chips, node cards,
// the empty state, the keyboard hint and the legend. Cards are painted once per look and title and
// reused from a cache while the layout only moves them; edges go out as one batch per stroke style,
// their end nodes looked up only when the graph changes, not when its nodes move.
// A frame paints only so many new cards: the rest show their disc alone until a later frame, so a
// view full of cards never seen before (a large library, a new zoom) cannot hold the window up.
// Only what lies in view is drawn; background, grid and edges are kept from the last frame while
// nothing they show has changed; zoomed far out, plain nodes are drawn as their disc without a title.
class GraphRenderer {
public:
    // Below this zoom plain nodes lose their titles; marked ones (selected, active, centred, link
    // source, keyboard anchor) keep them.
    static constexpr double titlesFromScale = 0.6;
    static bool drawsTitle(const GraphViewport& viewport, const NodeCardFlags& flags)
    {
        return viewport.scale >= titlesFromScale || !(flags == NodeCardFlags{});
    }

    // Edges and cards are drawn in bands of rows on the pool and the calling thread; without a pool,
    // on the calling thread alone.
    explicit GraphRenderer(const AppearanceService* appearance = nullptr, GraphWorkPool* pool = nullptr);

    void paint(QPainter& painter, QSizeF canvas, const GraphScene& scene, const GraphViewport& viewport);

private:
    // Background, grid and edges into m_layer, unless what they show is what the layer holds.
    void updateEdgeEnds(const GraphScene& scene);
    void paintLayer(QSizeF canvas, const GraphScene& scene, const GraphViewport& viewport, double ratio);
    void paintBackground();
    void paintGrid(QSizeF canvas, const GraphViewport& viewport, double ratio);
    void paintEdges(QSizeF canvas, const GraphScene& scene, double ratio);
    void paintChips(QPainter& painter, QSizeF canvas, const GraphScene& scene) const;
    void placeNodes(QSizeF canvas, const GraphScene& scene, const GraphViewport& viewport);
    void composeFrame(QSizeF canvas, const GraphScene& scene, double ratio);
    void paintEmptyState(QPainter& painter, QSizeF canvas) const;
    void paintHint(QPainter& painter, QSizeF canvas) const;
    void paintLegend(QPainter& painter, QSizeF canvas, const GraphScene& scene) const;

    // A painted card and the place of its disc centre in the image.
    struct Card {
        QImage image;
        QPointF origin;
        quint64 drawnInFrame = 0;
    };
    static Card paintCard(const NodeCardStyle& style, const QString& title, double cardScale,
                          const AppearanceService* appearance);
    void startCardFrame(double cardScale);
    const Card& card(const GraphNode& node, const NodeCardFlags& flags, double cardScale);
    // The card's disc alone, without its title.
    const Card& disc(const GraphNode& node, const NodeCardFlags& flags, double cardScale);

    const AppearanceService* m_appearance;
    GraphWorkPool* m_pool;
    // Dropped when the look or the zoom of the cards changes.
    QHash<QPair<quint64, QString>, Card> m_cards;
    qsizetype m_cardBytes = 0;
    // Cards without their title, by look, for those not painted yet.
    QHash<quint64, Card> m_discs;
    quint64 m_frame = 0;
    int m_newCardsLeft = 0;
    // Background, grid and edges of the frame, and what they were drawn from.
    QImage m_layer;
    // The layer with chips and cards laid on.
    QImage m_composed;
    // The cards of the frame and where they go, in drawing order.
    struct Placed {
        QImage image;
        QPointF at;
    };
    std::vector<Placed> m_placed;
    LineRasterizer m_lines;
    std::array<QList<QLineF>, 5> m_edgeBatches;
    // Where each node of the frame is on the canvas.
    std::vector<QPointF> m_screen;
    // Each edge's end nodes by their place in the node list (-1 for a node not in it) and its
    // stroke, and the scene they were found in.
    struct EdgeEnds {
        GraphScene source;
        QList<QUuid> nodeIds;
        std::vector<std::pair<qsizetype, qsizetype>> ends;
        std::vector<EdgeStyle> styles;
    };
    EdgeEnds m_edgeEnds;
    struct LayerSource {
        GraphScene scene;
        GraphViewport viewport;
        QSizeF canvas;
        double ratio = 0;
        int appearance = -1;
    };
    std::optional<LayerSource> m_layerSource;
    double m_cardsScale = 0;
    int m_cardsAppearance = -1;
};

} // namespace morvane
