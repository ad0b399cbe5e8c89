#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>

namespace morvane {

class ScriptRunner;
class Workspace;

// The active tab of the front window of a supported browser, as a web page.
class BrowserActiveContextProvider final : public ActiveContextProvider {
public:
    BrowserActiveContextProvider(std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts);

    QString providerName() const override { return QStringLiteral("Browser"); }
    std::optional<CapturedContext> captureContext() override;

private:
    std::shared_ptr<ScriptRunner> m_scripts;
    RecentlyActiveApplication m_recentlyActive;
};

} // namespace morvane
