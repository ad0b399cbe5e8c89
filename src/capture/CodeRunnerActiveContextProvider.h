#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/CodeRunnerAccessibilityContextReader.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>

namespace morvane {

class AccessibilityApi;
class FileIdentityService;
class ScriptRunner;
class Workspace;

// The file of the document open in CodeRunner's front window, as a file link with identity
// evidence: asked by script in ten phrasings, then read from its windows. Answers with a message
// when CodeRunner is in front but its document cannot be captured.
class CodeRunnerActiveContextProvider final : public ActiveContextProvider {
public:
    CodeRunnerActiveContextProvider(std::shared_ptr<Workspace> workspace,
                                    std::shared_ptr<ScriptRunner> scripts,
                                    std::shared_ptr<const AccessibilityApi> accessibility,
                                    std::shared_ptr<const FileIdentityService> fileIdentityService);

    QString providerName() const override { return QStringLiteral("CodeRunner"); }
    CaptureResult captureContexts() override;

private:
    std::optional<QString> documentUrlFromScripts(const QString& identifier);

    std::shared_ptr<ScriptRunner> m_scripts;
    std::shared_ptr<const AccessibilityApi> m_accessibility;
    std::shared_ptr<const FileIdentityService> m_fileIdentityService;
    CodeRunnerAccessibilityContextReader m_accessibilityReader;
    RecentlyActiveApplication m_recentlyActive;
    bool m_reachable; // CodeRunner can be asked here at all
};

} // namespace morvane
