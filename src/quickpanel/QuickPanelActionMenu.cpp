#include "QuickPanelActionMenu.h"

#include "foundation/KeyText.h"
#include "services/PreferenceValues.h"

namespace morvane {

namespace {

using Command = QuickPanelMenuCommand;

QuickPanelMenuEntry item(const char* title, Command command, QString shortcutText = {})
{
    return {QString::fromUtf8(title), command, {}, std::move(shortcutText), {}};
}

} // namespace

QList<QuickPanelMenuEntry> quickPanelCopyEntries()
{
    QuickPanelMenuEntry copyAs = item("Copy as", Command::submenu);
    for (const CopyFormat format : enumValues(copyFormatNames))
        copyAs.submenu.append({enumNameText(copyFormatTitles, format),
                               Command::copyAs,
                               enumNameText(copyFormatNames, format),
                               {},
                               {}});
    return {item("Copy", Command::copyDefault, keyCombinationText(KeyModifier::ctrl, QStringLiteral("C"))),
            copyAs};
}

QList<QuickPanelMenuEntry> quickPanelActionMenu(bool canRemoveRelation)
{
    QList<QuickPanelMenuEntry> entries{item("Open", Command::open)};
    entries.append(quickPanelCopyEntries());
    entries.append(item("Delete Link", Command::deleteLink));
    if (canRemoveRelation)
        entries.append(item("Remove Relation", Command::removeRelation,
                            keyCombinationText(KeyModifier::ctrl | KeyModifier::shift, KeyName::backspace)));
    entries.append(item("Link to Another Item", Command::linkToAnotherItem));
    entries.append(item("Show Backlinks", Command::showBacklinks));
    return entries;
}

} // namespace morvane
