#include "DockIconMaintenance.h"

#include "desktop/AppPresence.h"
#include "services/AppSettings.h"
#include "services/SyncScheduler.h"

#include <QTimer>

namespace morvane {

DockIconMaintenance::DockIconMaintenance(const AppSettings& settings, SyncScheduler& sync,
                                         AppPresence& presence, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_sync(sync)
    , m_presence(presence)
{
    connect(&m_settings, &AppSettings::hideDockIconChanged, this,
            [this] { applyDockVisibility(m_presence, m_settings.hideDockIcon(), false); });
    connect(&m_presence, &AppPresence::becameActive, this, &DockIconMaintenance::applicationBecameActive);
}

DockIconMaintenance::~DockIconMaintenance() = default;

void DockIconMaintenance::applicationBecameActive()
{
    m_sync.applicationBecameActive();
    if (!m_settings.hideDockIcon())
        return;
    QTimer::singleShot(0, this, [this] {
        if (!m_presence.isHidden())
            applyDockVisibility(m_presence, m_settings.hideDockIcon(), false);
    });
}

} // namespace morvane
