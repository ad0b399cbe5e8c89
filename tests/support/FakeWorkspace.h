#pragma once

#include "platform/Workspace.h"

namespace morvane::test {

// A desktop whose front application the test sets. activate() is what the desktop does on a switch:
// the application comes to the front with a window of its own and the notice goes out.
class FakeWorkspace final : public Workspace {
public:
    static inline const QString ownIdentifier = QStringLiteral("org.morvane.Morvane");

    explicit FakeWorkspace(std::optional<QString> frontIdentifier = std::nullopt)
    {
        if (frontIdentifier)
            showWindow(RunningApplication{*frontIdentifier, 100}, {});
    }

    std::optional<RunningApplication> frontmostApplication() const override { return front; }
    QList<RunningApplication> runningApplications() const override { return running; }
    QString ownApplicationIdentifier() const override { return ownIdentifier; }
    std::optional<DesktopWindow> frontWindow() const override { return front ? window : std::nullopt; }
    std::optional<DesktopWindow> windowBeforeOwn() const override { return beforeOwn; }

    void activate(const QString& identifier, qint64 processId = 100, const QString& title = {},
                  const QString& windowClass = {}, const QString& desktopId = {})
    {
        showWindow(RunningApplication{identifier, processId, desktopId}, title, windowClass);
        emit applicationActivated(identifier);
    }
    // Nothing the desktop can see is in front any more (a native Wayland window took the keyboard).
    void clearFront()
    {
        front.reset();
        window.reset();
        beforeOwn.reset();
        emit applicationActivated(QString());
    }
    // The window in front is retitled (another tab, another note).
    void retitle(const QString& title)
    {
        if (window && beforeOwn && beforeOwn->windowId == window->windowId)
            beforeOwn->title = title;
        if (window)
            window->title = title;
    }
    // This application comes to the front (the quick panel opens over the other one).
    void activateOwn() { activate(ownIdentifier, 1); }

    std::optional<RunningApplication> front;
    QList<RunningApplication> running;
    std::optional<DesktopWindow> window;
    std::optional<DesktopWindow> beforeOwn;

private:
    void showWindow(const RunningApplication& application, const QString& title,
                    const QString& windowClass = {})
    {
        front = application;
        window = DesktopWindow{++m_lastWindowId, application, title, {}, windowClass};
        if (application.identifier != ownIdentifier)
            beforeOwn = window;
    }

    quint32 m_lastWindowId = 0;
};

} // namespace morvane::test
