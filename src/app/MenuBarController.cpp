#include "MenuBarController.h"

#include "app/WindowControllers.h"
#include "desktop/AppearanceService.h"
#include "desktop/Glyphs.h"
#include "desktop/TrayHost.h"
#include "foundation/KeyText.h"
#include "foundation/Logging.h"
#include "model/CapturedContext.h"
#include "services/Updater.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

#include <algorithm>

MORVANE_LOGGING_CATEGORY(lcTray, "App")

namespace morvane {

namespace {
// Long enough for a session's tray to start after its autostart programs.
constexpr int trayHostWarningSeconds = 10;

QColor indicatorColor()
{
    return QColor::fromRgbF(0.52f, 0.88f, 0.52f, 1.0f);
}
} // namespace

QPoint trayMenuPosition(const QRect& icon, QPoint pointer, QSize menu, const QRect& screen)
{
    if (!icon.isValid() || screen.isEmpty())
        return pointer;
    const int x = std::max(screen.left(), std::min(pointer.x(), screen.right() + 1 - menu.width()));
    if (icon.bottom() + 1 + menu.height() <= screen.bottom() + 1)
        return {x, icon.bottom() + 1};
    if (icon.top() - menu.height() >= screen.top())
        return {x, icon.top() - menu.height()};
    return {x, pointer.y()};
}

MenuBarController::MenuBarController(QuickPanelController& quickPanel, GraphWindowController& graphWindow,
                                     PreferencesWindowController& preferencesWindow, Updater& updater,
                                     AppearanceService& appearance, TrayHost& trayHost,
                                     std::function<void()> quit, QObject* parent)
    : QObject(parent)
    , m_quickPanel(quickPanel)
    , m_graphWindow(graphWindow)
    , m_preferencesWindow(preferencesWindow)
    , m_updater(updater)
    , m_appearance(appearance)
    , m_trayHost(trayHost)
    , m_quit(std::move(quit))
{
    connect(&m_appearance, &AppearanceService::appearanceChanged, this, &MenuBarController::refreshIcon);
}

MenuBarController::~MenuBarController() = default;

void MenuBarController::buildMenu()
{
    m_menu = std::make_unique<QMenu>();
    m_openQuickPanel = m_menu->addAction(QString(), this, [this] { m_quickPanel.show(); });
    m_openGraph = m_menu->addAction(QString(), this, [this] { m_graphWindow.show(); });
    showDesktopShortcuts(std::nullopt, std::nullopt);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Preferences…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), this,
                      [this] { m_preferencesWindow.show(); });
    m_menu->addAction(QStringLiteral("Check for Updates…"), this, [this] { m_updater.checkForUpdates(); });
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Quit Morvane"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, [this] {
        if (m_quit)
            m_quit();
    });

    connect(&m_trayHost, &TrayHost::arrived, this, &MenuBarController::showInTray);
    if (m_trayHost.isPresent())
        return showInTray();
    m_noTrayWarning.setSingleShot(true);
    connect(&m_noTrayWarning, &QTimer::timeout, this, [this] {
        if (m_trayIcon)
            return;
        qCWarning(lcTray) << "No system tray appeared; Morvane keeps running without its tray icon.";
        emit trayHostMissing();
    });
    m_noTrayWarning.start(trayHostWarningSeconds * 1000);
}

// The shortcuts are shown as the global ones were first set; they do not follow later changes, except
// where the desktop holds them: its keys are the ones that work. They are text after a tab, not key
// sequences: Qt would name Super "Meta" and put it first.
void MenuBarController::showDesktopShortcuts(const std::optional<QString>& quickPanel,
                                             const std::optional<QString>& graph)
{
    const unsigned ctrlSuper = KeyModifier::ctrl | KeyModifier::super;
    m_openQuickPanel->setText(QStringLiteral("Open Morvane\t") +
                              quickPanel.value_or(keyCombinationText(ctrlSuper, QStringLiteral("L"))));
    m_openGraph->setText(QStringLiteral("Open Graph\t") +
                         graph.value_or(keyCombinationText(ctrlSuper, QStringLiteral("G"))));
}

void MenuBarController::updateIndicator(bool hasLinks, const std::optional<CapturedContext>& context)
{
    m_hasLinks = hasLinks;
    if (!hasLinks)
        m_toolTip = QStringLiteral("Morvane");
    else if (context)
        m_toolTip = QStringLiteral("Morvane has links for the active %1 item").arg(context->sourceApp);
    else
        m_toolTip.clear();
    if (m_trayIcon)
        m_trayIcon->setToolTip(m_toolTip);
    refreshIcon();
}

void MenuBarController::refreshIcon()
{
    if (!m_trayIcon)
        return;
    m_trayIcon->setIcon(m_hasLinks ? rimmedGlyphIcon(Glyph::linkPlus, indicatorColor())
                                   : rimmedGlyphIcon(Glyph::chainLink, m_appearance.glyphTint()));
}

// A new icon for every host that arrives: a status notifier host only shows icons that registered
// with its own watcher, and an X11 tray that restarted does not always take back an icon Qt had
// embedded in the one before.
void MenuBarController::showInTray()
{
    delete m_trayIcon;
    m_trayIcon = new QSystemTrayIcon(this);
    refreshIcon();
    m_trayIcon->setToolTip(m_toolTip);
    m_trayIcon->setContextMenu(m_menu.get());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { openMenuFromIcon(reason); });
    m_trayIcon->show();
}

// A left click opens the menu too: Qt only shows it on a right click. A click soon after the one that
// opened the menu last time (quickly closed, or with a window shown and hidden in between) is
// reported as a double click; it opens the menu all the same.
void MenuBarController::openMenuFromIcon(int reason)
{
    if ((reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) || m_menu->isVisible())
        return;
    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(pointer);
    m_menu->popup(trayMenuPosition(m_trayIcon->geometry(), pointer, m_menu->sizeHint(),
                                   screen ? screen->geometry() : QRect()));
}

} // namespace morvane
