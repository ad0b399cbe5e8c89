#pragma once

#include <Qt>

#include <functional>

namespace morvane {

class GraphViewModel;

// What a key pressed in the Graph window does.
enum class GraphKeyAction {
    passOn, // not the graph's: the window handles it
    ignore, // the graph's, and nothing happens
    openSelected,
    requestDeleteSelected,
    confirmDelete,
    cancelDelete,
    confirmRelationDelete,
    cancelRelationDelete,
    cancelLinking,
    close,
    previewPrevious,
    previewNext,
    followPreviewedRelation,
    navigateBack,
};

// The part of the model's state the keys depend on.
struct GraphKeyState {
    bool hasNodes = false;
    bool pendingDelete = false;
    bool pendingRelationDelete = false;
    bool linking = false;

    static GraphKeyState of(const GraphViewModel& model);
};

// The Graph window's keys. Command is Ctrl or Super; Shift, Alt and the keypad do not change a key's
// meaning. With nothing waiting for confirmation: Return opens the selected item, Command-Backspace
// asks to delete it, the arrows walk relations (swallowed in an empty graph), and Escape cancels link
// mode or else closes the window; every other key is passed on. While a deletion or relation removal
// waits for confirmation its card owns the keyboard: Return, Enter and Command-Backspace confirm it,
// Escape cancels it, and other keys do nothing, so a key meant for the card never opens an item.
class GraphKeyMap {
public:
    static GraphKeyAction action(int key, Qt::KeyboardModifiers modifiers, const GraphKeyState& state);

    // Carries out the key's action on the model (close runs the given action). False when the key is
    // passed on.
    static bool handle(GraphViewModel& model, int key, Qt::KeyboardModifiers modifiers,
                       const std::function<void()>& close);
};

} // namespace morvane
