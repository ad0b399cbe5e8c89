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

    // One of the known identifiers, or any whose lower-case form holds both "devon" and "think".
    static bool isDEVONthink(const QString& identifier);
    // The record's locator: the reference URL as given when it names a record, else a link made
    // from the UUID field, else from the reference itself when it is a bare UUID.
    static std::optional<QString> normalizedLocator(const QString& locator, const QString& uuid);

    QString providerName() const override { return QStringLiteral("DEVONthink"); }
    std::optional<CapturedContext> captureContext() override;

private:
    std::optional<QString> readPayload();

    std::shared_ptr<ScriptRunner> m_scripts;
    RecentlyActiveApplication m_recentlyActive;
};

} // namespace morvane
