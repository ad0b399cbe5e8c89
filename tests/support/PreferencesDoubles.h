#pragma once

#include "FakeLoginItem.h"
#include "InMemoryCalendarStore.h"
#include "InMemoryContactStore.h"
#include "InMemorySyncService.h"
#include "ManualClock.h"
#include "foundation/UserDefaults.h"
#include "services/PreferencesStore.h"
#include "services/QuickPanelTipStore.h"

#include <memory>

namespace morvane::test {

// What the settings store is built on, as test doubles over settings in memory and a manual clock.
struct PreferencesDoubles {
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    std::shared_ptr<InMemoryCalendarStore> calendars = std::make_shared<InMemoryCalendarStore>();
    std::shared_ptr<InMemoryContactStore> contacts = std::make_shared<InMemoryContactStore>();
    std::shared_ptr<InMemorySyncService> sync = std::make_shared<InMemorySyncService>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();

    std::unique_ptr<PreferencesStore> makePreferences(LinkStore* library = nullptr) const
    {
        PreferencesStore::Services services;
        services.defaults = defaults;
        services.calendarStore = calendars;
        services.contactStore = contacts;
        services.quickPanelTipStore = std::make_shared<QuickPanelTipStore>(defaults);
        services.syncService = sync;
        services.loginItem = std::make_shared<FakeLoginItem>();
        services.linkStore = library;
        services.clock = clock;
        return std::make_unique<PreferencesStore>(std::move(services));
    }
};

} // namespace morvane::test
