#include "GraphNodeMenu.h"

#include "GraphViewModel.h"

namespace morvane {

QList<GraphMenuEntry> graphNodeMenu(GraphViewModel& model, const QUuid& nodeID)
{
    GraphViewModel* graph = &model;
    const auto selectingFirst = [graph, nodeID](std::function<void(GraphViewModel&)> command) {
        return [graph, nodeID, command = std::move(command)] {
            graph->centerOnNode(nodeID, false);
            command(*graph);
        };
    };

    QList<GraphMenuEntry> entries;
    entries.append(GraphMenuEntry::action(QStringLiteral("Open"), Glyph::openInApp,
                                          [graph, nodeID] { graph->openItem(nodeID); }));
    entries.append(
        GraphMenuEntry::action(QStringLiteral("Link from Here"), Glyph::linkPlus,
                               selectingFirst([](GraphViewModel& m) { m.beginLinkingFromSelection(); })));

    const auto suggestions = model.suggestedRelations(nodeID);
    if (!suggestions.isEmpty()) {
        QList<GraphMenuEntry> partners;
        for (const auto& suggestion : suggestions) {
            const QUuid target = suggestion.item.id;
            auto entry = GraphMenuEntry::action(
                suggestion.item.title, Glyph::sparkles,
                selectingFirst([target](GraphViewModel& m) { m.acceptSuggestedRelation(target); }));
            entry.toolTip = suggestion.reason;
            partners.append(std::move(entry));
        }
        entries.append(GraphMenuEntry::submenu(QStringLiteral("Create Suggested Relation"), Glyph::sparkles,
                                               std::move(partners)));
    }

    const auto related = model.relatedItems(nodeID);
    if (!related.isEmpty()) {
        QList<GraphMenuEntry> others;
        for (const LinkItem& item : related) {
            const QUuid target = item.id;
            others.append(GraphMenuEntry::action(
                item.title, Glyph::linkMinus,
                selectingFirst([target](GraphViewModel& m) { m.requestRelationRemoval(target); })));
        }
        entries.append(
            GraphMenuEntry::submenu(QStringLiteral("Remove Relation"), Glyph::linkMinus, std::move(others)));
    }

    entries.append(GraphMenuEntry::divider());
    auto remove =
        GraphMenuEntry::action(QStringLiteral("Delete Link"), Glyph::trash,
                               selectingFirst([](GraphViewModel& m) { m.requestDeleteSelected(); }));
    remove.destructive = true;
    entries.append(std::move(remove));
    return entries;
}

} // namespace morvane
