#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

namespace morvane {

// Who a system-wide shortcut belongs to: a four-character signature and a number. A press reports
// the identity it was registered with.
struct HotkeyIdentity {
    quint32 signature = 0;
    quint32 id = 0;

    bool operator==(const HotkeyIdentity&) const = default;
};

// A registered shortcut, as the backend knows it.
using HotkeyRef = quint64;

// The answer to one registration: a status (0 when it worked) and, on success, the reference that
// releases it again.
struct HotkeyRegistrationResult {
    int status = 0;
    std::optional<HotkeyRef> ref;
};

// Status codes besides the window system's own error codes (which are positive).
namespace HotkeyStatus {
constexpr int noError = 0;
// No key of the current keyboard layout types the key code.
constexpr int keyNotOnKeyboard = -1;
// There is no display connection that can hold system-wide shortcuts.
constexpr int noDisplay = -2;
} // namespace HotkeyStatus

// Holds system-wide shortcuts for the process: a key code (the stored key numbering) with a
// modifier mask (the stored modifier bits), reported by identity when pressed. Main thread only.
class HotkeyBackend {
public:
    using PressHandler = std::function<void(HotkeyIdentity)>;

    virtual ~HotkeyBackend() = default;

    // The handler runs inside the event dispatch of the press; it must only schedule work.
    virtual void installPressHandler(PressHandler handler) = 0;
    virtual HotkeyRegistrationResult registerHotkey(quint16 keyCode, quint32 carbonModifiers,
                                                    HotkeyIdentity identity) = 0;
    virtual void unregisterHotkey(HotkeyRef ref) = 0;
    // A backend may hold the keyboard from a shortcut's press until a window of ours takes the focus,
    // to give it the keys typed at once; told that the shortcut hid its window instead, it lets go.
    // Every backend says what it does with it, and one that wraps another passes it on.
    virtual void endKeyHold() = 0;
};

} // namespace morvane
