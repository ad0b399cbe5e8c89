#include "MorvaneApp.h"

#include "desktop/AppearanceService.h"
#include "desktop/Glyphs.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "library/SQLiteStore.h"
#include "platform/AlertPresenter.h"
#include "store/LinkStore.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

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
    installTrayIcon();
    return true;
}

void MorvaneApp::presentFatalError(const QString& message)
{
    m_alerts->present(Alert{Alert::Style::critical, QStringLiteral("Morvane could not start."), message, {}});
}

void MorvaneApp::installTrayIcon()
{
    m_trayMenu = std::make_unique<QMenu>();
    QAction* quit = m_trayMenu->addAction(QStringLiteral("Quit Morvane"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);

    m_trayIcon = new QSystemTrayIcon(glyphIcon(Glyph::chainLink, m_appearance->glyphTint()), this);
    connect(m_appearance, &AppearanceService::appearanceChanged, m_trayIcon,
            [this] { m_trayIcon->setIcon(glyphIcon(Glyph::chainLink, m_appearance->glyphTint())); });
    m_trayIcon->setToolTip(QStringLiteral("Morvane"));
    m_trayIcon->setContextMenu(m_trayMenu.get());
    // A left click opens the menu too: Qt only shows it on a right click.
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_trayMenu->popup(QCursor::pos());
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCWarning(lcApp) << "No system tray is available; Morvane keeps running without its tray icon.";
    m_trayIcon->show();
}

} // namespace morvane
