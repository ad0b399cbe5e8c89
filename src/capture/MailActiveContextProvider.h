#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/RecentlyActiveApplication.h"

#include <memory>

namespace morvane {

class ScriptRunner;
class Workspace;

// The first message selected in Mail, as a message: link made from its Message-ID.
class MailActiveContextProvider final : public ActiveContextProvider {
public:
    static inline const QString applicationIdentifier = QStringLiteral("com.apple.mail");

    MailActiveContextProvider(std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts);

    QString providerName() const override { return QStringLiteral("Mail"); }
    std::optional<CapturedContext> captureContext() override;

private:
    std::shared_ptr<ScriptRunner> m_scripts;
    RecentlyActiveApplication m_recentlyActive;
};

} // namespace morvane
