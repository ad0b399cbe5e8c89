#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>

namespace morvane {

class FileIdentityService;
class PreviewPDFAccessibilityContextReader;
class ScriptRunner;
class Workspace;

// The PDF Preview shows in front, at its current page, as a file link with identity evidence.
// Preview is asked twice, by script and through its interface: the file comes from the interface
// first, the page and the title from the script first.
class PreviewPDFActiveContextProvider final : public ActiveContextProvider {
public:
    PreviewPDFActiveContextProvider(
        std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
        std::shared_ptr<const FileIdentityService> fileIdentityService,
        std::shared_ptr<const PreviewPDFAccessibilityContextReader> accessibilityReader);

    QString providerName() const override { return QStringLiteral("Preview PDF"); }
    std::optional<CapturedContext> captureContext() override;

private:
    std::shared_ptr<ScriptRunner> m_scripts;
    std::shared_ptr<const FileIdentityService> m_fileIdentityService;
    std::shared_ptr<const PreviewPDFAccessibilityContextReader> m_accessibilityReader;
    RecentlyActiveApplication m_recentlyActive;
    bool m_reachable; // Preview can be asked here at all
};

} // namespace morvane
