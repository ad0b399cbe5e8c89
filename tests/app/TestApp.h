#pragma once

#include "FakeAppPresence.h"
#include "FakeClipboard.h"
#include "FakeDesktopServices.h"
#include "FakeGlobalShortcutsPortal.h"
#include "FakeHotkeyBackend.h"
#include "FakeLoginItem.h"
#include "FakeProcessLauncher.h"
#include "FakeSessionBus.h"
#include "FakeSoundPlayer.h"
#include "FakeTrayHost.h"
#include "FakeWorkspace.h"
#include "InMemorySyncService.h"
#include "ManualClock.h"
#include "ScriptedAlertPresenter.h"
#include "app/AppEnvironment.h"
#include "app/MorvaneApp.h"
#include "foundation/UserDefaults.h"
#include "platform/AccessibilityApi.h"
#include "platform/CalendarStore.h"
#include "platform/ContactStore.h"
#include "platform/ScriptRunner.h"

namespace morvane::test {

// The application over doubles of everything outside it; the settings file and the library are the
// real ones, in the test's own home.
struct TestApp {
    AppEnvironment environment()
    {
        AppEnvironment env;
        env.defaults = defaults;
        env.clock = clock;
        env.presence = presence;
        env.hotkeyBackend = hotkeyBackend;
        env.workspace = std::make_shared<FakeWorkspace>();
        env.scripts = std::make_shared<UnavailableScriptRunner>();
        env.accessibility = std::make_shared<UnavailableAccessibilityApi>();
        env.sessionBus = std::make_shared<FakeSessionBus>();
        env.calendarStore = std::make_shared<UnavailableCalendarStore>();
        env.contactStore = std::make_shared<UnavailableContactStore>();
        env.launcher = std::make_shared<FakeProcessLauncher>();
        env.desktop = std::make_shared<FakeDesktopServices>();
        env.clipboard = std::make_shared<FakeClipboard>();
        env.soundPlayer = std::make_shared<FakeSoundPlayer>();
        env.loginItem = std::make_shared<FakeLoginItem>();
        env.syncService = sync;
        env.trayHost = trayHost;
        env.shortcutsPortal = shortcutsPortal;
        env.quit = [this] { ++quits; };
        return env;
    }

    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(UserDefaults::standardFilePath());
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<FakeAppPresence> presence = std::make_shared<FakeAppPresence>();
    std::shared_ptr<FakeHotkeyBackend> hotkeyBackend = std::make_shared<FakeHotkeyBackend>();
    std::shared_ptr<InMemorySyncService> sync = std::make_shared<InMemorySyncService>();
    std::shared_ptr<FakeTrayHost> trayHost = std::make_shared<FakeTrayHost>();
    // None: not a Wayland session.
    std::shared_ptr<FakeGlobalShortcutsPortal> shortcutsPortal;
    // How many times the application was asked to quit.
    int quits = 0;
    std::shared_ptr<ScriptedAlertPresenter> alerts = std::make_shared<ScriptedAlertPresenter>();
    MorvaneApp app{alerts, [this] { return environment(); }};
};

} // namespace morvane::test
