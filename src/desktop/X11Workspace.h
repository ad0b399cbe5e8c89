#pragma once

#include "platform/Workspace.h"

#include <memory>

namespace morvane {

class Clock;
class ClockTimer;

// The workspace of an X11 desktop, read from the window manager's _NET_ACTIVE_WINDOW on a connection
// of its own (the GUI toolkit's connection keeps its own event mask), opened at the first question or
// the event loop's first turn, not while the application starts. A window belongs to this
// application when its _NET_WM_PID is this process; otherwise its application is named by the first
// present of _GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE and the WM_CLASS class, mapped to the
// identifiers the providers know. The window in front is described on request with its title and
// GTK object path, and so is the last window of another application in front before one of ours. Without a
// display, without a window manager that sets the active window, or in a Wayland session, no application is
// in front and no notice is sent. An active window cleared for longer than a switch takes (a native
// Wayland window in front of Xwayland's) means that nothing is in front: a notice without an application
// says so, and the window before ours is forgotten.
class X11Workspace final : public Workspace {
    Q_OBJECT
public:
    X11Workspace(QString ownIdentifier, const std::shared_ptr<Clock>& clock, QObject* parent = nullptr);
    ~X11Workspace() override;

    std::optional<RunningApplication> frontmostApplication() const override;
    QList<RunningApplication> runningApplications() const override;
    QString ownApplicationIdentifier() const override { return m_ownIdentifier; }
    std::optional<DesktopWindow> frontWindow() const override;
    std::optional<DesktopWindow> windowBeforeOwn() const override;

    // Whether the display could be reached; false means no frontmost application, ever.
    bool isAvailable() const;

private:
    class Connection;

    // Opened at first use.
    Connection& connection() const;
    void open();
    void readEvents();
    quint32 currentActiveWindow();
    void activeWindowMayHaveChanged();
    void activeWindowCleared();
    void bringToFront(quint32 window);

    QString m_ownIdentifier;
    std::shared_ptr<Clock> m_clock;
    std::unique_ptr<Connection> m_x;
    std::unique_ptr<ClockTimer> m_clearedTimer;
    std::optional<RunningApplication> m_front;
    quint32 m_frontWindow = 0;
    quint32 m_windowBeforeOwn = 0;
};

} // namespace morvane
