#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace morvane {

class AppearanceService;
class GraphWindowController;
class PreferencesWindowController;
class QuickPanelController;
class TrayHost;
class Updater;
struct CapturedContext;

// Where the tray menu opens: at the pointer's x, beside the icon rather than over it (below it, or
// above it when there is no room below), so a second click on the icon falls on the icon and closes
// the menu instead of choosing its first item. Without the icon's place, at the pointer.
QPoint trayMenuPosition(const QRect& icon, QPoint pointer, QSize menu, const QRect& screen);

// The tray icon and its menu. The icon shows whether the item in front of the user is saved. The icon
// is made once a tray host is there, so a host that starts after us (common under autostart, and
// with the panels of Wayland desktops) gets it when it appears, and made again for a host that
// takes over; without one the rest of the application works as usual.
class MenuBarController : public QObject {
    Q_OBJECT
public:
    // The Quit item runs quit.
    MenuBarController(QuickPanelController& quickPanel, GraphWindowController& graphWindow,
                      PreferencesWindowController& preferencesWindow, Updater& updater,
                      AppearanceService& appearance, TrayHost& trayHost, std::function<void()> quit,
                      QObject* parent = nullptr);
    ~MenuBarController() override;

    // Builds the menu and shows the icon; called once, right after construction.
    void buildMenu();
    void updateIndicator(bool hasLinks, const std::optional<CapturedContext>& context);
    // The keys the desktop holds the two shortcuts under, shown in their items; nothing shows the
    // menu's own text.
    void showDesktopShortcuts(const std::optional<QString>& quickPanel, const std::optional<QString>& graph);

    QMenu* menu() const { return m_menu.get(); }
    // None until a tray host is there.
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }

signals:
    // Once, when no tray host has appeared 10 s after the menu was built.
    void trayHostMissing();

private:
    void refreshIcon();
    void showInTray();
    void openMenuFromIcon(int reason);

    QuickPanelController& m_quickPanel;
    GraphWindowController& m_graphWindow;
    PreferencesWindowController& m_preferencesWindow;
    Updater& m_updater;
    AppearanceService& m_appearance;
    TrayHost& m_trayHost;
    std::function<void()> m_quit;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_openQuickPanel = nullptr;
    QAction* m_openGraph = nullptr;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QTimer m_noTrayWarning;
    bool m_hasLinks = false;
    QString m_toolTip = QStringLiteral("Morvane");
};

} // namespace morvane
