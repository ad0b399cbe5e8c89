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
    ApplicationReading readingOf(const QString& identifier) const override;

    // What the accessibility bus showed of a window's page; shared with the bus thread.
    struct Page {
        quint32 windowId = 0;
        QString windowTitle; // the window as it was titled when read: another tab retitles it
        std::optional<QString> title;
        QString url; // empty: no web document showing
    };

private:
    struct Target;
    std::optional<Target> target();
    std::optional<CapturedContext> context(const Target& target, QString title, const QString& urlText);

    std::shared_ptr<Workspace> m_workspace;
    std::shared_ptr<ScriptRunner> m_scripts;
    std::shared_ptr<AccessibilityApi> m_accessibility;
    RecentlyActiveApplication m_recentlyActive;
    // Written on the accessibility thread, read on the main thread.
    std::shared_ptr<std::mutex> m_pageMutex = std::make_shared<std::mutex>();
    std::shared_ptr<std::optional<Page>> m_page = std::make_shared<std::optional<Page>>();
    // The windows whose page was said to be no web page.
    QSet<quint32> m_notedOtherPages;
};

} // namespace morvane
