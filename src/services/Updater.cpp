#include "Updater.h"

#include "foundation/Logging.h"

MORVANE_LOGGING_CATEGORY(lcUpdater, "Sparkle")

namespace morvane {

void Updater::checkForUpdates() const
{
    qCInfo(lcUpdater) << "Sparkle updater controller is not available.";
}

} // namespace morvane
