#include "AccessibilityTree.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;
using Node = AccessibilityTree::Node;
using S = AccessibilityState;

namespace {

template <class F> auto onBus(AccessibilityTree& tree, F fn)
{
    return tree.run(std::move(fn)).result();
}

} // namespace

TEST(AccessibilityWalk, FramesSkipBadChildrenAndFindTheActiveOrNamedOne)
{
    AccessibilityTree tree;
    const AccessibilityElement app = tree.addApplication(41, QStringLiteral("Firefox"));
    tree.add(app, node(AccessibilityRole::frame, QStringLiteral("One")));
    Node broken = node(AccessibilityRole::frame, QStringLiteral("Broken"), S::active);
    broken.fails = true;
    tree.add(app, broken);
    tree.add(app, node(AccessibilityRole::pushButton, QStringLiteral("Not a window"), S::active));
    tree.add(app, node(AccessibilityRole::frame, QStringLiteral("Two"), S::showing | S::active));

    const auto [frames, active, named, missing, unknownApp] = onBus(tree, [app](AccessibilityElements& api) {
        QStringList names;
        for (const AccessibilityElement& frame : api.frames(app))
            names << api.name(frame).value_or(QString());
        return std::tuple(names, api.name(*api.activeFrame(app)), api.frameNamed(app, QStringLiteral("One")),
                          api.frameNamed(app, QStringLiteral("one")), api.application(42).has_value());
    });
    EXPECT_EQ(frames, (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));
    EXPECT_EQ(active, QStringLiteral("Two"));
    EXPECT_TRUE(named.has_value());
    EXPECT_FALSE(missing.has_value());
    EXPECT_FALSE(unknownApp);
    EXPECT_EQ(tree.offThreadReads, 0);
    // Read from here, off the accessibility thread, the bus answers nothing.
    EXPECT_EQ(tree.name(app), std::nullopt);
    EXPECT_TRUE(tree.applications().isEmpty());
    EXPECT_EQ(tree.offThreadReads, 2);
}

TEST(AccessibilityWalk, FindFirstWalksShowingElementsInOrderAndSkipsTheRolesAsked)
{
    AccessibilityTree tree;
    const AccessibilityElement frame = tree.add(node(AccessibilityRole::frame, QStringLiteral("Window"), {}));
    const AccessibilityElement tabs =
        tree.add(frame, node(AccessibilityRole::pageTabList, QStringLiteral("Tabs")));
    tree.add(tabs, node(AccessibilityRole::documentWeb, QStringLiteral("In the tab strip")));
    const AccessibilityElement hidden =
        tree.add(frame, node(AccessibilityRole::panel, QStringLiteral("Hidden"), {}));
    tree.add(hidden, node(AccessibilityRole::documentWeb, QStringLiteral("Background tab")));
    Node gone = node(AccessibilityRole::documentWeb, QStringLiteral("Gone"));
    gone.fails = true;
    const AccessibilityElement panel =
        tree.add(frame, node(AccessibilityRole::panel, QStringLiteral("Panel")));
    tree.add(panel, gone);
    tree.add(panel, node(AccessibilityRole::documentWeb, QStringLiteral("Front page")));
    tree.add(frame, node(AccessibilityRole::documentWeb, QStringLiteral("Later page")));

    const auto found = [&](AccessibilityApi::Walk walk) {
        return onBus(tree, [frame, walk](AccessibilityElements& api) -> std::optional<QString> {
            const auto document = api.findFirst(
                frame,
                [&api](const AccessibilityElement& e) {
                    return api.role(e) == AccessibilityRole::documentWeb;
                },
                walk);
            return document ? api.name(*document) : std::nullopt;
        });
    };
    // The start itself need not be showing (a frame behind our own window is not).
    EXPECT_EQ(found({.skipRoles = {AccessibilityRole::pageTabList}}), QStringLiteral("Front page"));
    EXPECT_EQ(found({}), QStringLiteral("In the tab strip"));
    EXPECT_EQ(found({.skipRoles = {AccessibilityRole::pageTabList}, .showingOnly = false}),
              QStringLiteral("Background tab"));
    EXPECT_EQ(found({.maxDepth = 1, .skipRoles = {AccessibilityRole::pageTabList}}),
              QStringLiteral("Later page"));
    EXPECT_EQ(found({.maxNodes = 3, .skipRoles = {AccessibilityRole::pageTabList}}), std::nullopt);
}

TEST(AccessibilityWalk, ASelectionIsReadOnlyAsFarAsTheItemsInFrontAndEndsAtAChildGone)
{
    AccessibilityTree tree;
    const AccessibilityElement list = tree.add(node(AccessibilityRole::list));
    QList<AccessibilityElement> rows;
    for (int i = 0; i < 20000; ++i)
        rows.append(tree.add(list, node(AccessibilityRole::listItem, QString::number(i))));
    tree.edit(list, [&](Node& n) { n.selected = rows; });
    const auto selectedNames = [&](int* reads) {
        const int before = tree.reads;
        QStringList names = onBus(tree, [list](AccessibilityElements& api) {
            QStringList found;
            for (const AccessibilityElement& row : api.selectedChildren(list))
                found << api.name(row).value_or(QString());
            return found;
        });
        *reads = tree.reads - before;
        return names;
    };

    // A select-all: the rows in front, not twenty thousand calls.
    int reads = 0;
    const QStringList all = selectedNames(&reads);
    ASSERT_EQ(all.size(), AccessibilityApi::maxSelectedChildren);
    EXPECT_EQ(all.first(), QStringLiteral("0"));
    EXPECT_EQ(all.last(), QString::number(AccessibilityApi::maxSelectedChildren - 1));
    EXPECT_LE(reads, 3 * AccessibilityApi::maxSelectedChildren);

    // A row gone (or an application that stopped answering) ends the reading there.
    tree.edit(rows.at(2), [](Node& n) { n.fails = true; });
    EXPECT_EQ(selectedNames(&reads), (QStringList{QStringLiteral("0"), QStringLiteral("1")}));
}
