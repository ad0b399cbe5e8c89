#include "AppPresence.h"

#include "foundation/Logging.h"

#include <QTimer>
#include <QWidget>

MORVANE_LOGGING_CATEGORY(lcDockVisibility, "DockVisibility")

namespace morvane {

bool applyDockVisibility(AppPresence& presence, bool hidden, bool force)
{
    if (!force && presence.isHidden() == hidden)
        return true;
    if (!presence.setHidden(hidden)) {
        qCCritical(lcDockVisibility).noquote()
            << QStringLiteral("setActivationPolicy(%1) failed").arg(hidden ? "accessory" : "regular");
        return false;
    }
    if (!hidden)
        presence.activate();
    return true;
}

void activateForWindow(AppPresence& presence, QWidget& window, bool hideDockIcon)
{
    presence.activateWindow(window);
    // Tied to the window: the presence outlives every window, not necessarily a pending turn of the loop.
    if (hideDockIcon)
        QTimer::singleShot(0, &window, [&presence] { applyDockVisibility(presence, true, true); });
}

} // namespace morvane
