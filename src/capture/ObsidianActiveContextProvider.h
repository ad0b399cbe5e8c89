#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>

namespace morvane {

class Workspace;

// The note active in Obsidian, as an obsidian://open?path= link. Obsidian is not scripted: its own
// files say which vaults are open and which note each shows.
class ObsidianActiveContextProvider final : public ActiveContextProvider {
public:
    static inline const QString applicationIdentifier = QStringLiteral("md.obsidian");

    explicit ObsidianActiveContextProvider(std::shared_ptr<Workspace> workspace);

    QString providerName() const override { return QStringLiteral("Obsidian"); }
    std::optional<CapturedContext> captureContext() override;
    ApplicationReading readingOf(const QString& identifier) const override
    {
        return identifier == applicationIdentifier ? ApplicationReading::direct : ApplicationReading::none;
    }

private:
    RecentlyActiveApplication m_recentlyActive;
};

} // namespace morvane
