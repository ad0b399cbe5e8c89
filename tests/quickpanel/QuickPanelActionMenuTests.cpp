#include "quickpanel/QuickPanelActionMenu.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

QStringList field(const QList<QuickPanelMenuEntry>& entries, QString QuickPanelMenuEntry::*member)
{
    QStringList result;
    for (const QuickPanelMenuEntry& entry : entries)
        result.append(entry.*member);
    return result;
}

TEST(QuickPanelActionMenuTests, ListsItsItemsAndRemoveRelationOnlyWhenOffered)
{
    using E = QuickPanelMenuEntry;
    EXPECT_EQ(
        field(quickPanelActionMenu(false), &E::title),
        (QStringList{"Open", "Copy", "Copy as", "Delete Link", "Link to Another Item", "Show Backlinks"}));
    const QList<E> menu = quickPanelActionMenu(true);
    EXPECT_EQ(field(menu, &E::shortcutText),
              (QStringList{"", "Ctrl+C", "", "", "Ctrl+Shift+Backspace", "", ""}));
    EXPECT_EQ(menu[4].title, "Remove Relation");
    EXPECT_EQ(field(menu[2].submenu, &E::title),
              (QStringList{"URL", "Markdown", "Morvane Link", "Morvane Markdown"}));
    EXPECT_EQ(field(menu[2].submenu, &E::value),
              (QStringList{"url", "markdown", "morvane", "morvaneMarkdown"}));
}

} // namespace
} // namespace morvane
