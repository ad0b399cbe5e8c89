#include "MorvaneApp.h"

#include "app/MenuBarController.h"
#include "app/WindowControllers.h"
#include "desktop/AppearanceService.h"
#include "desktop/Branding.h"
#include "desktop/X11AppPresence.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/Clock.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "library/SQLiteStore.h"
#include "platform/AlertPresenter.h"
#include "services/Updater.h"
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

} // namespace morvane
