#pragma once

#include "services/AppSettings.h"
#include "services/DatabaseActionStatus.h"
#include "services/HotkeySettings.h"
#include "services/LibraryMaintenance.h"
#include "services/PreferenceValues.h"
#include "services/PrivacyAccess.h"
#include "services/SyncScheduler.h"

#include <memory>

namespace morvane {

class CalendarEventService;
class Clock;
class CalendarStore;
class CloudKitSyncService;
class ContactService;
class ContactStore;
class LinkStore;
class LoginItem;
class QuickPanelTipStore;
class UserDefaults;

// The settings model the tray, the quick panel, the graph and the Preferences window share, built
// as its parts: the plain settings, the shortcuts, calendar and contact access, sync scheduling
// with the erase, and library maintenance. Each view binds to the parts it shows. Main thread only.
class PreferencesStore {
public:
    using Keys = PreferenceKeys;

    // What the store works with; the link store may be absent.
    struct Services {
        std::shared_ptr<UserDefaults> defaults;
        std::shared_ptr<CalendarEventService> calendarEventService;
        std::shared_ptr<ContactService> contactService;
        std::shared_ptr<CalendarStore> calendarStore; // for the current access status
        std::shared_ptr<ContactStore> contactStore;
        LinkStore* linkStore = nullptr;
        std::shared_ptr<QuickPanelTipStore> quickPanelTipStore;
        std::shared_ptr<CloudKitSyncService> syncService;
        std::shared_ptr<LoginItem> loginItem;
        std::shared_ptr<Clock> clock;             // the system clock when none is given
        HotkeySettings::Validator validateHotkey; // none: only the two targets are compared
    };

    explicit PreferencesStore(Services services);
    ~PreferencesStore();

    PreferencesStore(const PreferencesStore&) = delete;
    PreferencesStore& operator=(const PreferencesStore&) = delete;

    AppSettings& settings() { return m_settings; }
    HotkeySettings& hotkeys() { return m_hotkeys; }
    PrivacyAccess& access() { return m_access; }
    SyncScheduler& sync() { return m_sync; }
    DatabaseActionStatus& databaseAction() { return m_databaseAction; }
    LibraryMaintenance& maintenance() { return m_maintenance; }
    QuickPanelTipStore& quickPanelTipStore() const { return *m_quickPanelTipStore; }

private:
    std::shared_ptr<QuickPanelTipStore> m_quickPanelTipStore;
    AppSettings m_settings;
    HotkeySettings m_hotkeys;
    PrivacyAccess m_access;
    // Declared before the parts that report through it and that hold sync back.
    DatabaseActionStatus m_databaseAction;
    SyncScheduler m_sync;
    LibraryMaintenance m_maintenance;
};

} // namespace morvane
