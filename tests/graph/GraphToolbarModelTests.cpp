#include "GraphTestSupport.h"
#include "graph/GraphNodeMenu.h"
#include "graph/GraphToolbarModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace morvane;
using test::linkItem;
using test::relation;

namespace {

using Kind = GraphMenuEntry::Kind;

QStringList titles(const QList<GraphMenuEntry>& entries)
{
    QStringList shown;
    for (const GraphMenuEntry& entry : entries)
        shown.append(entry.kind == Kind::divider ? QStringLiteral("---") : entry.title);
    return shown;
}

const GraphMenuEntry& entry(const QList<GraphMenuEntry>& entries, const QString& title)
{
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const GraphMenuEntry& each) { return each.title == title; });
    if (found == entries.end())
        throw std::runtime_error("no menu entry " + title.toStdString());
    return *found;
}

struct ToolbarFixture : test::GraphFixture {
    GraphToolbarModel toolbar{model, {}};
};

} // namespace

TEST(GraphToolbarModelTests, FilterMenuListsWhatTheLibraryHoldsAndCountsActiveFilters)
{
    ToolbarFixture fx;
    fx.load({});
    EXPECT_EQ(titles(fx.toolbar.filterEntries()),
              QStringList({"Type", "No link types", "App", "No source apps", "Tag", "No tags"}));
    EXPECT_EQ(fx.toolbar.filterMenu().icon, Glyph::filter);
    EXPECT_EQ(fx.toolbar.filterMenu().help, QStringLiteral("Filter by type, source app, or tag"));

    const LinkItem a = linkItem("A", LinkType::web, {}, {"b"}, "Safari");
    const LinkItem b = linkItem("B", LinkType::file, {}, {"B"}, "Mail");
    const LinkItem c = linkItem("C", LinkType::web, {}, {"b"});
    fx.load({a, b, c});
    auto entries = fx.toolbar.filterEntries();
    EXPECT_EQ(titles(entries).mid(0, 6), QStringList({"Type", "File", "Web URL", "App", "Mail", "Safari"}));
    EXPECT_EQ(titles(entries).mid(6, 1), QStringList({"Tag"}));
    // "b" and "B" are different tags, listed in either order.
    EXPECT_EQ(QSet<QString>({entries[7].title, entries[8].title}), QSet<QString>({"#b", "#B"}));
    EXPECT_EQ(entries.size(), 9) << "no Clear Filters without a filter";

    entry(entries, "Web URL").trigger();
    EXPECT_EQ(fx.toolbar.filterMenu().help, QStringLiteral("1 active graph filter"));
    EXPECT_EQ(fx.shownTitles(), QStringList({"A", "C"}));
    entries = fx.toolbar.filterEntries();
    EXPECT_EQ(entry(entries, "Web URL").icon, Glyph::checkmark);
    entry(entries, "#b").trigger();
    entry(fx.toolbar.filterEntries(), "Safari").trigger();
    EXPECT_EQ(fx.shownTitles(), QStringList({"A"}));
    EXPECT_EQ(fx.toolbar.filterMenu().icon, Glyph::filterFilled);
    EXPECT_EQ(fx.toolbar.filterMenu().help, QStringLiteral("3 active graph filters"));

    // Choosing an active value again takes it out.
    entry(fx.toolbar.filterEntries(), "Safari").trigger();
    EXPECT_EQ(fx.toolbar.filterMenu().help, QStringLiteral("2 active graph filters"));

    entries = fx.toolbar.filterEntries();
    ASSERT_EQ(titles(entries).mid(entries.size() - 2), QStringList({"---", "Clear Filters"}));
    QSignalSpy rebuilds(&fx.content, &GraphContent::nodesChanged);
    entries.last().trigger();
    EXPECT_EQ(rebuilds.size(), 3) << "one rebuild per filter set";
    EXPECT_TRUE(fx.filters.typeFilters().empty() && fx.filters.appFilters().isEmpty() &&
                fx.filters.tagFilters().isEmpty());
    EXPECT_EQ(fx.shownTitles(), QStringList({"A", "B", "C"}));
}

// Folders saved on a Mac name "Finder": the menu shows the Linux name, and the filter it sets is the
// stored name, so a stored filter keeps matching.
TEST(GraphToolbarModelTests, TheAppFilterShowsLinuxNamesAndMatchesTheStoredOnes)
{
    ToolbarFixture fx;
    fx.load({linkItem("Folder", LinkType::folder, {}, {}, "Finder"),
             linkItem("Message", LinkType::mail, {}, {}, "Mail")});
    auto entries = fx.toolbar.filterEntries();
    EXPECT_TRUE(titles(entries).contains("File Manager"));
    EXPECT_FALSE(titles(entries).contains("Finder"));
    entry(entries, "File Manager").trigger();
    EXPECT_EQ(fx.filters.appFilters(), QSet<QString>{"Finder"});
    EXPECT_EQ(fx.shownTitles(), QStringList{"Folder"});
    EXPECT_EQ(entry(fx.toolbar.filterEntries(), "File Manager").icon, Glyph::checkmark);
}

TEST(GraphToolbarModelTests, ScopeMenuMarksTheCurrentScopeAndChoosingItAgainRebuilds)
{
    ToolbarFixture fx;
    const LinkItem a = linkItem("A"), b = linkItem("B"), c = linkItem("C");
    fx.load({a, b, c}, {relation(a, b)});
    auto entries = fx.toolbar.scopeEntries();
    EXPECT_EQ(titles(entries), QStringList({"All", "Context", "Orphans", "Weak", "Suggested"}));
    EXPECT_EQ(entries[0].icon, Glyph::checkmark);
    EXPECT_EQ(entries[2].icon, Glyph::linkPlus);
    EXPECT_EQ(fx.toolbar.title(), QStringLiteral("All"));

    QSignalSpy rebuilds(&fx.content, &GraphContent::nodesChanged);
    entries[0].trigger();
    EXPECT_EQ(rebuilds.size(), 1);

    entries[2].trigger();
    EXPECT_EQ(fx.toolbar.title(), QStringLiteral("Orphans"));
    EXPECT_EQ(fx.toolbar.scopeMenu().icon, Glyph::linkPlus);
    EXPECT_EQ(fx.shownTitles(), QStringList({"C"}));
    EXPECT_EQ(fx.toolbar.scopeEntries()[2].icon, Glyph::checkmark);
    EXPECT_EQ(fx.toolbar.scopeEntries()[0].icon, Glyph::connectedPoints);
}

TEST(GraphToolbarModelTests, SelectionAndLinkModeGroupsFollowTheModel)
{
    ToolbarFixture fx;
    const LinkItem a = linkItem("A"), b = linkItem("B"), c = linkItem("C", LinkType::file);
    fx.load({a, b, c}, {relation(a, b)});
    EXPECT_FALSE(fx.toolbar.selectionChip());
    EXPECT_FALSE(fx.toolbar.linkingChip());

    fx.navigation.centerOnNode(a.id, false);
    ASSERT_TRUE(fx.toolbar.selectionChip());
    EXPECT_EQ(fx.toolbar.selectionChip()->title, QStringLiteral("A"));
    EXPECT_TRUE(fx.toolbar.offersLinking());
    EXPECT_TRUE(fx.toolbar.removeRelationMenu().enabled);
    const auto related = fx.toolbar.removeRelationEntries();
    ASSERT_EQ(titles(related), QStringList({"B"}));
    related[0].trigger();
    ASSERT_TRUE(fx.commands.pendingRelationDelete());
    EXPECT_EQ(fx.commands.pendingRelationDelete()->summary, QStringLiteral("A ↔ B"));
    fx.commands.cancelRelationDelete();

    // A node without relations: the menu is there but disabled, and says why.
    fx.navigation.centerOnNode(c.id, false);
    EXPECT_FALSE(fx.toolbar.removeRelationMenu().enabled);
    EXPECT_EQ(fx.toolbar.removeRelationEntries()[0].kind, Kind::text);
    EXPECT_EQ(fx.toolbar.removeRelationEntries()[0].title, QStringLiteral("No relations"));

    fx.toolbar.linkButton().trigger();
    EXPECT_FALSE(fx.toolbar.offersLinking());
    ASSERT_TRUE(fx.toolbar.linkingChip());
    EXPECT_EQ(fx.toolbar.linkingChip()->title, QStringLiteral("C"));
    EXPECT_EQ(fx.toolbar.linkingChip()->tint, SystemColor::green);
    fx.toolbar.cancelLinkingButton().trigger();
    EXPECT_FALSE(fx.selection.linkingSourceNodeID());
    EXPECT_EQ(fx.toolbar.status(), QStringLiteral("Linking cancelled."));

    // Link mode from a node a filter then hides: no cancel button, and no linking offered for any
    // selection until the mode ends some other way.
    fx.toolbar.linkButton().trigger();
    fx.toolbar.toggleType(LinkType::web);
    fx.navigation.centerOnNode(a.id, false);
    EXPECT_TRUE(fx.toolbar.selectionChip());
    EXPECT_FALSE(fx.toolbar.linkingChip());
    EXPECT_FALSE(fx.toolbar.offersLinking());
    fx.commands.reloadGraph();
    EXPECT_TRUE(fx.toolbar.offersLinking());
}

TEST(GraphToolbarModelTests, NodeMenuOffersWhatTheNodeHasAndSelectsItFirst)
{
    test::GraphFixture fx;
    const LinkItem a = linkItem("A", LinkType::web, {}, {"t"}), b = linkItem("B");
    const LinkItem c = linkItem("C"), d = linkItem("D", LinkType::web, {}, {"t"});
    fx.load({a, b, c, d}, {relation(a, b)});

    const auto full = graphNodeMenu(fx.model, a.id);
    EXPECT_EQ(titles(full), QStringList({"Open", "Link from Here", "Create Suggested Relation",
                                         "Remove Relation", "---", "Delete Link"}));
    const auto& suggested = entry(full, "Create Suggested Relation");
    ASSERT_EQ(titles(suggested.children), QStringList({"D"}));
    EXPECT_EQ(suggested.children[0].toolTip, QStringLiteral("#t"));
    EXPECT_EQ(titles(entry(full, "Remove Relation").children), QStringList({"B"}));
    EXPECT_EQ(titles(graphNodeMenu(fx.model, c.id)),
              QStringList({"Open", "Link from Here", "---", "Delete Link"}));

    // Open leaves the selection alone; Delete Link asks about its own node, not the selected one.
    fx.navigation.centerOnNode(b.id, false);
    entry(graphNodeMenu(fx.model, c.id), "Open").trigger();
    EXPECT_EQ(fx.selection.selectedNodeID(), b.id);
    entry(graphNodeMenu(fx.model, c.id), "Delete Link").trigger();
    EXPECT_EQ(fx.selection.selectedNodeID(), c.id);
    EXPECT_EQ(fx.selection.centeredNodeID(), c.id);
    EXPECT_FALSE(fx.layout.animatingCenterNodeID());
    ASSERT_TRUE(fx.commands.pendingDeleteItem());
    EXPECT_EQ(fx.commands.pendingDeleteItem()->id, c.id);
}
