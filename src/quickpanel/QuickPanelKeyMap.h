#pragma once

#include <Qt>

namespace morvane {

// What the panel is doing when an input arrives, read from the view model at that moment. The input
// rules keep no state of their own.
struct QuickPanelInputState {
    bool addMode = false;
    bool choosingRelationSource = false;
    bool relationDeletePending = false;
    bool deletePending = false;

    bool confirmationPending() const { return relationDeletePending || deletePending; }
};

enum class QuickPanelKeyAction {
    none,
    requestRemoveRelation,
    requestDelete,
    confirmRelationDelete,
    confirmDelete,
    cancelRelationDelete,
    cancelDelete,
    hide,
    copyDefault,
    showBacklinks,
    beginAdd,
    beginRelation,
    openActionMenu,
    // The two Return steps: the controller awaits the command and hides the panel on its answer.
    completeRelation,
    activate,
    moveNext,
    movePrevious,
};

struct QuickPanelKeyResult {
    QuickPanelKeyAction action = QuickPanelKeyAction::none;
    // False lets the key go on to the focused control (typing, text selection, the add form).
    bool consumed = false;

    friend bool operator==(const QuickPanelKeyResult&, const QuickPanelKeyResult&) = default;
};

// The panel's keyboard, decided from the key, its modifiers and the panel's state. The window's
// event filter and the panel's own key handler both ask it, so a key gets the same answer whichever
// of them sees it first.
//
// Command is Ctrl or Super; Alt, the keypad flag (Num Lock) and group switches are never looked at.
// Enter acts as Return, Backspace as Delete and Delete as Forward Delete.
//
// While a confirmation card is showing it owns the keyboard, the relation card before the delete
// card: Return (without Command) and Command-Delete confirm it, Escape cancels it, and everything else is
// swallowed so that nothing behind the card (the list, the search field) changes under it.
QuickPanelKeyResult quickPanelKeyAction(Qt::Key key, Qt::KeyboardModifiers modifiers,
                                        const QuickPanelInputState& state);

} // namespace morvane
