#pragma once

#include <QString>

namespace morvane {

// The modifier keys of a combination as a Linux desktop names them.
enum class KeyModifier : unsigned {
    ctrl = 1u << 0,
    alt = 1u << 1,
    shift = 1u << 2,
    super = 1u << 3,
};

constexpr unsigned operator|(KeyModifier a, KeyModifier b)
{
    return static_cast<unsigned>(a) | static_cast<unsigned>(b);
}
constexpr unsigned operator|(unsigned a, KeyModifier b)
{
    return a | static_cast<unsigned>(b);
}

// Every key combination a user reads goes through here, so the tray menu, the panel's hints,
// Preferences and the README agree: "Ctrl+Alt+Shift+Super+L", the modifiers always in that order.
// An empty key gives the modifiers alone ("Ctrl+Super"), as while a combination is being pressed.
QString keyCombinationText(unsigned modifiers, const QString& key);
inline QString keyCombinationText(KeyModifier modifier, const QString& key)
{
    return keyCombinationText(static_cast<unsigned>(modifier), key);
}

// The names of the keys that have no letter on them, as the combinations above spell them.
namespace KeyName {
inline const QString returnKey = QStringLiteral("Return");
inline const QString backspace = QStringLiteral("Backspace");
inline const QString tab = QStringLiteral("Tab");
inline const QString space = QStringLiteral("Space");
inline const QString escape = QStringLiteral("Esc");
inline const QString deleteKey = QStringLiteral("Delete");
} // namespace KeyName

} // namespace morvane
