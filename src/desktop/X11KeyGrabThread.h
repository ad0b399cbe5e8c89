#pragma once

#include <QList>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace morvane {

// One passive grab: a keycode with an exact modifier state on one root window.
struct X11KeyGrab {
    std::uint32_t root = 0;
    std::uint8_t keycode = 0;
    std::uint16_t modifiers = 0;

    bool operator==(const X11KeyGrab&) const = default;
};

// The passive grabs of the system-wide shortcuts, on an X connection of their own read by a thread of
// its own, so that what happens to the keyboard after a press never waits for the main thread.
//
// A grab freezes the keyboard at its press: the server keeps every key typed after it, in order, until
// the thread lets them go. It lets them go
// - into a window of the application that takes the focus after the press (the window the shortcut
//   showed), once the main thread has acted on every press,
// - when told that the shortcut hid the application's window, once the focus is back in another
//   application's window,
// - at the latest holdLimit after the press. Unless a window of ours has the focus then, the keys typed
//   from that moment go to a small window of this connection, which takes the focus meanwhile, and are
//   given to the window of ours that takes the focus next; when none does within keepLimit, or the
//   shortcut hid its window, they are dropped and the focus goes back where it was.
// Keys kept are sent before the keyboard is free again, so none typed later overtakes them.
//
// The thread runs nothing else and takes no lock the main thread holds: the main thread speaks to it
// through one pipe, and it answers through another, read on the main thread's event loop.
class X11KeyGrabThread {
public:
    // Within the 750 ms a user may wait for the keyboard, with room for a thread scheduled late on a busy
    // machine.
    static constexpr std::chrono::milliseconds holdLimit{720};
    static constexpr std::chrono::milliseconds keepLimit{2000};

    struct Press {
        std::uint8_t keycode = 0;
        std::uint16_t state = 0;
        std::uint32_t time = 0;
    };
    using PressHandler = std::function<void(Press)>;

    // Windows whose id lies in [base, base | mask] are the application's (its own connection's).
    // Null when no connection to the display can be made. Presses are reported on the calling thread.
    static std::unique_ptr<X11KeyGrabThread> start(std::uint32_t ownResourceBase,
                                                   std::uint32_t ownResourceMask, PressHandler onPress);
    // Ends a hold, releases every grab, then the thread.
    ~X11KeyGrabThread();
    X11KeyGrabThread(const X11KeyGrabThread&) = delete;
    X11KeyGrabThread& operator=(const X11KeyGrabThread&) = delete;

    QList<std::uint32_t> roots() const;
    // Makes the grabs; answers the first X error (0 when all were granted) and the ones granted.
    int grab(const QList<X11KeyGrab>& keys, QList<X11KeyGrab>& granted);
    void ungrab(const QList<X11KeyGrab>& keys);
    // The main thread has acted on a press it was told of (in the order told).
    void pressHandled();
    // The last press hid the application's window instead of showing one.
    void shortcutHidItsWindow();

private:
    struct Private;
    explicit X11KeyGrabThread(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

} // namespace morvane
