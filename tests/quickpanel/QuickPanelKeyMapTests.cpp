#include "quickpanel/QuickPanelKeyMap.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

using A = QuickPanelKeyAction;
using State = QuickPanelInputState;

constexpr Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier, super = Qt::MetaModifier,
                                shift = Qt::ShiftModifier, alt = Qt::AltModifier, keypad = Qt::KeypadModifier;
constexpr State search{}, add{.addMode = true}, choose{.choosingRelationSource = true};
constexpr QuickPanelKeyResult passOn{A::none, false}, swallow{A::none, true};
constexpr QuickPanelKeyResult take(A action)
{
    return {action, true};
}

struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    State state;
    QuickPanelKeyResult expected;
};

void expectCases(const std::vector<KeyCase>& cases)
{
    for (const KeyCase& c : cases)
        EXPECT_EQ(quickPanelKeyAction(c.key, c.modifiers, c.state), c.expected) << c.name;
}

TEST(QuickPanelKeyMapTests, FollowsTheRulesInOrderWithNothingPending)
{
    expectCases({
        {"Super-Delete", Qt::Key_Delete, super, search, take(A::requestDelete)},
        {"Ctrl-Shift-Delete in add mode", Qt::Key_Delete, ctrl | shift, add, take(A::requestRemoveRelation)},
        {"Ctrl-Shift-Escape", Qt::Key_Escape, ctrl | shift, search, take(A::hide)},
        {"Escape in add mode", Qt::Key_Escape, none, add, take(A::hide)},
        {"Return in add mode", Qt::Key_Return, none, add, passOn},
        {"Ctrl-C in add mode", Qt::Key_C, ctrl, add, passOn},
        {"Ctrl-Shift-C", Qt::Key_C, ctrl | shift, search, passOn},
        {"Ctrl-N", Qt::Key_N, ctrl, search, take(A::beginAdd)},
        {"Super-K", Qt::Key_K, super, choose, take(A::beginRelation)},
        {"Ctrl-keypad Enter", Qt::Key_Enter, ctrl | keypad, search, take(A::openActionMenu)},
        {"Ctrl-X", Qt::Key_X, ctrl, search, passOn},
        {"Shift-Return", Qt::Key_Return, shift, search, passOn},
        {"Alt-Return", Qt::Key_Return, alt, search, take(A::activate)},
        {"keypad Enter", Qt::Key_Enter, keypad, search, take(A::activate)},
        {"Return while choosing", Qt::Key_Return, none, choose, take(A::completeRelation)},
        {"keypad Up with Num Lock", Qt::Key_Up, keypad, search, take(A::movePrevious)},
        {"typing", Qt::Key_A, none, search, passOn},
    });
}

TEST(QuickPanelKeyMapTests, APendingConfirmationOwnsTheKeyboard)
{
    constexpr State deleting{.deletePending = true},
        both{.relationDeletePending = true, .deletePending = true},
        addDeleting{.addMode = true, .deletePending = true};
    expectCases({
        {"Escape", Qt::Key_Escape, none, deleting, take(A::cancelDelete)},
        {"Ctrl-Backspace", Qt::Key_Backspace, ctrl, deleting, take(A::confirmDelete)},
        {"Ctrl-Shift-Backspace never deletes the link", Qt::Key_Backspace, ctrl | shift, deleting, swallow},
        {"Escape, relation card first", Qt::Key_Escape, none, both, take(A::cancelRelationDelete)},
        {"Return, relation card first", Qt::Key_Return, none, both, take(A::confirmRelationDelete)},
        {"Ctrl-Shift-Delete", Qt::Key_Delete, ctrl | shift, both, take(A::confirmRelationDelete)},
        {"Escape in add mode", Qt::Key_Escape, none, addDeleting, take(A::cancelDelete)},
        {"typing in add mode", Qt::Key_A, none, addDeleting, swallow},
    });
}

} // namespace
} // namespace morvane
