#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace morvane {

class AccessibilityApi;
class SessionBus;
class AlertPresenter;
class AppPresence;
class CalendarStore;
class Clipboard;
class Clock;
class CloudKitSyncService;
class ContactStore;
class DesktopServices;
class EvolutionDataServer;
class GlobalShortcutsPortal;
class HotkeyBackend;
class LoginItem;
class ProcessLauncher;
class ScriptRunner;
class SoundPlayer;
class TrayHost;
class UserDefaults;
class Workspace;

// Everything the application reaches outside its own code: the desktop session, the settings file,
// the clock. The desktop one is made while the library opens, and let go again when it cannot open;
// tests hand in their doubles.
// The ids of the two system-wide shortcuts.
namespace AppHotkey {
constexpr quint32 quickPanel = 1;
constexpr quint32 graph = 2;
} // namespace AppHotkey

struct AppEnvironment {
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<AppPresence> presence;
    std::shared_ptr<HotkeyBackend> hotkeyBackend;
    std::shared_ptr<GlobalShortcutsPortal> shortcutsPortal; // null outside a Wayland session
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<ScriptRunner> scripts;
    std::shared_ptr<AccessibilityApi> accessibility;
    std::shared_ptr<SessionBus> sessionBus;
    std::shared_ptr<CalendarStore> calendarStore;
    std::shared_ptr<ContactStore> contactStore;
    // Behind both stores on the desktop (null with other stores): read when the panel first shows.
    std::shared_ptr<EvolutionDataServer> personalData;
    std::shared_ptr<ProcessLauncher> launcher;
    std::shared_ptr<DesktopServices> desktop;
    std::shared_ptr<Clipboard> clipboard;
    std::shared_ptr<SoundPlayer> soundPlayer;
    std::shared_ptr<LoginItem> loginItem;
    std::shared_ptr<CloudKitSyncService> syncService;
    std::shared_ptr<TrayHost> trayHost;
    // Ends the application, as the tray menu's Quit and `morvane --quit` ask.
    std::function<void()> quit;
    // Run once the application has started: makes ahead, off the main thread, what the panel's first
    // show needs (none in tests, whose panels make it as they show).
    std::function<void()> prepareQuickPanel;

    // The user's session: X11 where there is one, and the stand-ins of what Linux does not offer.
    static AppEnvironment desktopSession();
};

} // namespace morvane
