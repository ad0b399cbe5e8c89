#include "GraphNodeMenu.h"

#include "GraphViewModel.h"

namespace morvane {

QList<GraphMenuEntry> graphNodeMenu(GraphViewModel& model, const QUuid& nodeID)
{
    GraphCommands* commands = &model.commands();
    GraphNavigation* navigation = &model.navigation();
    const auto selectingFirst = [commands, navigation, nodeID](std::function<void(GraphCommands&)> command) {
        return [commands, navigation, nodeID, command = std::move(command)] {
            navigation->centerOnNode(nodeID, false);
            command(*commands);
        };
    };

    QList<GraphMenuEntry> entries;
    entries.append(GraphMenuEntry::action(QStringLiteral("Open"), Glyph::openInApp,
                                          [commands, nodeID] { commands->openItem(nodeID); }));
    entries.append(
        GraphMenuEntry::action(QStringLiteral("Link from Here"), Glyph::linkPlus,
                               selectingFirst([](GraphCommands& m) { m.beginLinkingFromSelection(); })));

    const auto suggestions = model.content().suggestedRelations(nodeID);
    if (!suggestions.isEmpty()) {
        QList<GraphMenuEntry> partners;
        for (const auto& suggestion : suggestions) {
            const QUuid target = suggestion.item.id;
            auto entry = GraphMenuEntry::action(
                suggestion.item.title, Glyph::sparkles,
                selectingFirst([target](GraphCommands& m) { m.acceptSuggestedRelation(target); }));
            entry.toolTip = suggestion.reason;
            partners.append(std::move(entry));
        }
        entries.append(GraphMenuEntry::submenu(QStringLiteral("Create Suggested Relation"), Glyph::sparkles,
                                               std::move(partners)));
    }

    const auto related = model.content().relatedItems(nodeID);
    if (!related.isEmpty()) {
        QList<GraphMenuEntry> others;
        for (const LinkItem& item : related) {
            const QUuid target = item.id;
            others.append(GraphMenuEntry::action(
                item.title, Glyph::linkMinus,
                selectingFirst([target](GraphCommands& m) { m.requestRelationRemoval(target); })));
        }
        entries.append(
            GraphMenuEntry::submenu(QStringLiteral("Remove Relation"), Glyph::linkMinus, std::move(others)));
    }

    entries.append(GraphMenuEntry::divider());
    auto remove = GraphMenuEntry::action(QStringLiteral("Delete Link"), Glyph::trash,
                                         selectingFirst([](GraphCommands& m) { m.requestDeleteSelected(); }));
    remove.destructive = true;
    entries.append(std::move(remove));
    return entries;
}

} // namespace morvane
