#pragma once

// GLib's headers name struct members "signals", which Qt's headers define as a keyword: whoever
// includes this header includes it before any Qt header.
#include <atspi/atspi.h>

#include "platform/GObjectRef.h"

#include <QByteArrayView>
#include <QSet>
#include <QString>

#include <array>
#include <functional>

namespace morvane {

// Keeps what libatspi holds of the elements read true between jobs.
//
// Between jobs the library itself keeps each object's states, kept true only by the events that
// reach it; an application announces a change of what a window shows (another tab, a page loaded,
// the window activated) on the window or the document, not on each element whose SHOWING moved with
// it. So the events of the frames and documents read here are listened to, and each drops what it
// makes stale: the states of its own element and, for a change of what a window shows, those of every
// element of that application whose states are kept. The library's event handler runs on the
// accessibility thread and may not call the bus from there (it would wait on itself): dropping only
// clears what the library holds, and the next read asks the application.
//
// Made, used and destroyed on the accessibility thread, once libatspi is set up.
class AtspiEventWatch {
public:
    // Listens from now on; windowActivated is told on the thread when a window was activated or a
    // frame's active state changed, renamed with the new name when an element that may be a status
    // bar (one known as one, or one whose role is not known here) was renamed.
    AtspiEventWatch(std::function<void()> windowActivated, std::function<void(const QString&)> renamed);
    // Stops listening: nothing of the library's calls back into this object after it.
    ~AtspiEventWatch();
    AtspiEventWatch(const AtspiEventWatch&) = delete;
    AtspiEventWatch& operator=(const AtspiEventWatch&) = delete;

    // The object's states were read: they are dropped when an event makes them stale, for as long as
    // the library keeps the object.
    void keepStates(AtspiAccessible* object);
    // The states kept of every element of the application the object belongs to are read again at
    // their next read: a change the application made just now may have its event still on the way.
    void dropStatesOfApplication(const AtspiAccessible& object);
    // How many events have come, of every application: while it stays, no application announced a
    // change of what it shows.
    quint64 changesSeen() const { return m_changesSeen; }

private:
    // A list's selection and its cursor are listened to for the readers that wait for an item to be
    // selected (changesSeen): both move only at the user's hand.
    static constexpr std::array<const char*, 10> events{
        "window:activate",
        "window:deactivate",
        "object:state-changed:showing",
        "object:state-changed:focused",
        "object:state-changed:selected",
        "object:state-changed:active",
        "document:load-complete",
        "object:property-change:accessible-name",
        "object:selection-changed",
        "object:active-descendant-changed",
    };

    void dropStale(const AtspiEvent& event);
    // The events after which other elements than the source show or hide: a window activated, a
    // page loaded or shown, a window or a document renamed (a tab switch renames its window).
    static bool changesWhatIsShown(QByteArrayView type, const AtspiAccessible& source);
    static void dropStates(AtspiAccessible* object);
    static void released(gpointer watch, GObject* gone);

    std::function<void()> m_windowActivated;
    std::function<void(const QString&)> m_renamed;
    GObjectRef<AtspiEventListener> m_listener;
    // The objects whose states were read, each watched until the library lets it go.
    QSet<AtspiAccessible*> m_statesKept;
    quint64 m_changesSeen = 0;
};

} // namespace morvane
