#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"
#include "capture/WindowCaptureCache.h"

#include <functional>
#include <memory>

namespace morvane {

class Workspace;

// Captures from a desktop application whose window is read over the buses: the window a capture
// reads (the one in front, or the one behind this application's own) is read off the main thread
// at each refresh, and the capture answers from that read while the window stays as it was, and only
// from a read started since the panel last came up over it.
class DesktopApplicationContextProvider final : public ActiveContextProvider {
public:
    using Recognizer = std::function<bool(const QString& identifier)>;
    // Reads the window; runs on a worker thread and may block on other applications for a bounded
    // time. Its reason, when it gives one, is the capture's message.
    using WindowReader = std::function<WindowReading(const DesktopWindow& window)>;

    // route: how the applications it recognises are read.
    DesktopApplicationContextProvider(QString name, std::shared_ptr<Workspace> workspace,
                                      Recognizer isApplication, WindowReader read,
                                      ApplicationReading route = ApplicationReading::direct);

    QString providerName() const override { return m_name; }
    std::optional<CapturedContext> captureContext() override;
    CaptureResult captureContexts() override;
    QFuture<void> refresh() override;
    void distrustKeptReadings() override { m_cache.distrust(); }
    ApplicationReading readingOf(const QString& identifier) const override;

private:
    std::optional<DesktopWindow> targetWindow();

    QString m_name;
    std::shared_ptr<Workspace> m_workspace;
    Recognizer m_isApplication;
    WindowReader m_read;
    ApplicationReading m_route;
    RecentlyActiveApplication m_recentlyActive;
    WindowCaptureCache m_cache;
};

} // namespace morvane
