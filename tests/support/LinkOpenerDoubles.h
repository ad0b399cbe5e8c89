#pragma once

#include "FakeDesktopServices.h"
#include "FakeProcessLauncher.h"
#include "InMemoryCalendarStore.h"
#include "InMemoryContactStore.h"
#include "ScriptedAlertPresenter.h"
#include "ScriptedRunner.h"

#include "capture/CalendarEventService.h"
#include "capture/ContactService.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "files/FileReconciliationService.h"
#include "files/KnownRootsStore.h"
#include "foundation/UserDefaults.h"
#include "services/LinkOpener.h"
#include "store/FileWorkPool.h"

#include <memory>

namespace morvane::test {

// A link opener over the real file layer, launching nothing: URLs go to a fake desktop, programs to a
// fake launcher, calendar and contact links to services over stores in memory.
struct LinkOpenerDoubles {
    std::shared_ptr<UserDefaults> defaults = UserDefaults::inMemory();
    std::shared_ptr<FileIdentityService> identity =
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    std::shared_ptr<FakeDesktopServices> desktop = std::make_shared<FakeDesktopServices>();
    std::shared_ptr<FakeProcessLauncher> launcher = std::make_shared<FakeProcessLauncher>();
    std::shared_ptr<ScriptedAlertPresenter> alerts = std::make_shared<ScriptedAlertPresenter>();
    std::shared_ptr<InMemoryCalendarStore> calendarStore = std::make_shared<InMemoryCalendarStore>();
    std::shared_ptr<InMemoryContactStore> contactStore = std::make_shared<InMemoryContactStore>();
    CalendarEventService calendar{calendarStore, desktop, std::make_shared<ScriptedRunner>(), defaults};
    ContactService contacts{contactStore, desktop, defaults};
    KnownRootsStore roots{defaults};
    LinkOpener opener{identity,
                      std::make_shared<FileReconciliationService>(identity),
                      roots,
                      calendar,
                      contacts,
                      desktop,
                      launcher,
                      alerts,
                      std::make_shared<FileWorkPool>()};
};

} // namespace morvane::test
