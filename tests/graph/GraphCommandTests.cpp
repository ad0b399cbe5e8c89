#include "GraphTestSupport.h"
#include "graph/GraphKeyMap.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using test::relation;
using test::settle;
using test::webLink;

namespace {

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
    const LinkItem a = webLink("A"), b = webLink("B"), c = webLink("C", {"t"}), d = webLink("D", {"t"});
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

// A load that read the library before a relation was drawn in place, and is shown after it, would
// take the edge away again; the announcement is let pass, so nothing else would bring it back.
TEST(GraphCommandTests, ARelationDrawnWhileALoadReadsOutlivesThatLoad)
{
    test::GraphFixture fx;
    const LinkItem a = webLink("A"), b = webLink("B");
    fx.save({a, b});
    fx.loader.startObservingStore();
    fx.items = {a, b};
    fx.fromLibrary = false;
    fx.deferLoads = true;
    fx.loader.reload(); // reads the library as it is before the relation

    fx.navigation.centerOnNode(a.id, false);
    fx.commands.beginLinkingFromSelection();
    fx.commands.handleNodeClick(b.id);
    ASSERT_TRUE(settle([&] { return fx.content.relationEdge(a.id, b.id).has_value(); }));
    fx.fromLibrary = true;
    fx.finishLoad(0, {a, b});
    ASSERT_TRUE(settle([&] { return !fx.loader.isLoading(); }));
    EXPECT_EQ(edgesBetween(fx.content, a.id, b.id), 1);
    EXPECT_EQ(fx.content.library().relations.size(), 1);
    EXPECT_EQ(fx.content.message(), QStringLiteral("2 of 2 links, 1 relations, 0 suggestions"));
}

TEST(GraphCommandTests, RemovingRelationsAndDeleting)
{
    test::GraphFixture fx;
    LinkItem a = webLink("A"), b = webLink("B"), c = webLink("C");
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
    const LinkItem a = webLink("A");
    fx.save({a});
    int opened = 0;
    QObject::connect(&fx.commands, &GraphCommands::itemOpened, [&] { ++opened; });
    LinkStoreDatabase(*fx.store).run([&](SQLiteStore& s) {
        s.writes().upsertLocalResolution(a.id, {"old", {}, {}, "/a", "hash", 1}, false);
    });
    fx.opener->found = FileIdentity{"bookmark", "inode", "volume", "/b", std::nullopt, 2};
    fx.commands.openItem(a.id);
    ASSERT_TRUE(settle([&] { return opened == 1; }));
    EXPECT_EQ(fx.opener->opened.value(0), a);
    EXPECT_TRUE(fx.readLibrary().items[0].lastOpenedAt);
    EXPECT_EQ(LinkStoreDatabase(*fx.store)
                  .run([&](SQLiteStore& s) { return s.fileLookups().localResolution(a.id); })
                  .result(),
              (FileIdentity{"bookmark", "inode", "volume", "/b", "hash", 2}));
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
    const LinkItem a = webLink("A"), b = webLink("B");
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
