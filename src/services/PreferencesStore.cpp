#include "services/PreferencesStore.h"

#include "services/QuickPanelTipStore.h"

namespace morvane {

namespace {

// What sync and maintenance share: both work on the library and the record store.
SyncScheduler::Services libraryServices(const PreferencesStore::Services& services)
{
    return {services.defaults, services.syncService, services.linkStore, services.clock};
}

} // namespace

PreferencesStore::PreferencesStore(Services services)
    : m_quickPanelTipStore(std::move(services.quickPanelTipStore))
    , m_settings(services.defaults, std::move(services.loginItem))
    , m_hotkeys(services.defaults, std::move(services.validateHotkey))
    , m_access(PrivacyAccess::Services{std::move(services.calendarEventService),
                                       std::move(services.contactService), std::move(services.calendarStore),
                                       std::move(services.contactStore)})
    , m_sync(libraryServices(services), m_databaseAction)
    , m_maintenance(libraryServices(services), m_sync, m_databaseAction)
{
}

PreferencesStore::~PreferencesStore() = default;

} // namespace morvane
