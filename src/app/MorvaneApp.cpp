#include "MorvaneApp.h"

#include "app/IncomingUrls.h"
#include "app/MenuBarController.h"
#include "app/WindowControllers.h"
#include "capture/CalendarEventService.h"
#include "capture/ContactService.h"
#include "desktop/AppPresence.h"
#include "desktop/AppearanceService.h"
#include "desktop/Branding.h"
#include "desktop/X11AppPresence.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "files/FileReconciliationService.h"
#include "files/KnownRootsStore.h"
#include "foundation/Clock.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "foundation/UserDefaults.h"
#include "library/SQLiteStore.h"
#include "platform/AlertPresenter.h"
#include "platform/CalendarStore.h"
#include "platform/ContactStore.h"
#include "platform/DesktopServices.h"
#include "platform/ProcessLauncher.h"
#include "platform/ScriptRunner.h"
#include "services/LinkOpener.h"
#include "services/MorvaneURLHandler.h"
#include "services/Updater.h"
#include "services/UrlSchemeRegistration.h"
#include "store/LinkStore.h"

#include <QApplication>

MORVANE_LOGGING_CATEGORY(lcApp, "App")

namespace morvane {

namespace {
// A start-up error may name the library's file or folder (a folder that cannot be made, say). The
// user sees it whole in the dialog; the log keeps those paths private like every other path.
QString loggedStartupError(QString description)
{
    const QString library = SQLiteStore::defaultDatabasePath();
    const QString folder = dataDirectory();
    for (const QString& path : {library, folder}) {
        if (!path.isEmpty())
            description.replace(path, privateValue(path));
    }
    return description;
}
} // namespace

MorvaneApp::MorvaneApp(std::shared_ptr<AlertPresenter> alerts, QObject* parent)
    : QObject(parent)
    , m_alerts(std::move(alerts))
{
}

MorvaneApp::~MorvaneApp()
{
    // The store drains its queue and closes the library before anything it may call is gone.
    m_linkStore.reset();
}

bool MorvaneApp::start()
{
    m_fileIdentityService = std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    try {
        m_linkStore = std::make_unique<LinkStore>(LinkStore::libraryAt(), m_fileIdentityService);
    } catch (const Error& error) {
        qCCritical(lcApp).noquote() << "Failed to launch Morvane:"
                                    << loggedStartupError(error.localizedDescription());
        presentFatalError(error.localizedDescription());
        return false;
    }
    m_appearance = new AppearanceService(this);
    buildShell();
    buildUrlHandling();
    return true;
}

void MorvaneApp::presentFatalError(const QString& message)
{
    m_alerts->present(Alert{Alert::Style::critical, QStringLiteral("Morvane could not start."), message, {}});
}

void MorvaneApp::buildShell()
{
    QApplication::setWindowIcon(applicationIcon());
    m_presence = new X11AppPresence(this);
    m_updater = std::make_unique<Updater>();
    m_quickPanel = std::make_unique<QuickPanelController>(*m_presence, SystemClock::shared());
    m_graphWindow = std::make_unique<GraphWindowController>(*m_presence);
    m_preferencesWindow = std::make_unique<PreferencesWindowController>(*m_presence, *m_updater);
    m_quickPanel->onOpenSettings = [this] { m_preferencesWindow->show(); };
    m_menuBar = new MenuBarController(*m_quickPanel, *m_graphWindow, *m_preferencesWindow, *m_updater,
                                      *m_appearance, this);
    m_menuBar->buildMenu();
}

// --- The morvane: URL path ----------------------------------------------------------------------

void MorvaneApp::buildUrlHandling()
{
    m_defaults = std::make_shared<UserDefaults>(UserDefaults::standardFilePath());
    m_launcher = std::make_shared<LinuxProcessLauncher>();
    m_desktop = std::make_shared<XdgDesktopServices>(m_launcher);
    m_knownRoots = std::make_unique<KnownRootsStore>(m_defaults);
    m_calendarEvents =
        std::make_unique<CalendarEventService>(std::make_shared<UnavailableCalendarStore>(), m_desktop,
                                               std::make_shared<UnavailableScriptRunner>(), m_defaults);
    m_contacts =
        std::make_unique<ContactService>(std::make_shared<UnavailableContactStore>(), m_desktop, m_defaults);
    // The opener and its reconciliation each have an identity service of their own.
    m_linkOpener = std::make_unique<LinkOpener>(
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()),
        std::make_shared<FileReconciliationService>(
            std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>())),
        *m_knownRoots, *m_calendarEvents, *m_contacts, m_desktop, m_launcher);
    m_urlHandler = std::make_unique<MorvaneURLHandler>(m_alerts, [this] {
        const bool hidden = hideDockIcon();
        applyDockVisibility(*m_presence, hidden, false);
        m_presence->activate();
    });
    // Fire and forget: the registration logs its own failures.
    UrlSchemeRegistration(m_launcher).registerScheme(QCoreApplication::applicationFilePath());
}

bool MorvaneApp::hideDockIcon() const
{
    // Hidden unless the user chose to show the application, as at launch.
    return m_defaults->boolValue(QStringLiteral("preferences.hideDockIcon")).value_or(true);
}

void MorvaneApp::attachIncomingUrls(IncomingUrls& incoming)
{
    incoming.attach(
        [this](QString url) { return m_urlHandler->handle(std::move(url), *m_linkStore, *m_linkOpener); });
}

} // namespace morvane
