#include "quickpanel/QuickPanelActionMenu.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

using Command = QuickPanelMenuCommand;

QStringList titles(const QList<QuickPanelMenuEntry>& entries)
{
    QStringList result;
    for (const QuickPanelMenuEntry& entry : entries)
        result.append(entry.title);
    return result;
}

TEST(QuickPanelActionMenuTests, OffersRemoveRelationOnlyWhenTheSelectionHasOne)
{
    const QList<QuickPanelMenuEntry> plain = quickPanelActionMenu(false);
    EXPECT_EQ(titles(plain), (QStringList{"Open", "Copy", "Copy as", "Delete Link", "Link to Another Item",
                                          "Show Backlinks"}));
    const QList<QuickPanelMenuEntry> withRelation = quickPanelActionMenu(true);
    EXPECT_EQ(titles(withRelation), (QStringList{"Open", "Copy", "Copy as", "Delete Link", "Remove Relation",
                                                 "Link to Another Item", "Show Backlinks"}));
    const QuickPanelMenuEntry& remove = withRelation[4];
    EXPECT_EQ(remove.command, Command::removeRelation);
    EXPECT_EQ(remove.shortcutText, QStringLiteral("⇧⌘⌫"));
    EXPECT_EQ(withRelation[1].shortcutText, QStringLiteral("⌘C"));
    EXPECT_EQ(withRelation[0].command, Command::open);
    EXPECT_EQ(withRelation[3].command, Command::deleteLink);
}

TEST(QuickPanelActionMenuTests, CopyAsListsTheFourFormatsWithTheirStoredNames)
{
    const QuickPanelMenuEntry copyAs = quickPanelActionMenu(false)[2];
    EXPECT_EQ(copyAs.command, Command::submenu);
    EXPECT_EQ(titles(copyAs.submenu), (QStringList{"URL", "Markdown", "Morvane Link", "Morvane Markdown"}));
    QStringList values;
    for (const QuickPanelMenuEntry& entry : copyAs.submenu) {
        EXPECT_EQ(entry.command, Command::copyAs);
        EXPECT_TRUE(entry.shortcutText.isEmpty());
        values.append(entry.value);
    }
    EXPECT_EQ(values, (QStringList{"url", "markdown", "morvane", "morvaneMarkdown"}));
}

} // namespace
} // namespace morvane
