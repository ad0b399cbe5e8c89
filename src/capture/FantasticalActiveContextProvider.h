#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>

namespace morvane {

class ScriptRunner;
class Workspace;

// The item selected in Fantastical, as a Fantastical item link, or a message saying why there is none.
class FantasticalActiveContextProvider final : public ActiveContextProvider {
public:
    FantasticalActiveContextProvider(std::shared_ptr<Workspace> workspace,
                                     std::shared_ptr<ScriptRunner> scripts);

    QString providerName() const override { return QStringLiteral("Fantastical"); }
    CaptureResult captureContexts() override;

private:
    std::shared_ptr<ScriptRunner> m_scripts;
    // Fantastical counts while it was the last application to come to the front: opening the quick
    // panel over it ends that.
    RecentlyActiveApplication m_recentlyActive;
    bool m_reachable; // Fantastical can be asked here at all
};

} // namespace morvane
