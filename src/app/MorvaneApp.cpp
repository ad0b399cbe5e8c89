#include "MorvaneApp.h"

#include "foundation/Logging.h"
#include "platform/Glyphs.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>

MORVANE_LOGGING_CATEGORY(lcApp, "App")

namespace morvane {

MorvaneApp::MorvaneApp(QObject* parent)
    : QObject(parent)
{
}

MorvaneApp::~MorvaneApp() = default;

bool MorvaneApp::start()
{
    installTrayIcon();
    return true;
}

void MorvaneApp::installTrayIcon()
{
    m_trayMenu = std::make_unique<QMenu>();
    QAction* quit = m_trayMenu->addAction(QStringLiteral("Quit Morvane"));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);

    m_trayIcon = new QSystemTrayIcon(glyphIcon(Glyph::chainLink, QColor(0x2b, 0x2b, 0x2b)), this);
    m_trayIcon->setToolTip(QStringLiteral("Morvane"));
    m_trayIcon->setContextMenu(m_trayMenu.get());
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qCWarning(lcApp) << "No system tray is available; Morvane keeps running without its tray icon.";
    m_trayIcon->show();
}

} // namespace morvane
