#include "StartupTrace.h"

#include "foundation/Logging.h"

#include <QElapsedTimer>

MORVANE_LOGGING_CATEGORY(lcStartup, "Startup")

namespace morvane {

void startupStep(const char* step)
{
    static QElapsedTimer sinceMain;
    if (!sinceMain.isValid())
        sinceMain.start();
    qCDebug(lcStartup, "%.1f ms: %s", double(sinceMain.nsecsElapsed()) / 1e6, step);
}

} // namespace morvane
