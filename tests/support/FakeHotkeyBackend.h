#pragma once

#include "platform/HotkeyBackend.h"

#include <QList>

#include <tuple>

namespace morvane::test {

// Ctrl+Super as the stored shortcuts carry it (Control and Command bits).
inline constexpr quint32 controlCommand = 0x1100;

// Holds shortcuts in memory. Combinations another application holds are refused with a status;
// press() plays a shortcut as the window system would report it.
class FakeHotkeyBackend : public HotkeyBackend {
public:
    struct Hotkey {
        HotkeyRef ref;
        quint16 keyCode;
        quint32 modifiers;
        HotkeyIdentity identity;
    };

    // Another application holds the combination: registering it answers the status (BadAccess).
    void refuse(quint16 keyCode, quint32 modifiers, int status = 10)
    {
        refused.append({keyCode, modifiers, status});
    }

    void installPressHandler(PressHandler handler) override
    {
        ++handlerInstalls;
        m_handler = std::move(handler);
    }
    HotkeyRegistrationResult registerHotkey(quint16 keyCode, quint32 modifiers,
                                            HotkeyIdentity identity) override
    {
        attempts.append(identity);
        for (const auto& [refusedKey, refusedModifiers, status] : std::as_const(refused)) {
            if (refusedKey == keyCode && refusedModifiers == modifiers)
                return {status, std::nullopt};
        }
        held.append({++m_lastRef, keyCode, modifiers, identity});
        return {HotkeyStatus::noError, m_lastRef};
    }
    void unregisterHotkey(HotkeyRef ref) override
    {
        held.removeIf([&](const Hotkey& hotkey) { return hotkey.ref == ref; });
    }
    void endKeyHold() override { ++keyHoldEnds; }

    // False when nothing holds the combination.
    bool press(quint16 keyCode, quint32 modifiers)
    {
        for (const Hotkey& hotkey : std::as_const(held)) {
            if (hotkey.keyCode == keyCode && hotkey.modifiers == modifiers && m_handler) {
                m_handler(hotkey.identity);
                return true;
            }
        }
        return false;
    }
    QList<quint32> heldIds() const
    {
        QList<quint32> ids;
        for (const Hotkey& hotkey : held)
            ids.append(hotkey.identity.id);
        return ids;
    }

    QList<Hotkey> held;
    QList<std::tuple<quint16, quint32, int>> refused;
    QList<HotkeyIdentity> attempts;
    int handlerInstalls = 0;
    int keyHoldEnds = 0;

private:
    PressHandler m_handler;
    HotkeyRef m_lastRef = 0;
};

} // namespace morvane::test
