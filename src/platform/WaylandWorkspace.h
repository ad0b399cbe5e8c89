#pragma once

#include "platform/NativeFrontWindow.h"
#include "platform/Workspace.h"

#include <memory>

namespace morvane {

class Clock;
class ClockTimer;

// The workspace of a Wayland session: the X display (Xwayland) names the X11 windows in front, and
// when it names none, a native window is in front, which only the accessibility bus can name. The
// window found there becomes the front application (its notice held back until the bus answered,
// so listeners hear one notice), is looked up again on the bus's window activation events and every
// second while no X11 window is in front (a switch between two native windows leaves the X display
// as it was), and is remembered as the window before ours when one of our windows takes the focus.
// With the bus off, native windows are not seen: said once in the log, and nothing is in front.
//
// A lookup is bounded: a bus that does not answer in time (an application that hangs, a bus switched
// meanwhile) leaves an unknown window in front, and the held notice goes out as nothing in front, so
// no reader keeps reading a window behind it.
class WaylandWorkspace final : public Workspace {
    Q_OBJECT
public:
    // How often a native front window is looked up again.
    static constexpr std::chrono::milliseconds nativeRecheck{1000};
    // How long one lookup may take before the window in front counts as unknown.
    static constexpr std::chrono::milliseconds lookupBound{500};

    WaylandWorkspace(std::shared_ptr<Workspace> display, NativeFrontWindow nativeFront,
                     const std::shared_ptr<Clock>& clock, QObject* parent = nullptr);
    ~WaylandWorkspace() override;

    std::optional<RunningApplication> frontmostApplication() const override;
    QList<RunningApplication> runningApplications() const override;
    QString ownApplicationIdentifier() const override;
    std::optional<DesktopWindow> frontWindow() const override;
    std::optional<DesktopWindow> windowBeforeOwn() const override;

private:
    void displayActivated(const QString& identifier);
    void lookUpNative();
    void lookupAnswered(quint64 lookup, quint64 generation, const std::optional<NativeWindow>& window);
    void lookupTimedOut();
    void nativeFound(const std::optional<NativeWindow>& window);

    std::shared_ptr<Workspace> m_display;
    NativeFrontWindow m_nativeFront;
    std::unique_ptr<ClockTimer> m_recheck;
    std::unique_ptr<ClockTimer> m_lookupTimeout;
    std::optional<DesktopWindow> m_native;
    std::optional<DesktopWindow> m_nativeBeforeOwn;
    // Answers to an older lookup are dropped.
    quint64 m_generation = 0;
    // The lookup in flight, if any; an answer after its time-out is dropped.
    quint64 m_lookup = 0;
    bool m_looking = false;
    // The display's notice that nothing of its own is in front waits for the bus's answer.
    bool m_noticeHeld = false;
    bool m_unreadableLogged = false;
    bool m_timeoutLogged = false;
};

} // namespace morvane
