#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <span>

namespace morvane {

// One key a shortcut can name: its stored key code and an X keysym that types it.
struct HotkeyKeyEntry {
    quint16 keyCode;
    quint32 keysym;
};

// Shortcuts are stored with the key numbering of the system's original keyboards; on X they are
// typed through keysyms, which the current layout turns into keycodes. This is the one table
// between the two: a key code may appear more than once (the first keysym is the one grabbed, the
// others are what the same key reports at level 0, such as a keypad digit without Num Lock), and a
// keysym appears at most once.
std::span<const HotkeyKeyEntry> hotkeyKeyTable();

// The keysym to grab for a stored key code; nothing for a code no key of ours stands for.
std::optional<quint32> keysymForKeyCode(quint16 keyCode);

// The XKB name of the key in the place a stored key code stands for ("AC09" for L): letters, digits
// and punctuation of the main block, the keys that a layout may give other symbols. Empty for the
// rest, whose keysyms every layout has.
QByteArray xkbKeyNameForKeyCode(quint16 keyCode);

// A stored shortcut in the text form of the desktop's shortcuts portal: the modifiers CTRL, ALT,
// SHIFT and LOGO (the stored Command) in that order, then the keysym's name, joined by "+"
// ("CTRL+LOGO+l"). Empty for a key code no key of ours stands for.
QString portalTriggerText(quint16 keyCode, quint32 carbonModifiers);

} // namespace morvane
