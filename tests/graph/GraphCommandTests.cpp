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

int edgesBetween(const GraphContent& content, const QUuid& a, const QUuid& b)
{
    return int(std::count_if(content.edges().begin(), content.edges().end(),
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
    fx.loader.startObservingStore();
    QSignalSpy announced(&fx.store->notifier(), &LinkStoreNotifier::didMutate);
    const int loads = fx.loadsStarted;

    fx.navigation.centerOnNode(a.id, true);
    fx.commands.beginLinkingFromSelection();
    EXPECT_EQ(fx.content.message(), QStringLiteral("Click another node to link it to A."));
    fx.commands.handleNodeClick(a.id);
    EXPECT_EQ(fx.content.message(), QStringLiteral("Choose a different node to create a relation."));
    EXPECT_EQ(fx.selection.linkingSourceNodeID(), a.id);
    fx.commands.handleNodeClick(b.id);
    EXPECT_FALSE(fx.selection.linkingSourceNodeID());

    EXPECT_EQ(fx.content.suggestedRelations(c.id), (QList<GraphContent::SuggestedRelation>{{d, "#t"}}));
    fx.navigation.centerOnNode(c.id, false);
    fx.commands.acceptSuggestedRelation(d.id);
    ASSERT_TRUE(settle([&] { return announced.size() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fx.content.message(), QStringLiteral("Linked “C” to “D”."));
    EXPECT_EQ(fx.loadsStarted, loads);
    EXPECT_EQ(edgesBetween(fx.content, a.id, b.id), 1) << "already related";
    EXPECT_EQ(edgesBetween(fx.content, c.id, d.id), 1);
    EXPECT_TRUE(fx.content.relationEdge(c.id, d.id));
    EXPECT_EQ(fx.content.node(fx.selection.selectedNodeID())->health, NodeHealth::weak);
    EXPECT_EQ(fx.content.relatedItems(a.id).value(0).id, b.id);
}

TEST(GraphCommandTests, RemovingRelationsAndDeleting)
{
    test::GraphFixture fx;
    LinkItem a = web("A"), b = web("B"), c = web("C");
    // The library stores a pair smaller id first: this relation is stored as (B, A).
    a.id = test::uuid("FFFFFFFF-0000-4000-8000-000000000000");
    fx.save({a, b, c}, {relation(a, b)});
    fx.commands.requestRelationRemoval(b.id);
    EXPECT_EQ(fx.content.message(), QStringLiteral("Select a node with a relation to remove."));
    fx.navigation.centerOnNode(a.id, false);
    fx.commands.requestRelationRemoval(c.id);
    EXPECT_EQ(fx.content.message(), QStringLiteral("No relation between these items."));
    fx.commands.requestRelationRemoval(b.id);
    const GraphCommands::PendingRelationDelete pending{a.id, b.id, QStringLiteral("A ↔ B")};
    EXPECT_EQ(fx.commands.pendingRelationDelete(), pending);

    fx.loader.startObservingStore();
    QSignalSpy announced(&fx.store->notifier(), &LinkStoreNotifier::didMutate);
    fx.commands.confirmRelationDelete();
    ASSERT_TRUE(settle([&] { return announced.size() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fx.content.message(), QStringLiteral("Removed relation between “A” and “B”."));
    EXPECT_TRUE(fx.content.edges().isEmpty());

    fx.activeContext.applyLink(a);
    fx.commands.beginLinkingFromSelection();
    fx.commands.requestDeleteSelected();
    fx.commands.confirmDelete();
    fx.commands.confirmDelete();
    EXPECT_FALSE(fx.commands.pendingDeleteItem());
    ASSERT_TRUE(settle([&] { return fx.content.nodes().size() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(announced.size(), 2) << "one deletion";
    EXPECT_EQ(fx.content.message(), QStringLiteral("Deleted A."));
    for (const auto& id : {fx.selection.activeNodeID(), fx.selection.centeredNodeID(),
                           fx.selection.linkingSourceNodeID(), fx.selection.selectedNodeID()})
        EXPECT_FALSE(id);
}

TEST(GraphCommandTests, OpeningRecordsTheOpenAndWhatTheOpenerFound)
{
    test::GraphFixture fx;
    const LinkItem a = web("A");
    fx.save({a});
    int opened = 0;
    QObject::connect(&fx.commands, &GraphCommands::itemOpened, [&] { ++opened; });
    LinkStoreDatabase(*fx.store).run([&](SQLiteStore& s) {
        s.upsertLocalResolution(a.id, {"old", {}, {}, "/a", "hash", 1}, false);
    });
    fx.opener->found = FileIdentity{"bookmark", "inode", "volume", "/b", std::nullopt, 2};
    fx.commands.openItem(a.id);
    ASSERT_TRUE(settle([&] { return opened == 1; }));
    EXPECT_EQ(fx.opener->opened.value(0), a);
    EXPECT_TRUE(fx.readLibrary().items[0].lastOpenedAt);
    EXPECT_EQ(
        LinkStoreDatabase(*fx.store).run([&](SQLiteStore& s) { return s.localResolution(a.id); }).result(),
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
    fx.navigation.centerOnNode(a.id, false);
    fx.commands.requestRelationRemoval(b.id);
    fx.commands.beginLinkingFromSelection();
    int closed = 0;
    const auto escape = [&] {
        return GraphKeyMap::handle(fx.model, Qt::Key_Escape, none, [&] { ++closed; });
    };
    EXPECT_TRUE(escape());
    EXPECT_TRUE(!fx.commands.pendingRelationDelete() && fx.selection.linkingSourceNodeID());
    escape();
    EXPECT_TRUE(!fx.selection.linkingSourceNodeID() && closed == 0);
    EXPECT_EQ(fx.content.message(), QStringLiteral("Linking cancelled."));
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
TEST(GraphCommandTests, ALookThatFindsTheSameItemChangesNothing)
{
    test::GraphFixture fx;
    const LinkItem a = web("A"), b = web("B"), c = web("C");
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
