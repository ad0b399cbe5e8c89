#pragma once

#include <QFuture>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace morvane {

class ProcessLauncher;

// The desktop's way of opening URLs and starting applications. Main thread.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;

    // Hands the URL to the application that handles it. The answer, false when none takes it, may
    // come later (the desktop is asked without waiting); it comes on the calling thread, and needs
    // this object no longer.
    virtual QFuture<bool> openUrl(const QString& url) = 0;
    // Where the application with this identifier is installed; nothing when it is not.
    virtual std::optional<QString> applicationPath(const QString& identifier) const = 0;
    // Starts the application without waiting for it; false when it is not installed or did not start.
    virtual bool launchApplication(const QString& identifier) = 0;
};

// The freedesktop way, through xdg-mime and xdg-open. A file URL always has a handler; another scheme
// has one when xdg-mime names a desktop file that exists (xdg-mime runs off the main thread: it may
// take seconds). xdg-open is started detached and never awaited: without a desktop environment it
// runs the handler itself, in the foreground, and its exit status would say nothing anyway. An
// application is installed when a desktop file named after its identifier stands in one of the XDG
// applications folders.
class XdgDesktopServices final : public DesktopServices {
public:
    explicit XdgDesktopServices(std::shared_ptr<ProcessLauncher> launcher);

    QFuture<bool> openUrl(const QString& url) override;
    std::optional<QString> applicationPath(const QString& identifier) const override;
    bool launchApplication(const QString& identifier) override;

private:
    std::shared_ptr<ProcessLauncher> m_launcher;
};

} // namespace morvane
