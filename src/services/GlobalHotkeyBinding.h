#pragma once

#include <QByteArray>
#include <QString>
#include <Qt>

#include <optional>

namespace morvane {

// A system-wide shortcut as it is stored: a key code in the stored key numbering (L = 37, G = 5,
// Space = 49, F1 = 122) and a modifier mask of the bits below.
struct GlobalHotkeyBinding {
    // The stored modifier bits.
    static constexpr quint32 commandKey = 0x100;
    static constexpr quint32 shiftKey = 0x200;
    static constexpr quint32 optionKey = 0x800;
    static constexpr quint32 controlKey = 0x1000;

    // The event modifier flags the stored bits were taken from (carbonModifiersFromEventFlags).
    static constexpr quint64 shiftFlag = 0x20000;
    static constexpr quint64 controlFlag = 0x40000;
    static constexpr quint64 optionFlag = 0x80000;
    static constexpr quint64 commandFlag = 0x100000;

    quint16 keyCode = 0;
    quint32 carbonModifiers = 0;

    bool operator==(const GlobalHotkeyBinding&) const = default;

    // At least one modifier, and a key that is not itself a modifier.
    bool isValid() const;
    // The modifier symbols followed by the key's symbol, as "⌃⌘L"; a modifier key shows its symbols
    // alone, or "…" when there are none. The logs' form; what the user reads is shortcutText().
    QString displayString() const;
    // The combination as a Linux desktop shows it, as "Ctrl+Super+L" (Command is the Super key); a
    // modifier key shows the modifiers alone, or "…" when there are none.
    QString shortcutText() const;

    // {"keyCode":37,"carbonModifiers":4352}
    QByteArray toJson() const;
    // Both keys are required, each a non-negative integer that fits its field; other keys are ignored.
    static std::optional<GlobalHotkeyBinding> fromJson(const QByteArray& json);

    // The key codes of the modifier keys themselves: right Command, Command, Shift, Caps Lock,
    // Option, Control, right Shift, right Option, right Control.
    static bool isModifierKey(quint16 keyCode);
    // "⌃⌥⇧⌘" for the bits that are set, in that order.
    static QString modifierSymbols(quint32 carbonModifiers);
    // "Ctrl+Alt+Shift+Super" for the bits that are set.
    static QString modifierText(quint32 carbonModifiers);
    // The key's symbol in the logs' form ("↩", "⌫").
    static QString keyName(quint16 keyCode);
    // The key's name as the user reads it ("Return", "Backspace").
    static QString keyText(quint16 keyCode);

    static quint32 carbonModifiersFromEventFlags(quint64 flags);
    // Global shortcuts take Meta (the Super key) as Command.
    static quint32 carbonModifiersFromQt(Qt::KeyboardModifiers modifiers);
};

} // namespace morvane
