#pragma once

#include "platform/HotkeyBackend.h"

#include <QAbstractNativeEventFilter>

#include <memory>

namespace morvane {

// System-wide shortcuts on X11: passive key grabs on the root windows, made through Qt's own xcb
// connection and watched by a native event filter, so that the press's timestamp reaches Qt before
// the action runs (an activation stamped with it passes the window manager's focus-stealing
// prevention).
//
// Each shortcut grabs every keycode that types its keysym in the current layout, once for each
// combination of Caps Lock and Num Lock, and is grabbed again when the keyboard mapping changes.
// The stored Command modifier is Super and Option is Alt; their modifier bits, and Num Lock's, are
// read from the server's modifier mapping. A grab another client holds fails with BadAccess (the
// shortcut is in use); on a display that is not X11 every registration fails with
// HotkeyStatus::noDisplay. It lives inside the application's lifetime (it uses its connection).
//
// A press while none of our windows has the keyboard holds the keyboard until one takes it (at most
// 750 ms), then types what was held into that window: the keys a user types at once after the
// shortcut reach the window it shows, not the one in front before it.
class X11HotkeyBackend : public HotkeyBackend, private QAbstractNativeEventFilter {
public:
    X11HotkeyBackend();
    ~X11HotkeyBackend() override;
    X11HotkeyBackend(const X11HotkeyBackend&) = delete;
    X11HotkeyBackend& operator=(const X11HotkeyBackend&) = delete;

    // True when the application runs on X11 and its connection can hold grabs.
    bool isAvailable() const;

    void installPressHandler(PressHandler handler) override;
    HotkeyRegistrationResult registerHotkey(quint16 keyCode, quint32 carbonModifiers,
                                            HotkeyIdentity identity) override;
    void unregisterHotkey(HotkeyRef ref) override;
    // Keys held since a shortcut's press go to the window that has the focus now, or are dropped.
    void endKeyHold() override;

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace morvane
