#include "GraphTestSupport.h"
#include "graph/GraphKeyMap.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using test::linkItem;
using test::relation;
using test::settle;

namespace {

LinkItem web(const QString& title, const QStringList& tags = {})
{
    return linkItem(title, LinkType::web, QStringLiteral("https://%1.example/").arg(title), tags);
}

int edgesBetween(const GraphViewModel& model, const QUuid& a, const QUuid& b)
{
    return int(std::count_if(model.edges().begin(), model.edges().end(),
                             [&](const GraphEdge& edge) { return edge.joins(a, b); }));
}

} // namespace

// Relations made by link mode and by an accepted suggestion are drawn in place, and the announcement
// each write sends does not load the graph over its message, also for two writes in a row.
TEST(GraphCommandTests, RelationsMadeInTheGraph)
{
    test::GraphFixture fx;
    const LinkItem a = web("A"), b = web("B"), c = web("C", {"t"}), d = web("D", {"t"});
    fx.save({a, b, c, d}, {relation(a, b)});
    fx.model.startObservingStore();
    QSignalSpy announced(&fx.store->notifier(), &LinkStoreNotifier::didMutate);
    const int loads = fx.loadsStarted;

    fx.model.centerOnNode(a.id, true);
    fx.model.beginLinkingFromSelection();
    EXPECT_EQ(fx.model.message(), QStringLiteral("Click another node to link it to A."));
    fx.model.handleNodeClick(a.id);
    EXPECT_EQ(fx.model.message(), QStringLiteral("Choose a different node to create a relation."));
    EXPECT_EQ(fx.model.linkingSourceNodeID(), a.id);
    fx.model.handleNodeClick(b.id);
    EXPECT_FALSE(fx.model.linkingSourceNodeID());

    EXPECT_EQ(fx.model.suggestedRelations(c.id), (QList<GraphViewModel::SuggestedRelation>{{d, "#t"}}));
    fx.model.centerOnNode(c.id, false);
    fx.model.acceptSuggestedRelation(d.id);
    ASSERT_TRUE(settle([&] { return announced.size() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fx.model.message(), QStringLiteral("Linked “C” to “D”."));
    EXPECT_EQ(fx.loadsStarted, loads);
    EXPECT_EQ(edgesBetween(fx.model, a.id, b.id), 1) << "already related";
    EXPECT_EQ(edgesBetween(fx.model, c.id, d.id), 1);
    EXPECT_TRUE(fx.model.relationEdge(c.id, d.id));
    EXPECT_EQ(fx.model.selectedNode()->health, NodeHealth::weak);
    EXPECT_EQ(fx.model.relatedItems(a.id).value(0).id, b.id);
}

TEST(GraphCommandTests, RemovingRelationsAndDeleting)
{
    test::GraphFixture fx;
    LinkItem a = web("A"), b = web("B"), c = web("C");
    // The library stores a pair smaller id first: this relation is stored as (B, A).
    a.id = test::uuid("FFFFFFFF-0000-4000-8000-000000000000");
    fx.save({a, b, c}, {relation(a, b)});
    fx.model.requestRelationRemoval(b.id);
    EXPECT_EQ(fx.model.message(), QStringLiteral("Select a node with a relation to remove."));
    fx.model.centerOnNode(a.id, false);
    fx.model.requestRelationRemoval(c.id);
    EXPECT_EQ(fx.model.message(), QStringLiteral("No relation between these items."));
    fx.model.requestRelationRemoval(b.id);
    const GraphViewModel::PendingRelationDelete pending{a.id, b.id, QStringLiteral("A ↔ B")};
    EXPECT_EQ(fx.model.pendingRelationDelete(), pending);

    fx.model.startObservingStore();
    QSignalSpy announced(&fx.store->notifier(), &LinkStoreNotifier::didMutate);
    fx.model.confirmRelationDelete();
    ASSERT_TRUE(settle([&] { return announced.size() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fx.model.message(), QStringLiteral("Removed relation between “A” and “B”."));
    EXPECT_TRUE(fx.model.edges().isEmpty());

    fx.model.applyExternalContext(a);
    fx.model.beginLinkingFromSelection();
    fx.model.requestDeleteSelected();
    fx.model.confirmDelete();
    fx.model.confirmDelete();
    EXPECT_FALSE(fx.model.pendingDeleteItem());
    ASSERT_TRUE(settle([&] { return fx.model.nodes().size() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(announced.size(), 2) << "one deletion";
    EXPECT_EQ(fx.model.message(), QStringLiteral("Deleted A."));
    for (const auto& id : {fx.model.activeNodeID(), fx.model.centeredNodeID(), fx.model.linkingSourceNodeID(),
                           fx.model.selectedNodeID()})
        EXPECT_FALSE(id);
}

TEST(GraphCommandTests, OpeningRecordsTheOpenAndWhatTheOpenerFound)
{
    test::GraphFixture fx;
    const LinkItem a = web("A");
    fx.save({a});
    int opened = 0;
    fx.model.setOnItemOpened([&] { ++opened; });
    LinkStoreDatabase(*fx.store).run([&](SQLiteStore& s) {
        s.writes().upsertLocalResolution(a.id, {"old", {}, {}, "/a", "hash", 1}, false);
    });
    fx.opener->found = FileIdentity{"bookmark", "inode", "volume", "/b", std::nullopt, 2};
    fx.model.openItem(a.id);
    ASSERT_TRUE(settle([&] { return opened == 1; }));
    EXPECT_EQ(fx.opener->opened.value(0), a);
    EXPECT_TRUE(fx.readLibrary().items[0].lastOpenedAt);
    EXPECT_EQ(LinkStoreDatabase(*fx.store)
                  .run([&](SQLiteStore& s) { return s.fileLookups().localResolution(a.id); })
                  .result(),
              (FileIdentity{"bookmark", "inode", "volume", "/b", "hash", 2}));
}

// A centre with neighbours left, up, right and down; E leads on to F.
TEST(GraphCommandTests, KeyboardWalksRelationsClockwise)
{
    test::GraphFixture fx;
    const LinkItem o = web("O"), w = web("W"), n = web("N"), e = web("E"), s = web("S"), f = web("F");
    fx.load({s, e, n, w, o, f},
            {relation(o, s), relation(e, o), relation(o, n), relation(o, w), relation(w, o), relation(e, f)});
    for (const auto& [id, place] : {std::pair{o.id, QPointF(0, 0)},
                                    {w.id, {-100, 0}},
                                    {n.id, {0, -100}},
                                    {e.id, {100, 0}},
                                    {s.id, {0, 100}},
                                    {f.id, {200, 0}}}) {
        fx.model.dragNode(id, place);
        fx.model.endDrag(id);
    }
    EXPECT_EQ(fx.model.orderedNeighborIDs(o.id), QList<QUuid>({w.id, n.id, e.id, s.id}));

    fx.model.centerOnNode(o.id, false);
    fx.model.previewNeighbor(false);
    EXPECT_EQ(fx.model.previewedNeighborID(), n.id) << "first Right previews the second";
    fx.model.previewNeighbor(true);
    fx.model.previewNeighbor(true);
    EXPECT_EQ(fx.model.previewedNeighborID(), s.id) << "wraps around";
    fx.model.previewNeighbor(true);
    fx.model.followPreviewedRelation();
    EXPECT_EQ(fx.model.selectedNodeID(), e.id);
    EXPECT_EQ(fx.model.previewedNeighborID(), o.id) << "the way back is previewed";
    fx.model.navigateBack();
    EXPECT_EQ(fx.model.keyboardRelationNavigation()->focusNodeID, o.id);
    EXPECT_EQ(fx.model.previewedNeighborID(), e.id);
    EXPECT_TRUE(fx.model.keyboardPreviewEdge()->joins(o.id, e.id));
    fx.model.navigateBack();
    EXPECT_EQ(fx.model.keyboardRelationNavigation()->focusNodeID, o.id) << "nothing to go back to";
}

TEST(GraphCommandTests, KeyMap)
{
    using A = GraphKeyAction;
    const Qt::KeyboardModifiers none, ctrl = Qt::ControlModifier, super = Qt::MetaModifier;
    const GraphKeyState empty{}, shown{true};
    const GraphKeyState deleting{true, true}, bothCards{true, true, true, true};
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        GraphKeyState state;
        GraphKeyAction action;
    } cases[] = {
        {Qt::Key_Return, Qt::AltModifier, shown, A::openSelected},
        {Qt::Key_Return, ctrl, shown, A::passOn},
        {Qt::Key_Backspace, none, shown, A::passOn},
        {Qt::Key_Backspace, super, empty, A::requestDeleteSelected},
        {Qt::Key_Left, Qt::ShiftModifier, shown, A::previewPrevious},
        {Qt::Key_Right, none, empty, A::ignore},
        {Qt::Key_Escape, none, shown, A::close},
        // A pending card owns the keyboard.
        {Qt::Key_Return, none, deleting, A::confirmDelete},
        {Qt::Key_Enter, none, deleting, A::confirmDelete},
        {Qt::Key_Backspace, ctrl, deleting, A::confirmDelete},
        {Qt::Key_Escape, none, deleting, A::cancelDelete},
        {Qt::Key_Left, none, deleting, A::ignore},
        {Qt::Key_Return, none, bothCards, A::confirmRelationDelete},
        {Qt::Key_Escape, none, bothCards, A::cancelRelationDelete},
    };
    for (const auto& x : cases)
        EXPECT_EQ(GraphKeyMap::action(x.key, x.modifiers, x.state), x.action) << x.key << " " << x.modifiers;

    // Escape's steps on the model: the pending removal, then link mode, then the window.
    test::GraphFixture fx;
    const LinkItem a = web("A"), b = web("B");
    fx.load({a, b}, {relation(a, b)});
    fx.model.centerOnNode(a.id, false);
    fx.model.requestRelationRemoval(b.id);
    fx.model.beginLinkingFromSelection();
    int closed = 0;
    const auto escape = [&] {
        return GraphKeyMap::handle(fx.model, Qt::Key_Escape, none, [&] { ++closed; });
    };
    EXPECT_TRUE(escape());
    EXPECT_TRUE(!fx.model.pendingRelationDelete() && fx.model.linkingSourceNodeID());
    escape();
    EXPECT_TRUE(!fx.model.linkingSourceNodeID() && closed == 0);
    EXPECT_EQ(fx.model.message(), QStringLiteral("Linking cancelled."));
    escape();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(GraphKeyMap::handle(fx.model, Qt::Key_Return, ctrl, {}));
}

// The link in front of the user becomes the active node; it is selected and centred only when the
// user has selected nothing, and the graph keeps following the last link seen.
TEST(GraphCommandTests, FocusFollowsTheItemInFront)
{
    test::GraphFixture fx;
    const LinkItem a = web("A"), b = web("B"), c = web("C");
    fx.save({a, b, c});
    const auto front = [&](const QString& locator) {
        fx.frontmost->answer = {{CapturedContext{QStringLiteral("T"), locator, LinkType::web, {}, {}}}, {}};
    };
    const auto capture = [&](std::optional<QUuid> active) {
        fx.model.captureActiveContext();
        return settle([&] { return fx.model.activeNodeID() == active; });
    };
    front(a.url);
    ASSERT_TRUE(capture(a.id));
    EXPECT_EQ(fx.model.selectedNodeID(), a.id);
    EXPECT_EQ(fx.model.centeredNodeID(), a.id);

    fx.model.centerOnNode(b.id, false);
    front(QStringLiteral("https://example.com/unsaved"));
    ASSERT_TRUE(capture(std::nullopt));
    front(c.url);
    ASSERT_TRUE(capture(c.id));
    fx.model.applyExternalContext(std::nullopt);
    fx.frontmost->answer = {};
    ASSERT_TRUE(capture(c.id)) << "the last link seen";
    EXPECT_EQ(fx.model.selectedNodeID(), b.id);
}

// The look at the application in front runs every second on its own timer; one that finds what the
// last one found neither rebuilds the neighbourhood nor wakes the layout.
TEST(GraphCommandTests, ALookThatFindsTheSameItemChangesNothing)
{
    test::GraphFixture fx;
    const LinkItem a = web("A"), b = web("B"), c = web("C");
    fx.save({a, b, c}, {relation(a, b)});
    ASSERT_TRUE(settle([&] { return fx.model.nodes().size() == 3; }));
    const auto front = [&](const LinkItem& item) {
        fx.frontmost->answer = {{CapturedContext{QStringLiteral("T"), item.url, LinkType::web, {}, {}}}, {}};
        fx.clock->advance(GraphViewModel::activeContextInterval);
    };
    fx.model.setScope(GraphScope::currentNeighborhood);
    fx.model.startLayoutTimer();
    front(a);
    ASSERT_TRUE(settle([&] { return fx.model.activeNodeID() == a.id && fx.model.nodes().size() == 2; }));
    for (int step = 0; step < 1000 && fx.model.isLayoutTimerRunning(); ++step)
        fx.clock->advance(GraphViewModel::layoutInterval);
    ASSERT_FALSE(fx.model.isLayoutTimerRunning());

    QSignalSpy rebuilds(&fx.model, &GraphViewModel::edgesChanged);
    QSignalSpy marks(&fx.model, &GraphViewModel::activeNodeIDChanged);
    front(a);
    // The lookup is answered on the store thread, then applied here.
    LinkStoreDatabase(*fx.store).run([](SQLiteStore&) {}).waitForFinished();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(rebuilds.size(), 0);
    EXPECT_EQ(marks.size(), 0);
    EXPECT_FALSE(fx.model.isLayoutTimerRunning());

    front(c);
    ASSERT_TRUE(settle([&] { return fx.model.activeNodeID() == c.id; }));
    EXPECT_GT(rebuilds.size(), 0);
    EXPECT_EQ(fx.shownTitles(), QStringList{QStringLiteral("C")});
}
