#include "Updater.h"

#include "foundation/Logging.h"
#include "platform/AlertPresenter.h"

MORVANE_LOGGING_CATEGORY(lcUpdater, "Sparkle")

namespace morvane {

Updater::Updater(std::shared_ptr<AlertPresenter> alerts)
    : m_alerts(std::move(alerts))
{
}

void Updater::checkForUpdates() const
{
    qCInfo(lcUpdater) << "Sparkle updater controller is not available.";
    // Without a word the menu item would seem to do nothing at all.
    if (m_alerts)
        m_alerts->present(
            Alert{Alert::Style::informational,
                  QStringLiteral("Morvane does not check for updates itself."),
                  QStringLiteral("Updates for Morvane come from your system's package manager."),
                  {}});
}

} // namespace morvane
