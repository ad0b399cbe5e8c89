#include "AppEnvironment.h"

#include "app/ApplicationQuit.h"
#include "desktop/DBusGlobalShortcutsPortal.h"
#include "desktop/QtClipboard.h"
#include "desktop/SessionHotkeyBackend.h"
#include "desktop/TrayHost.h"
#include "desktop/X11AppPresence.h"
#include "desktop/X11HotkeyBackend.h"
#include "desktop/X11Workspace.h"
#include "foundation/Clock.h"
#include "foundation/UserDefaults.h"
#include "platform/AtspiAccessibilityApi.h"
#include "platform/CompositorWindows.h"
#include "platform/DesktopServices.h"
#include "platform/DesktopSession.h"
#include "platform/EdsCalendarStore.h"
#include "platform/EdsContactStore.h"
#include "platform/EvolutionDataServer.h"
#include "platform/ModuleSoundPlayer.h"
#include "platform/ProcessLauncher.h"
#include "platform/ScriptRunner.h"
#include "platform/SessionBus.h"
#include "platform/WaylandWorkspace.h"
#include "platform/XdgAutostartLoginItem.h"
#include "quickpanel/widgets/QuickPanelPreparation.h"
#include "services/HotkeyService.h"
#include "sync/FolderRecordStore.h"
#include "sync/RecordStoreSyncService.h"

namespace morvane {

namespace {

const QString ownApplicationIdentifier = QStringLiteral("org.morvane.Morvane");

// On a Wayland session the X11 grabs fire only while an Xwayland window has the keyboard; the
// desktop's shortcuts portal, where it has one, covers the rest.
std::shared_ptr<HotkeyBackend> sessionHotkeys(AppEnvironment& environment)
{
    if (isWaylandSession())
        environment.shortcutsPortal = std::make_shared<DBusGlobalShortcutsPortal>();
    const quint32 signature = HotkeyService::registrationSignature();
    return std::make_shared<SessionHotkeyBackend>(
        std::make_shared<X11HotkeyBackend>(), environment.shortcutsPortal,
        QList<SessionHotkeyBackend::PortalEntry>{
            {{signature, AppHotkey::quickPanel},
             PortalShortcutId::quickPanel,
             QStringLiteral("Open Morvane")},
            {{signature, AppHotkey::graph}, PortalShortcutId::graph, QStringLiteral("Open Graph")},
        },
        environment.clock);
}

} // namespace

AppEnvironment AppEnvironment::desktopSession()
{
    AppEnvironment environment;
    environment.defaults = std::make_shared<UserDefaults>(UserDefaults::standardFilePath());
    environment.clock = SystemClock::shared();
    environment.presence = std::make_shared<X11AppPresence>(sessionCompositorWindows());
    environment.hotkeyBackend = sessionHotkeys(environment);
    environment.scripts = std::make_shared<UnavailableScriptRunner>();
    environment.accessibility = AtspiAccessibilityApi::create();
    environment.workspace = std::make_shared<X11Workspace>(ownApplicationIdentifier, environment.clock);
    // On a Wayland session the X display sees only the X11 windows; the accessibility bus names a
    // native one in front.
    if (isWaylandSession())
        environment.workspace = std::make_shared<WaylandWorkspace>(
            environment.workspace, NativeFrontWindow(environment.accessibility), environment.clock);
    environment.sessionBus = std::make_shared<DBusSessionBus>();
    environment.launcher = std::make_shared<LinuxProcessLauncher>();
    environment.desktop = std::make_shared<XdgDesktopServices>(environment.launcher);
    environment.personalData = std::make_shared<EvolutionDataServer>();
    environment.calendarStore = std::make_shared<EdsCalendarStore>(environment.personalData,
                                                                   environment.desktop, environment.launcher);
    environment.contactStore = std::make_shared<EdsContactStore>(environment.personalData,
                                                                 environment.desktop, environment.launcher);
    environment.clipboard = std::make_shared<QtClipboard>();
    environment.soundPlayer = std::make_shared<ModuleSoundPlayer>();
    auto loginItem = std::make_shared<XdgAutostartLoginItem>();
    loginItem->followRunningProgram();
    environment.loginItem = loginItem;
    environment.syncService = std::make_shared<RecordStoreSyncService>(
        std::make_shared<FolderRecordStore>(), environment.defaults, environment.clock);
    environment.trayHost = std::make_shared<DesktopTrayHost>();
    environment.quit = &quitApplication;
    environment.prepareQuickPanel = &prepareQuickPanelAhead;
    return environment;
}

} // namespace morvane
