#include "GraphTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using test::relation;
using test::webLink;

// A centre with neighbours left, up, right and down; E leads on to F.
TEST(GraphNavigationTests, KeyboardWalksRelationsClockwise)
{
    test::GraphFixture fx;
    const LinkItem o = webLink("O"), w = webLink("W"), n = webLink("N"), e = webLink("E"), s = webLink("S"),
                   f = webLink("F");
    fx.load({s, e, n, w, o, f},
            {relation(o, s), relation(e, o), relation(o, n), relation(o, w), relation(w, o), relation(e, f)});
    for (const auto& [id, place] : {std::pair{o.id, QPointF(0, 0)},
                                    {w.id, {-100, 0}},
                                    {n.id, {0, -100}},
                                    {e.id, {100, 0}},
                                    {s.id, {0, 100}},
                                    {f.id, {200, 0}}}) {
        fx.layout.dragNode(id, place);
        fx.layout.endDrag(id);
    }
    EXPECT_EQ(fx.navigation.orderedNeighborIDs(o.id), QList<QUuid>({w.id, n.id, e.id, s.id}));

    fx.navigation.centerOnNode(o.id, false);
    fx.navigation.previewNeighbor(false);
    EXPECT_EQ(fx.navigation.previewedNeighborID(), n.id) << "first Right previews the second";
    fx.navigation.previewNeighbor(true);
    fx.navigation.previewNeighbor(true);
    EXPECT_EQ(fx.navigation.previewedNeighborID(), s.id) << "wraps around";
    fx.navigation.previewNeighbor(true);
    fx.navigation.followPreviewedRelation();
    EXPECT_EQ(fx.selection.selectedNodeID(), e.id);
    EXPECT_EQ(fx.navigation.previewedNeighborID(), o.id) << "the way back is previewed";
    fx.navigation.navigateBack();
    EXPECT_EQ(fx.navigation.keyboardRelationNavigation()->focusNodeID, o.id);
    EXPECT_EQ(fx.navigation.previewedNeighborID(), e.id);
    EXPECT_TRUE(fx.navigation.keyboardPreviewEdge()->joins(o.id, e.id));
    fx.navigation.navigateBack();
    EXPECT_EQ(fx.navigation.keyboardRelationNavigation()->focusNodeID, o.id) << "nothing to go back to";
}
