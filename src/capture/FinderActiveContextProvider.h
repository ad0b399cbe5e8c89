#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>

namespace morvane {

class FileIdentityService;
class ScriptRunner;
class Workspace;

// The first item selected in Finder, as a file or folder with its identity evidence.
class FinderActiveContextProvider final : public ActiveContextProvider {
public:
    static inline const QString applicationIdentifier = QStringLiteral("com.apple.finder");

    FinderActiveContextProvider(std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
                                std::shared_ptr<const FileIdentityService> fileIdentityService);

    QString providerName() const override { return QStringLiteral("Finder"); }
    std::optional<CapturedContext> captureContext() override;

private:
    std::shared_ptr<ScriptRunner> m_scripts;
    std::shared_ptr<const FileIdentityService> m_fileIdentityService;
    RecentlyActiveApplication m_recentlyActive;
};

} // namespace morvane
