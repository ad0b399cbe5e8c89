#include "quickpanel/QuickPanelKeyMap.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

using Action = QuickPanelKeyAction;

constexpr Qt::KeyboardModifiers none = Qt::NoModifier;
constexpr Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers super = Qt::MetaModifier;
constexpr Qt::KeyboardModifiers shift = Qt::ShiftModifier;
constexpr Qt::KeyboardModifiers alt = Qt::AltModifier;
constexpr Qt::KeyboardModifiers keypad = Qt::KeypadModifier;

struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QuickPanelInputState state;
    QuickPanelKeyResult expected;
};

const QuickPanelInputState searching{};
const QuickPanelInputState adding{.addMode = true};
const QuickPanelInputState choosing{.choosingRelationSource = true};
const QuickPanelInputState deletePending{.deletePending = true};
const QuickPanelInputState bothPending{.relationDeletePending = true, .deletePending = true};
const QuickPanelInputState addingWithDeletePending{.addMode = true, .deletePending = true};

constexpr QuickPanelKeyResult take(Action action)
{
    return {action, true};
}
constexpr QuickPanelKeyResult passOn{Action::none, false};
constexpr QuickPanelKeyResult swallow{Action::none, true};

void expectCases(const std::vector<KeyCase>& cases)
{
    for (const KeyCase& c : cases)
        EXPECT_EQ(quickPanelKeyAction(c.key, c.modifiers, c.state), c.expected) << c.name;
}

TEST(QuickPanelKeyMapTests, FollowsTheRulesInOrderWithNothingPending)
{
    expectCases({
        {"Ctrl-Backspace deletes", Qt::Key_Backspace, ctrl, searching, take(Action::requestDelete)},
        {"Super-Delete deletes", Qt::Key_Delete, super, searching, take(Action::requestDelete)},
        {"Ctrl-Shift-Backspace removes a relation", Qt::Key_Backspace, ctrl | shift, searching,
         take(Action::requestRemoveRelation)},
        {"Ctrl-Delete in add mode", Qt::Key_Delete, ctrl, adding, take(Action::requestDelete)},
        {"Ctrl-Shift-Delete in add mode", Qt::Key_Delete, ctrl | shift, adding,
         take(Action::requestRemoveRelation)},
        {"plain Backspace edits the query", Qt::Key_Backspace, none, searching, passOn},
        {"Escape hides", Qt::Key_Escape, none, searching, take(Action::hide)},
        {"Ctrl-Shift-Escape hides", Qt::Key_Escape, ctrl | shift, searching, take(Action::hide)},
        {"Escape in add mode hides", Qt::Key_Escape, none, adding, take(Action::hide)},
        {"Return in add mode", Qt::Key_Return, none, adding, passOn},
        {"Down in add mode", Qt::Key_Down, none, adding, passOn},
        {"Ctrl-C in add mode", Qt::Key_C, ctrl, adding, passOn},
        {"Ctrl-Return in add mode", Qt::Key_Return, ctrl, adding, passOn},
        {"Ctrl-Shift-C", Qt::Key_C, ctrl | shift, searching, passOn},
        {"Ctrl-Shift-Return", Qt::Key_Return, ctrl | shift, searching, passOn},
        {"Ctrl-C copies", Qt::Key_C, ctrl, searching, take(Action::copyDefault)},
        {"Super-C copies", Qt::Key_C, super, searching, take(Action::copyDefault)},
        {"Ctrl-Alt-C copies", Qt::Key_C, ctrl | alt, searching, take(Action::copyDefault)},
        {"Ctrl-B backlinks", Qt::Key_B, ctrl, searching, take(Action::showBacklinks)},
        {"Ctrl-N adds", Qt::Key_N, ctrl, searching, take(Action::beginAdd)},
        {"Ctrl-K relates", Qt::Key_K, ctrl, choosing, take(Action::beginRelation)},
        {"Ctrl-Return opens the menu", Qt::Key_Return, ctrl, searching, take(Action::openActionMenu)},
        {"Ctrl-Enter opens the menu", Qt::Key_Enter, ctrl | keypad, searching, take(Action::openActionMenu)},
        {"Ctrl-X", Qt::Key_X, ctrl, searching, passOn},
        {"Ctrl-Down", Qt::Key_Down, ctrl, searching, passOn},
        {"Shift-Return", Qt::Key_Return, shift, searching, passOn},
        {"Shift-Down", Qt::Key_Down, shift, searching, passOn},
        {"Return activates", Qt::Key_Return, none, searching, take(Action::activate)},
        {"Alt-Return activates", Qt::Key_Return, alt, searching, take(Action::activate)},
        {"keypad Enter activates", Qt::Key_Enter, keypad, searching, take(Action::activate)},
        {"Return while choosing", Qt::Key_Return, none, choosing, take(Action::completeRelation)},
        {"Down", Qt::Key_Down, none, searching, take(Action::moveNext)},
        {"keypad Up with Num Lock", Qt::Key_Up, keypad, searching, take(Action::movePrevious)},
        {"Down with a group switch", Qt::Key_Down, Qt::GroupSwitchModifier, choosing, take(Action::moveNext)},
        {"typing", Qt::Key_A, none, searching, passOn},
        {"Shift typing", Qt::Key_A, shift, searching, passOn},
        {"Tab", Qt::Key_Tab, none, searching, passOn},
    });
}

TEST(QuickPanelKeyMapTests, APendingConfirmationOwnsTheKeyboard)
{
    expectCases({
        {"Escape cancels the delete", Qt::Key_Escape, none, deletePending, take(Action::cancelDelete)},
        {"Return confirms the delete", Qt::Key_Return, none, deletePending, take(Action::confirmDelete)},
        {"keypad Enter confirms", Qt::Key_Enter, keypad, deletePending, take(Action::confirmDelete)},
        {"Ctrl-Backspace confirms", Qt::Key_Backspace, ctrl, deletePending, take(Action::confirmDelete)},
        {"Ctrl-Shift-Backspace never deletes the link", Qt::Key_Backspace, ctrl | shift, deletePending,
         swallow},
        {"Ctrl-Return does not open the menu", Qt::Key_Return, ctrl, deletePending, swallow},
        {"Ctrl-C does not copy", Qt::Key_C, ctrl, deletePending, swallow},
        {"Down does not move", Qt::Key_Down, none, deletePending, swallow},
        {"typing does not reach the search", Qt::Key_A, none, deletePending, swallow},
        {"Backspace does not edit the search", Qt::Key_Backspace, none, deletePending, swallow},
        {"relation card first on Escape", Qt::Key_Escape, none, bothPending,
         take(Action::cancelRelationDelete)},
        {"relation card first on Return", Qt::Key_Return, none, bothPending,
         take(Action::confirmRelationDelete)},
        {"Ctrl-Shift-Delete confirms the relation", Qt::Key_Delete, ctrl | shift, bothPending,
         take(Action::confirmRelationDelete)},
        {"Escape in add mode cancels first", Qt::Key_Escape, none, addingWithDeletePending,
         take(Action::cancelDelete)},
        {"Return in add mode confirms", Qt::Key_Return, none, addingWithDeletePending,
         take(Action::confirmDelete)},
        {"typing in add mode is held back", Qt::Key_A, none, addingWithDeletePending, swallow},
    });
}

} // namespace
} // namespace morvane
