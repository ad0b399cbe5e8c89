#include "QuickPanelKeyMap.h"

namespace morvane {

namespace {

using Action = QuickPanelKeyAction;

constexpr QuickPanelKeyResult consumed(Action action)
{
    return {action, true};
}
constexpr QuickPanelKeyResult passOn()
{
    return {Action::none, false};
}

bool isReturn(Qt::Key key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
bool isDelete(Qt::Key key)
{
    return key == Qt::Key_Backspace || key == Qt::Key_Delete;
}

QuickPanelKeyResult confirmationKey(Qt::Key key, bool command, bool shift, const QuickPanelInputState& state)
{
    const bool relationOnTop = state.relationDeletePending;
    if (key == Qt::Key_Escape)
        return consumed(relationOnTop ? Action::cancelRelationDelete : Action::cancelDelete);
    // Command-Return would open the menu behind the card, so only a plain Return confirms.
    // Command-Shift-Delete asked for the relation card, so it may confirm that one; it never confirms
    // deleting the link itself.
    const bool confirms =
        (isReturn(key) && !command) || (command && isDelete(key) && (!shift || relationOnTop));
    if (confirms)
        return consumed(relationOnTop ? Action::confirmRelationDelete : Action::confirmDelete);
    return consumed(Action::none);
}

QuickPanelKeyResult commandKey(Qt::Key key)
{
    switch (key) {
    case Qt::Key_C:
        return consumed(Action::copyDefault);
    case Qt::Key_B:
        return consumed(Action::showBacklinks);
    case Qt::Key_N:
        return consumed(Action::beginAdd);
    case Qt::Key_K:
        return consumed(Action::beginRelation);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return consumed(Action::openActionMenu);
    default:
        return passOn();
    }
}

} // namespace

QuickPanelKeyResult quickPanelKeyAction(Qt::Key key, Qt::KeyboardModifiers modifiers,
                                        const QuickPanelInputState& state)
{
    const bool command = modifiers & (Qt::ControlModifier | Qt::MetaModifier);
    const bool shift = modifiers & Qt::ShiftModifier;

    if (state.confirmationPending())
        return confirmationKey(key, command, shift, state);

    if (command && isDelete(key))
        return consumed(shift ? Action::requestRemoveRelation : Action::requestDelete);
    if (key == Qt::Key_Escape)
        return consumed(Action::hide);
    if (state.addMode)
        return passOn();
    if (command)
        return shift ? passOn() : commandKey(key);
    if (shift)
        return passOn();

    if (isReturn(key))
        return consumed(state.choosingRelationSource ? Action::completeRelation : Action::activate);
    if (key == Qt::Key_Down)
        return consumed(Action::moveNext);
    if (key == Qt::Key_Up)
        return consumed(Action::movePrevious);
    return passOn();
}

} // namespace morvane
