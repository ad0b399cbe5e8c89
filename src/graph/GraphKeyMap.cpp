#include "GraphKeyMap.h"

#include "GraphViewModel.h"

namespace morvane {

namespace {

bool isArrow(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

// The card on top: a relation removal is cancelled before a deletion, as Escape takes them.
GraphKeyAction confirmationKey(int key, bool command, bool relationCard)
{
    if (key == Qt::Key_Escape)
        return relationCard ? GraphKeyAction::cancelRelationDelete : GraphKeyAction::cancelDelete;
    if (key == Qt::Key_Return || key == Qt::Key_Enter || (command && key == Qt::Key_Backspace))
        return relationCard ? GraphKeyAction::confirmRelationDelete : GraphKeyAction::confirmDelete;
    return GraphKeyAction::ignore;
}

GraphKeyAction arrowKey(int key)
{
    switch (key) {
    case Qt::Key_Left:
        return GraphKeyAction::previewPrevious;
    case Qt::Key_Right:
        return GraphKeyAction::previewNext;
    case Qt::Key_Up:
        return GraphKeyAction::followPreviewedRelation;
    default:
        return GraphKeyAction::navigateBack;
    }
}

} // namespace

GraphKeyState GraphKeyState::of(const GraphViewModel& model)
{
    return {!model.content().nodes().isEmpty(), model.commands().pendingDeleteItem().has_value(),
            model.commands().pendingRelationDelete().has_value(),
            model.selection().linkingSourceNodeID().has_value()};
}

GraphKeyAction GraphKeyMap::action(int key, Qt::KeyboardModifiers modifiers, const GraphKeyState& state)
{
    const bool command = modifiers & (Qt::ControlModifier | Qt::MetaModifier);
    if (state.pendingRelationDelete || state.pendingDelete)
        return confirmationKey(key, command, state.pendingRelationDelete);
    if (key == Qt::Key_Escape)
        return state.linking ? GraphKeyAction::cancelLinking : GraphKeyAction::close;
    if (command)
        return key == Qt::Key_Backspace ? GraphKeyAction::requestDeleteSelected : GraphKeyAction::passOn;
    if (key == Qt::Key_Return)
        return GraphKeyAction::openSelected;
    if (isArrow(key))
        return state.hasNodes ? arrowKey(key) : GraphKeyAction::ignore;
    return GraphKeyAction::passOn;
}

bool GraphKeyMap::handle(GraphViewModel& model, int key, Qt::KeyboardModifiers modifiers,
                         const std::function<void()>& close)
{
    GraphCommands& commands = model.commands();
    GraphNavigation& navigation = model.navigation();
    switch (action(key, modifiers, GraphKeyState::of(model))) {
    case GraphKeyAction::passOn:
        return false;
    case GraphKeyAction::ignore:
        break;
    case GraphKeyAction::openSelected:
        commands.openSelected();
        break;
    case GraphKeyAction::requestDeleteSelected:
        commands.requestDeleteSelected();
        break;
    case GraphKeyAction::confirmDelete:
        commands.confirmDelete();
        break;
    case GraphKeyAction::cancelDelete:
        commands.cancelDelete();
        break;
    case GraphKeyAction::confirmRelationDelete:
        commands.confirmRelationDelete();
        break;
    case GraphKeyAction::cancelRelationDelete:
        commands.cancelRelationDelete();
        break;
    case GraphKeyAction::cancelLinking:
        commands.cancelLinking();
        break;
    case GraphKeyAction::close:
        if (close)
            close();
        break;
    case GraphKeyAction::previewPrevious:
        navigation.previewNeighbor(true);
        break;
    case GraphKeyAction::previewNext:
        navigation.previewNeighbor(false);
        break;
    case GraphKeyAction::followPreviewedRelation:
        navigation.followPreviewedRelation();
        break;
    case GraphKeyAction::navigateBack:
        navigation.navigateBack();
        break;
    }
    return true;
}

} // namespace morvane
