#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>

namespace morvane {

class ScriptRunner;
class Workspace;

// The selected (or else the open) DEVONthink record, as an x-devonthink-item link.
class DEVONthinkActiveContextProvider final : public ActiveContextProvider {
public:
    DEVONthinkActiveContextProvider(std::shared_ptr<Workspace> workspace,
                                    std::shared_ptr<ScriptRunner> scripts);

    QString providerName() const override { return QStringLiteral("DEVONthink"); }
    std::optional<CapturedContext> captureContext() override;

private:
    std::optional<QString> readPayload();

    std::shared_ptr<ScriptRunner> m_scripts;
    RecentlyActiveApplication m_recentlyActive;
    bool m_reachable; // DEVONthink can be asked here at all
};

} // namespace morvane
