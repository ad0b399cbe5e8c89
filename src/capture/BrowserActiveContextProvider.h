#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"

#include <QSet>

#include <memory>
#include <mutex>

namespace morvane {

class AccessibilityApi;
class ScriptRunner;
class Workspace;

// The active tab of the front window of a supported browser, as a web page. The browsers of this
// desktop publish their windows on the accessibility bus: the page is the web document showing in
// the window the capture reads, its title the document's name and its URL the document's "DocURL"
// (Firefox) or "URI" (the Chromium family). Browsers that only answer scripts are asked by script.
class BrowserActiveContextProvider final : public ActiveContextProvider {
public:
    BrowserActiveContextProvider(std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
                                 std::shared_ptr<AccessibilityApi> accessibility);
    ~BrowserActiveContextProvider() override;

    QString providerName() const override { return QStringLiteral("Browser"); }
    std::optional<CapturedContext> captureContext() override;
    CaptureResult captureContexts() override;
    QFuture<void> refresh() override;
    void distrustKeptReadings() override;
    bool wantsAnotherReading() override;
    ApplicationReading readingOf(const QString& identifier) const override;

    // What the accessibility bus showed of a window's page; shared with the bus thread.
    struct Page {
        quint32 windowId = 0;
        QString windowTitle; // the window as it was titled when read: another tab retitles it
        std::optional<QString> title;
        QString url;            // empty: no web document showing
        quint64 started = 0;    // which reading it was, counted in the order they started
        bool frameRead = false; // the window's frame was found, whatever it showed
    };

private:
    struct Target;
    // The page last read, shared with the bus thread. Readings overlap (the monitor's poll, the
    // panel's own): the one started last is kept. Once the user may have worked in the window without
    // its title following yet (another tab brought in front), only a reading started since stands.
    struct Readings {
        std::mutex mutex;
        std::optional<Page> page;
        quint64 started = 0;
        quint64 trustedFrom = 0;
    };
    std::optional<Target> target();
    // The page kept for the target's window as it is now, read since the window was last distrusted.
    std::optional<Page> keptPage(const Target& target) const;
    std::optional<CapturedContext> context(const Target& target, QString title, const QString& urlText);

    std::shared_ptr<Workspace> m_workspace;
    std::shared_ptr<ScriptRunner> m_scripts;
    std::shared_ptr<AccessibilityApi> m_accessibility;
    RecentlyActiveApplication m_recentlyActive;
    std::shared_ptr<Readings> m_readings = std::make_shared<Readings>();
    // The windows whose page was said to be no web page.
    QSet<quint32> m_notedOtherPages;
};

} // namespace morvane
