#include "DockIconMaintenance.h"

#include "desktop/AppPresence.h"
#include "services/PreferencesStore.h"

#include <QTimer>

namespace morvane {

DockIconMaintenance::DockIconMaintenance(PreferencesStore& preferences, AppPresence& presence,
                                         QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_presence(presence)
{
    connect(&m_preferences, &PreferencesStore::hideDockIconChanged, this,
            [this] { applyDockVisibility(m_presence, m_preferences.hideDockIcon(), false); });
    connect(&m_presence, &AppPresence::becameActive, this, &DockIconMaintenance::applicationBecameActive);
}

DockIconMaintenance::~DockIconMaintenance() = default;

void DockIconMaintenance::applicationBecameActive()
{
    m_preferences.applicationBecameActive();
    if (!m_preferences.hideDockIcon())
        return;
    QTimer::singleShot(0, this, [this] {
        if (!m_presence.isHidden())
            applyDockVisibility(m_presence, m_preferences.hideDockIcon(), false);
    });
}

} // namespace morvane
