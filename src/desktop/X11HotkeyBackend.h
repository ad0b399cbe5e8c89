#pragma once

#include "platform/HotkeyBackend.h"

#include <QAbstractNativeEventFilter>

#include <memory>

namespace morvane {

// System-wide shortcuts on X11: passive key grabs on the root windows, held by a thread of their own
// on a connection of their own (X11KeyGrabThread); the keyboard mapping is read on Qt's connection,
// whose native events say when it changes. A press's time is noted for the activation it leads to (an
// activation stamped with it passes the window manager's focus-stealing prevention).
//
// Each shortcut grabs every keycode that types its keysym in the current layout, once for each
// combination of Caps Lock and Num Lock, and is grabbed again when the keyboard mapping changes.
// The stored Command modifier is Super and Option is Alt; their modifier bits, and Num Lock's, are
// read from the server's modifier mapping. A grab another client holds fails with BadAccess (the
// shortcut is in use); on a display that is not X11 every registration fails with
// HotkeyStatus::noDisplay. It lives inside the application's lifetime (it uses its connection).
//
// A press holds the keyboard until the window it shows takes the focus (at most 750 ms, then the keys
// typed are kept for that window a while): the keys a user types at once after the shortcut reach
// the window it shows, never the one in front before it. A press that hid our window lets them go to
// the window in front once it has the focus again.
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
    // The last press hid our window: the keys typed after it go to the window in front.
    void endKeyHold() override;

private:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace morvane
