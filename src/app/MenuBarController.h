#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace morvane {

class AppearanceService;
class GraphWindowController;
class PreferencesWindowController;
class QuickPanelController;
class Updater;
struct CapturedContext;

// The tray icon and its menu. The icon shows whether the item in front of the user is saved. A tray
// host that starts after us (common under autostart) gets the icon when it appears; without one the
// rest of the application works as usual.
class MenuBarController : public QObject {
    Q_OBJECT
public:
    MenuBarController(QuickPanelController& quickPanel, GraphWindowController& graphWindow,
                      PreferencesWindowController& preferencesWindow, Updater& updater,
                      AppearanceService& appearance, QObject* parent = nullptr);
    ~MenuBarController() override;

    // Builds the menu and shows the icon; called once, right after construction.
    void buildMenu();
    void updateIndicator(bool hasLinks, const std::optional<CapturedContext>& context);

    QMenu* menu() const { return m_menu.get(); }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }

    // Quits the application by default; tests replace it.
    std::function<void()> onQuit;

private:
    void refreshIcon();
    void watchForTrayHost();

    QuickPanelController& m_quickPanel;
    GraphWindowController& m_graphWindow;
    PreferencesWindowController& m_preferencesWindow;
    Updater& m_updater;
    AppearanceService& m_appearance;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_trayIcon = nullptr;
    QTimer m_trayHostPoll;
    bool m_hasLinks = false;
};

} // namespace morvane
