#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace morvane {

// One running application as the desktop knows it. The identifier is the one the context providers
// recognise (for example "md.obsidian"); empty when the application has none.
struct RunningApplication {
    QString identifier;
    qint64 processId = 0; // 0 when unknown
    // The id it gives its desktop entry: its GTK application id, or the desktop file its window
    // names (without ".desktop"); empty without either.
    QString desktopId = {};

    bool operator==(const RunningApplication&) const = default;
};

// One top-level window as the desktop describes it.
struct DesktopWindow {
    quint32 windowId = 0;
    RunningApplication application;
    QString title;         // _NET_WM_NAME, else WM_NAME; what accessibility names the window's frame
    QString gtkObjectPath; // _GTK_WINDOW_OBJECT_PATH of a GTK application's window; empty otherwise
    QString windowClass;   // the class of its WM_CLASS ("XTerm"), the name users know; empty without one

    bool operator==(const DesktopWindow&) const = default;
};

// The applications on the user's desktop: which one is in front, which ones run, and a notice each
// time another application comes to the front. Used on the main thread only.
class Workspace : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Nothing when no application is in front or the desktop cannot tell.
    virtual std::optional<RunningApplication> frontmostApplication() const = 0;
    // In the desktop's order, each application once.
    virtual QList<RunningApplication> runningApplications() const = 0;
    // This application's own identifier.
    virtual QString ownApplicationIdentifier() const = 0;

    // The window in front, read now (its title follows a tab switch); nothing when none is.
    virtual std::optional<DesktopWindow> frontWindow() const { return std::nullopt; }
    // The last window of another application that was in front before this application's own
    // windows took the focus, read now; nothing when it is gone or there was none.
    virtual std::optional<DesktopWindow> windowBeforeOwn() const { return std::nullopt; }

    // The frontmost application's identifier; nothing when no application is in front.
    std::optional<QString> frontmostIdentifier() const;
    // The window a capture reads: the one in front, or while this application's own window is in
    // front (the quick panel over a browser), the one the user came from.
    std::optional<DesktopWindow> captureWindow() const;

signals:
    // Another application came to the front (not merely another window of the same one); an empty
    // identifier when nothing this workspace can see is in front any more.
    void applicationActivated(const QString& identifier);
};

} // namespace morvane
